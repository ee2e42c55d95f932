// The options dialog as the main window opens it, and the parts of applying the settings
// that belong to the window: list fonts, command shortcuts, the history length.
#include "app/widgets/Commands.h"
#include "app/widgets/ListLook.h"
#include "app/widgets/MainWindow.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"
#include "settings/widgets/SetupControls.h"
#include "settings/widgets/u_formSetup.h"
#include "ui/ToolbarLook.h"
#include "ui/u_formWait.h"

#include <QTreeView>

namespace {

struct ShortcutRow {
    const TextKey &key;
    QAction *Commands::*command;
    const char *hint;
};

const ShortcutRow kShortcuts[] = {
    {Keys::scConnect, &Commands::acConnect, "Connect / disconnect FTP server"},
    {Keys::scNewFolder, &Commands::acFolderNew, "Create new folder"},
    {Keys::scChMod, &Commands::toChMod, "Change file(s) / folder(s) permission"},
    {Keys::scFavorites, &Commands::acSiteMgr, "Manage your favorite FTP sites"},
    {Keys::scReceive, &Commands::acReceive, "Receive file(s) / folder(s)"},
    {Keys::scRefresh, &Commands::acRefresh, "Refresh folder"},
    {Keys::scRename, &Commands::acRename, "Rename file / folder"},
    {Keys::scSend, &Commands::acSend, "Send file(s) / folder(s)"},
    {Keys::scOptions, &Commands::acEditOptions, "Setup various program settings"},
    {Keys::scFilters, &Commands::acFilters, "Turn on / off name filter"},
    {Keys::scHistory, &Commands::acHistory, "Connection history"},
};

} // namespace

void MainWindow::openOptions(const QString &page)
{
    m_wait->text(QStringLiteral("Opening Configuration ..."));
    if (!page.isEmpty())
        write(m_controller.setup(), Keys::defaultSetupTab, page);
    OptionsHooks hooks;
    hooks.asciiMasks = [this] { return m_controller.asciiMasks(); };
    hooks.setAsciiMasks = [this](const QStringList &masks) { m_controller.setAsciiMasks(masks); };
    hooks.applySettings = [this] { applyInterfaceSettings(); };
    hooks.showHelp = [this](const QString &topic) { showHelpTopic(topic); };
    hooks.previewToolbarTheme = [this](int theme) {
        ToolbarLook::applyTheme(toolbars(), ToolbarLook::themeFromSetting(theme));
    };
    TFormSetup dialog(m_controller.setup(), m_ui, std::move(hooks), this);
    m_wait->startCloseTimer();
    dialog.exec();
}

void MainWindow::applyListFonts()
{
    const tSetupClass &s = m_controller.setup();
    QFont font = m_lLv->font();
    font.setFamily(read(s, Keys::fontFace));
    const auto size = read(s, Keys::fontSize);
    if (size > 0 && size < 100)
        font.setPointSize(static_cast<int>(size));
    const auto space = read(s, Keys::fontSpace);
    const int height = space > 0 && space < 200 ? static_cast<int>(space) : 0;
    for (QTreeView *list : {m_lLv, m_rlv, m_qLv})
        ListLook::apply(list, font, height);
}

void MainWindow::applyShortcuts()
{
    const tSetupClass &s = m_controller.setup();
    for (const ShortcutRow &row : kShortcuts) {
        QAction *command = m_commands->*row.command;
        const QString text = read(s, row.key);
        Commands::setHint(command, QString::fromLatin1(row.hint) + QStringLiteral("  -  (Shortcut: ") +
                                       (text.isEmpty() ? QStringLiteral("None") : text) + QLatin1Char(')'));
        command->setShortcut(hotKeyFromText(text));
        // A command reachable only from a hidden toolbar still answers its keys.
        addAction(command);
    }
}

void MainWindow::trimConnectionHistory()
{
    const auto limit = read(m_controller.setup(), Keys::connectionHistorySize);
    QStringList history = m_controller.connectionHistory();
    if (limit >= 0 && history.size() > limit) {
        history.resize(static_cast<qsizetype>(limit));
        m_controller.setConnectionHistory(history);
    }
}
