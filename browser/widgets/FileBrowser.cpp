#include "browser/widgets/FileBrowser.h"

#include "app/BrowserController.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

FileBrowser::FileBrowser(Side side, BrowserController &browsers, tSetupClass &setup, QWidget *listParent,
                         QObject *parent)
    : QObject(parent), m_side(side), m_browsers(browsers), m_setup(setup)
{
    m_model = new FileListModel(side, browsers.state(), setup);
    m_list = new FileListView(m_model, listParent);
    m_model->setParent(m_list);
    m_list->setObjectName(side == Side::Local ? QStringLiteral("lLv") : QStringLiteral("rlv"));
    m_filterTimer.setInterval(kFilterCheckMs);
    connect(&m_filterTimer, &QTimer::timeout, this, &FileBrowser::checkFilterChange);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { onFocusChanged(now); });
    BrowserController *b = &browsers;
    connect(b, &BrowserController::entriesAboutToChange, this, [this](Side s) {
        if (s != m_side || !m_model)
            return;
        if (m_keepsPicture) {
            const bool shown = m_list && m_list->isVisible() && m_model->rowCount() > 0;
            m_lastPicture = shown ? m_list->grab() : QPixmap();
        }
        m_model->clearRows();
    });
    connect(b, &BrowserController::folderShown, this, [this](Side s, const QString &folder) {
        if (s == m_side)
            showInFolderBox(folder);
    });
    connect(b, &BrowserController::viewRefreshed, this, [this](Side s, const QString &folder, const QString &justLeft) {
        if (s == m_side)
            fillList(folder, justLeft);
    });
}

FileBrowser::~FileBrowser() = default;

void FileBrowser::setIconSource(FileIconSource *icons)
{
    if (m_model)
        m_model->setIconSource(icons);
}

BrowserController &FileBrowser::browsers()
{
    return m_browsers;
}

const FileFilter &FileBrowser::filterState() const
{
    return m_browsers.filter(m_side);
}

void FileBrowser::attachRow(const BrowserRowWidgets &row)
{
    m_folderBox = row.folderBox;
    m_filterPanel = row.filterPanel;
    m_filter = row.filter;
    m_alwaysFolders = row.alwaysFolders;
    m_wildcard = row.wildcard;
    if (row.filter) {
        connect(row.filter, &QLineEdit::textEdited, this, [this](const QString &text) {
            browsers().setFilterText(m_side, text);
            recordFilterChange();
        });
    }
    if (row.alwaysFolders) {
        connect(row.alwaysFolders, &QCheckBox::toggled, this, [this](bool on) {
            browsers().setFilterAlwaysFolders(m_side, on);
            recordFilterChange();
        });
    }
    if (row.wildcard) {
        connect(row.wildcard, &QCheckBox::toggled, this, [this](bool on) {
            browsers().setFilterWildcard(m_side, on);
            recordFilterChange();
        });
    }
}

void FileBrowser::applyFilterRow()
{
    const FileFilter &f = filterState();
    const auto quietly = [](QObject *o, auto &&set) {
        if (!o)
            return;
        const QSignalBlocker block(o);
        set();
    };
    quietly(m_filter, [&] { m_filter->setText(f.text); });
    quietly(m_alwaysFolders, [&] { m_alwaysFolders->setChecked(f.alwaysFolders); });
    quietly(m_wildcard, [&] { m_wildcard->setChecked(f.wildcard); });
    if (m_filterPanel)
        m_filterPanel->setVisible(m_browsers.filtersShown());
}

void FileBrowser::addFocusSource(QWidget *widget)
{
    m_focusSources.append(widget);
    widget->installEventFilter(this);
}

bool FileBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (const QPointer<QWidget> &source : std::as_const(m_focusSources)) {
            if (source != watched)
                continue;
            if (m_folderBox)
                m_folderBox->setFocus(Qt::MouseFocusReason);
            // Set here as well: the focus may not move while the window is inactive.
            browsers().setLocalActive(side() == Side::Local);
        }
    }
    return QObject::eventFilter(watched, event);
}

void FileBrowser::onFocusChanged(QWidget *now)
{
    if (!now)
        return;
    const auto within = [now](QWidget *w) { return w && (now == w || w->isAncestorOf(now)); };
    const bool mine = within(m_list) || within(m_folderBox);
    if (mine)
        browsers().setLocalActive(side() == Side::Local);
}

void FileBrowser::recordFilterChange()
{
    m_filterChangedAt.start();
    if (!m_filterTimer.isActive())
        m_filterTimer.start();
}

void FileBrowser::checkFilterChange()
{
    if (!m_filterChangedAt.isValid()) {
        m_filterTimer.stop();
        return;
    }
    if (m_filterChangedAt.elapsed() < kFilterDelayMs)
        return;
    m_filterChangedAt.invalidate();
    m_filterTimer.stop();
    refresh();
}

void FileBrowser::showInFolderBox(const QString &folder)
{
    QComboBox *box = m_folderBox;
    if (!box)
        return;
    if (box->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        box->insertItem(0, folder);
        while (box->count() > kFolderHistoryItems)
            box->removeItem(kFolderHistoryItems);
    }
    box->setEditText(folder);
}

void FileBrowser::fillList(const QString &folder, const QString &justLeft)
{
    if (!m_list)
        return;
    const PreparedFilter filter(filterState(), m_browsers.filtersShown());
    const bool autoSelect = read(m_setup, Keys::autoSelectFolder);
    const std::vector<int> selected = m_model->rebuild(filter, folder, autoSelect ? justLeft : QString());
    m_list->resort();
    m_list->selectEntries(selected);
}
