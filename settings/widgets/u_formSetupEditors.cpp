// The pages of the options dialog with editors of their own: the ASCII mask list, the
// toolbar sample, the font preview, the hot keys and the sound events.
#include "app/UserInterface.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"
#include "settings/widgets/OptionsPage.h"
#include "settings/widgets/SetupControls.h"
#include "settings/widgets/u_formSetup.h"
#include "ui/ToolbarLook.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPushButton *button(const char *caption, QWidget *parent)
{
    return new QPushButton(QString::fromLatin1(caption), parent);
}

} // namespace

void TFormSetup::buildAsciiBinary()
{
    OptionsPage *p = addPage(QStringLiteral("ascii/binary"), "asciiBinary");
    p->group(QStringLiteral(" Text (ASCII) Files "));
    p->note(QStringLiteral("Specify text (ASCII) files here. Wildcard characters are allowed:"));
    m_lbAsciiFiles = new QListWidget(p);
    m_lbAsciiFiles->setObjectName(QStringLiteral("lbAsciiFiles"));
    m_lbAsciiFiles->setSortingEnabled(true);
    m_lbAsciiFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *add = button("Add", p);
    auto *remove = button("Delete", p);
    auto *reset = button("Reset", p);
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {add, remove, reset})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addWidget(m_lbAsciiFiles, 1);
    row->addLayout(buttons);
    p->addRow(QString(), row);
    connect(add, &QPushButton::clicked, this, [this] { guarded("stpasa", [this] { addAsciiMask(); }); });
    connect(remove, &QPushButton::clicked, this, [this] {
        qDeleteAll(m_lbAsciiFiles->selectedItems());
        markChanged();
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        m_lbAsciiFiles->clear();
        m_lbAsciiFiles->addItems(AsciiMasks::resetList());
        markChanged();
    });
    p->group(QStringLiteral(" Transfer Mode "));
    p->choice(Keys::transferMode, QStringLiteral("File Transfer Mode:"),
              {QStringLiteral("Auto Select (Recommended)"), QStringLiteral("Always Binary Mode"),
               QStringLiteral("Always ASCII Mode")});
    p->finish();
    p->onLoad = [this] {
        if (m_hooks.asciiMasks)
            m_lbAsciiFiles->addItems(m_hooks.asciiMasks());
    };
    p->onApply = [this] {
        QStringList masks;
        for (int i = 0; i < m_lbAsciiFiles->count(); ++i)
            masks << m_lbAsciiFiles->item(i)->text();
        if (m_hooks.setAsciiMasks)
            m_hooks.setAsciiMasks(masks);
    };
}

void TFormSetup::addAsciiMask()
{
    QString mask = QStringLiteral("*.txt");
    if (!m_ui.askText(QStringLiteral("Specify Filemask for text (ASCII) File"),
                      QStringLiteral("Text (ASCII) File Mask: (example: *.txt)"), mask, false))
        return;
    mask = mask.trimmed();
    if (!mask.isEmpty() && m_lbAsciiFiles->findItems(mask, Qt::MatchFixedString | Qt::MatchCaseSensitive).isEmpty())
        m_lbAsciiFiles->addItem(mask);
    m_lbAsciiFiles->clearSelection();
    for (QListWidgetItem *item : m_lbAsciiFiles->findItems(mask, Qt::MatchFixedString | Qt::MatchCaseSensitive))
        item->setSelected(true);
    markChanged();
}

void TFormSetup::buildToolbar()
{
    OptionsPage *p = addPage(QStringLiteral("toolbar"), "toolbar");
    auto *sample = new QToolBar(p);
    sample->setObjectName(QStringLiteral("tbSample"));
    sample->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_DriveNetIcon, QStyle::SP_ArrowUp, QStyle::SP_ArrowDown};
    for (int i = 0; i < 3; ++i)
        sample->addAction(style()->standardIcon(icons[i]), QStringLiteral("Button#%1").arg(i + 1));
    p->addRow(QStringLiteral("Sample Toolbar:"), sample);
    QComboBox *theme = p->choice(Keys::toolbarTheme, QStringLiteral("Selected theme:"),
                                 {QStringLiteral("Standard"), QStringLiteral("Stripes"), QStringLiteral("OfficeXP")});
    QComboBox *size = p->choice(Keys::toolbarFontSize, QStringLiteral("Font size:"),
                                {QStringLiteral("Small"), QStringLiteral("Normal"), QStringLiteral("Large")});
    p->finish();
    const auto showSample = [sample, theme, size] {
        ToolbarLook::applyTheme({sample}, ToolbarLook::themeFromSetting(theme->currentIndex()));
        if (size->currentIndex() >= 0)
            ToolbarLook::applySize({sample}, static_cast<ToolbarLook::Size>(size->currentIndex()),
                                   QApplication::font());
    };
    connect(theme, &QComboBox::currentIndexChanged, sample, showSample);
    connect(size, &QComboBox::currentIndexChanged, sample, showSample);
    // A theme the user picks shows on the program's toolbars at once; Cancel does not take
    // it back there (the stored theme returns with the next apply).
    connect(theme, &QComboBox::activated, this, [this](int index) {
        if (m_hooks.previewToolbarTheme)
            m_hooks.previewToolbarTheme(index);
    });
    showSample();
}

void TFormSetup::buildFont()
{
    OptionsPage *p = addPage(QStringLiteral("font"), "font");
    auto *lv = new QTreeWidget(p);
    lv->setObjectName(QStringLiteral("lv"));
    lv->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size")});
    lv->setRootIsDecorated(false);
    lv->setMaximumHeight(140);
    p->addRow(QStringLiteral("Sample Window:"), lv);
    p->group(QStringLiteral(" Font Settings "));
    QSlider *size = p->slider(Keys::fontSize, QStringLiteral("Font size:"), 1, 20, true);
    QSlider *space = p->slider(Keys::fontSpace, QStringLiteral("Font space:"), 5, 30, true);
    QComboBox *face = p->editableChoice(Keys::fontFace, QStringLiteral("Font name:"), true);
    p->finish();

    const auto preview = [lv, size, space, face] {
        QFont font(face->currentText());
        font.setPointSize(size->value());
        lv->setFont(font);
        for (int i = 0; i < lv->topLevelItemCount(); ++i)
            lv->topLevelItem(i)->setSizeHint(0, QSize(0, space->value()));
        lv->doItemsLayout();
    };
    connect(size, &QSlider::valueChanged, lv, preview);
    connect(space, &QSlider::valueChanged, lv, preview);
    connect(face, &QComboBox::editTextChanged, lv, preview);
    p->onLoad = [lv, face, preview] {
        for (int n = 0; n < 4; ++n)
            new QTreeWidgetItem(lv, {QStringLiteral("paper%1.txt").arg(n), QStringLiteral("%1KB").arg(n * 1024)});
        // Filling the list would select its first name; the stored one stays.
        const QString current = face->currentText();
        face->addItems(QFontDatabase::families());
        face->setEditText(current);
        preview();
    };
}

void TFormSetup::buildShortcuts()
{
    OptionsPage *p = addPage(QStringLiteral("shortcuts"), "shortcuts");
    p->group(QStringLiteral(" Key shortcuts "));
    const std::pair<const TextKey *, const char *> rows[] = {
        {&Keys::scNewFolder, "New Folder:"}, {&Keys::scSend, "Send:"},       {&Keys::scReceive, "Receive:"},
        {&Keys::scRefresh, "Refresh:"},      {&Keys::scRename, "Rename:"},   {&Keys::scChMod, "Permissions:"},
        {&Keys::scFavorites, "Favorites:"},  {&Keys::scOptions, "Options:"}, {&Keys::scConnect, "Connect:"},
        {&Keys::scFilters, "Filters:"},      {&Keys::scHistory, "History:"}};
    std::vector<std::pair<HotKeyEdit *, const TextKey *>> edits;
    for (const auto &[key, label] : rows)
        edits.emplace_back(p->hotKey(*key, QString::fromLatin1(label)), key);
    auto *reset = button("Reset", p);
    p->addRow(QString(), reset);
    connect(reset, &QPushButton::clicked, this, [edits] {
        for (const auto &[edit, key] : edits)
            edit->setKeySequence(hotKeyFromText(key->defText()));
    });
    p->finish();
}

void TFormSetup::buildSound()
{
    OptionsPage *p = addPage(QStringLiteral("sound"), "sound");
    p->group(QStringLiteral(" Options "));
    p->check(Keys::disableSound, QStringLiteral("Disable sound support"));
    p->group(QStringLiteral(" Events "));
    const std::pair<const TextKey *, const char *> events[] = {{&Keys::sndOnConnect, "On connect:"},
                                                               {&Keys::sndOnDisconnect, "On disconnect:"},
                                                               {&Keys::sndOnXferDone, "On transfers done:"},
                                                               {&Keys::sndOnError, "On FTP error:"}};
    for (const auto &[key, label] : events) {
        auto *test = button("Test", p);
        QLineEdit *edit = p->fileText(
            *key, QString::fromLatin1(label),
            [this] { return browseFile(QStringLiteral("Sound"), QStringLiteral("WAV Files (*.wav *.WAV)")); }, test);
        connect(test, &QPushButton::clicked, this,
                [this, edit] { guarded("stpsnd", [&] { testSound(edit->text()); }); });
    }
    p->finish();
}

QString TFormSetup::browseFile(const QString &caption, const QString &filter)
{
    return QFileDialog::getOpenFileName(this, caption, QString(), filter);
}

void TFormSetup::testSound(const QString &path)
{
    stopTestSound();
    QString player;
    for (const QString &name : {QStringLiteral("paplay"), QStringLiteral("aplay")}) {
        player = QStandardPaths::findExecutable(name);
        if (!player.isEmpty())
            break;
    }
    if (!path.isEmpty() && QFileInfo(path).isFile() && !player.isEmpty()) {
        m_sound = new QProcess(this);
        m_sound->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sound->start(player, {path});
        if (m_sound->waitForStarted(3000))
            return;
        stopTestSound();
    }
    m_ui.showMessage(QStringLiteral("Could not play selected WAV file"));
}

void TFormSetup::stopTestSound()
{
    if (!m_sound)
        return;
    if (m_sound->state() != QProcess::NotRunning) {
        m_sound->kill();
        m_sound->waitForFinished(1000);
    }
    delete m_sound;
    m_sound = nullptr;
}
