#include "app/MainController.h"
#include "browser/widgets/FileBrowsers.h"
#include "browser/widgets/FileListView.h"
#include "browser/widgets/HeaderStyles.h"
#include "browser/widgets/LocalBrowser.h"
#include "browser/widgets/RemoteBrowser.h"
#include "browser/widgets/SystemFileIcons.h"
#include "settings/SettingsCatalogue.h"
#include "support/RecordingUserInterface.h"
#include "support/WaitFor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

void makeFile(const QString &path, int bytes = 0)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(QByteArray(bytes, 'x'));
}

tNamedEntry<tFtpFolderEntryObject> remoteEntry(const QString &name, std::int64_t size, bool folder = false)
{
    tNamedEntry<tFtpFolderEntryObject> item;
    item.name = name;
    item.entry.name = name;
    item.entry.size = size;
    item.entry.isFolder = folder;
    item.entry.attr = 644;
    return item;
}

// Both lists with their folder boxes and filter rows in one window, as the main window
// arranges them, on a headless controller.
class BrowserFixture : public testing::Test {
protected:
    BrowserFixture()
    {
        auto *layout = new QHBoxLayout(&window);
        layout->addWidget(pane(local, lRow, lCaption), 1);
        layout->addWidget(pane(remote, rRow, rCaption), 1);
        local.list()->setPartner(remote.list());
        remote.list()->setPartner(local.list());
        local.list()->setHeaderStyles(&styles);
        remote.list()->setHeaderStyles(&styles);
        window.resize(900, 400);
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QWidget *pane(FileBrowser &browser, BrowserRowWidgets &row, QLabel *&caption)
    {
        auto *box = new QWidget(&window);
        auto *column = new QVBoxLayout(box);
        caption = new QLabel(QStringLiteral("caption"), box);
        row.folderBox = new QComboBox(box);
        row.folderBox->setEditable(true);
        row.filterPanel = new QWidget(box);
        auto *filterRow = new QHBoxLayout(row.filterPanel);
        row.filter = new QLineEdit(row.filterPanel);
        row.alwaysFolders = new QCheckBox(QStringLiteral("Always show folders"), row.filterPanel);
        row.wildcard = new QCheckBox(QStringLiteral("Wildcard"), row.filterPanel);
        filterRow->addWidget(row.filter);
        filterRow->addWidget(row.alwaysFolders);
        filterRow->addWidget(row.wildcard);
        column->addWidget(caption);
        column->addWidget(row.folderBox);
        browser.list()->setParent(box);
        column->addWidget(browser.list(), 1);
        column->addWidget(row.filterPanel);
        browser.attachRow(row);
        browser.addFocusSource(caption);
        browser.applyFilterRow();
        return box;
    }

    void showLocal(const QString &folder)
    {
        controller.browsers().setLocalFolder(folder);
        local.refreshLocalView();
    }

    void showRemote(const QString &path, const tRemoteEntryList &entries)
    {
        tFolderObject &folder = controller.browsers().state().storeListing(path, {}, QString());
        folder.folderEntries = entries;
        controller.browsers().setRemoteFolder(path);
        remote.refreshRemoteView();
    }

    static QStringList names(const FileBrowser &browser)
    {
        QStringList out;
        const FileListModel *m = browser.model();
        for (int row = 0; row < m->rowCount(); ++row)
            out << m->index(row, 0).data().toString();
        return out;
    }
    static QString currentName(const FileBrowser &browser)
    {
        return browser.list()->currentIndex().siblingAtColumn(0).data().toString();
    }
    static QStringList selectedNames(const FileBrowser &browser)
    {
        QStringList out;
        for (const QModelIndex &i : browser.list()->selectionModel()->selectedRows())
            out << i.data().toString();
        return out;
    }
    static void clickHeader(FileListView *list, int column, Qt::MouseButton button = Qt::LeftButton)
    {
        QHeaderView *h = list->header();
        const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), button, {}, at);
    }

    RecordingUserInterface ui;
    MainController controller{ui};
    QWidget window;
    HeaderStyles styles;
    LocalBrowser local{controller.browsers(), controller.setup(), &window};
    RemoteBrowser remote{controller.browsers(), controller.setup(), &window};
    BrowserRowWidgets lRow, rRow;
    QLabel *lCaption = nullptr;
    QLabel *rCaption = nullptr;
    QTemporaryDir dir;
};

// --- refreshes ---------------------------------------------------------------------------------

TEST_F(BrowserFixture, GoingUpSelectsFocusesAndShowsTheFolderJustLeft)
{
    const QString data = dir.path() + QStringLiteral("/data/");
    for (int i = 0; i < 150; ++i)
        ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("d%1").arg(i, 3, 10, QLatin1Char('0'))));
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("logs")));
    makeFile(data + QStringLiteral("a.txt"), 1023);

    showLocal(data + QStringLiteral("logs/"));
    EXPECT_TRUE(names(local).isEmpty());
    showLocal(data);
    EXPECT_EQ(local.model()->rowCount(), 152);
    EXPECT_EQ(selectedNames(local), QStringList{QStringLiteral("logs")});
    EXPECT_EQ(currentName(local), QStringLiteral("logs"));
    const QRect shown = local.list()->visualRect(local.list()->currentIndex());
    EXPECT_TRUE(local.list()->viewport()->rect().contains(shown.center())) << "the row is scrolled into view";
    EXPECT_EQ(controller.browsers().state().lastSelectedTn_local, data);
    EXPECT_EQ(controller.browsers().state().localCounters.folders, 151);
    EXPECT_EQ(controller.browsers().state().localCounters.files, 1);
    EXPECT_EQ(controller.browsers().state().localCounters.fileBytes, 1023);
    EXPECT_TRUE(ui.messages.isEmpty());

    // The same on the server side, from /pub/incoming/ to /pub/.
    showRemote(QStringLiteral("/pub/incoming/"), {remoteEntry(QStringLiteral("f"), 1)});
    showRemote(QStringLiteral("/pub/"),
               {remoteEntry(QStringLiteral("a"), 1), remoteEntry(QStringLiteral("incoming"), 0, true),
                remoteEntry(QStringLiteral("outgoing"), 0, true)});
    EXPECT_EQ(selectedNames(remote), QStringList{QStringLiteral("incoming")});
    EXPECT_EQ(currentName(remote), QStringLiteral("incoming"));

    // Switched off, nothing is selected.
    write(controller.setup(), Keys::autoSelectFolder, false);
    showLocal(data + QStringLiteral("logs/"));
    showLocal(data);
    EXPECT_TRUE(selectedNames(local).isEmpty());
}

TEST_F(BrowserFixture, FolderBoxesKeepTenFoldersNewestFirst)
{
    for (int i = 0; i < 12; ++i)
        showRemote(QStringLiteral("/f%1/").arg(i), {});
    QComboBox *box = rRow.folderBox;
    ASSERT_EQ(box->count(), 10);
    EXPECT_EQ(box->itemText(0), QStringLiteral("/f11/"));
    EXPECT_EQ(box->itemText(9), QStringLiteral("/f2/"));
    EXPECT_EQ(box->currentText(), QStringLiteral("/f11/"));

    // A folder the drop-down holds stays where it is.
    showRemote(QStringLiteral("/f5/"), {});
    EXPECT_EQ(box->count(), 10);
    EXPECT_EQ(box->itemText(0), QStringLiteral("/f11/"));
    EXPECT_EQ(box->currentText(), QStringLiteral("/f5/"));

    // A folder that is not cached is shown in the box; the list keeps what it shows.
    showRemote(QStringLiteral("/shown/"), {remoteEntry(QStringLiteral("kept"), 1)});
    controller.browsers().setRemoteFolder(QStringLiteral("/elsewhere/"));
    remote.refreshRemoteView();
    EXPECT_EQ(box->currentText(), QStringLiteral("/elsewhere/"));
    EXPECT_EQ(names(remote), QStringList{QStringLiteral("kept")});

    // The local box is the local folder history that shut-down saves.
    const QString historyFile = dir.path() + QStringLiteral("/history.dat");
    QFile history(historyFile);
    ASSERT_TRUE(history.open(QIODevice::WriteOnly));
    history.write("/old/one/\r\n/old/two/\r\n");
    history.close();
    controller.browsers().loadLocalFolderHistory(historyFile);
    EXPECT_EQ(controller.browsers().localFolderHistory(),
              (QStringList{QStringLiteral("/old/one/"), QStringLiteral("/old/two/")}));
    lRow.folderBox->addItems(controller.browsers().localFolderHistory());
    for (int i = 0; i < 10; ++i) {
        const QString folder = dir.path() + QStringLiteral("/d%1").arg(i);
        ASSERT_TRUE(QDir().mkpath(folder));
        showLocal(folder);
    }
    showLocal(dir.path() + QStringLiteral("/d4"));
    EXPECT_EQ(lRow.folderBox->currentText(), dir.path() + QStringLiteral("/d4/"));
    QStringList items;
    for (int i = 0; i < lRow.folderBox->count(); ++i)
        items << lRow.folderBox->itemText(i);
    EXPECT_EQ(items.size(), 10);
    EXPECT_EQ(items.first(), dir.path() + QStringLiteral("/d9/"));
    EXPECT_EQ(controller.browsers().localFolderHistory(), items);
}

TEST_F(BrowserFixture, MissingLocalFolderGivesAnEmptyListAndTheMessage)
{
    makeFile(dir.path() + QStringLiteral("/a.txt"), 10);
    showLocal(dir.path());
    ASSERT_EQ(local.model()->rowCount(), 1);
    const QString missing = dir.path() + QStringLiteral("/gone/");
    showLocal(missing);
    EXPECT_EQ(local.model()->rowCount(), 0);
    EXPECT_TRUE(controller.browsers().state().lEntries.empty());
    EXPECT_EQ(controller.browsers().state().localCounters.files, 0);
    EXPECT_EQ(controller.browsers().state().localCounters.fileBytes, 0);
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Folder does not exist on your computer: \r\r\n") + missing});
}

TEST_F(BrowserFixture, ListShowsEmptyCellsWhileItsEntriesAreReplaced)
{
    tRemoteEntryList many;
    for (int i = 0; i < 40; ++i)
        many.push_back(remoteEntry(QStringLiteral("file%1.txt").arg(i), i));
    showRemote(QStringLiteral("/pub/"), many);
    // The folder is listed again with fewer entries; the list is rebuilt only afterwards.
    controller.browsers().state().storeListing(QStringLiteral("/pub/"), {}, QString());
    const QImage painted = remote.list()->grab().toImage();
    EXPECT_FALSE(painted.isNull());
    EXPECT_EQ(remote.model()->rowCount(), 40);
    EXPECT_TRUE(remote.model()->index(0, 0).data().toString().isEmpty());
    clickHeader(remote.list(), FileListModel::Size); // sorting meanwhile is harmless
    QTest::keyClicks(remote.list(), QStringLiteral("fi"));
    controller.browsers().state().clearFolderCache();
    EXPECT_FALSE(remote.list()->grab().toImage().isNull());
    remote.refreshRemoteView();
    EXPECT_EQ(remote.model()->rowCount(), 40) << "an uncached folder leaves the list as it is";
}

// --- filter row -----------------------------------------------------------------------------------

TEST_F(BrowserFixture, FilterRebuildsTheListOnceTypingHasPausedFor300ms)
{
    for (const char *name : {"report.htm", "a.txt", "page.html"})
        makeFile(dir.path() + u'/' + QString::fromLatin1(name));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("img")));
    controller.browsers().setFiltersShown(true);
    local.applyFilterRow();
    EXPECT_TRUE(lRow.filterPanel->isVisible());
    showLocal(dir.path());
    ASSERT_EQ(local.model()->rowCount(), 4);

    QElapsedTimer typed;
    QTest::keyClicks(lRow.filter, QStringLiteral("htm"));
    typed.start();
    EXPECT_EQ(controller.browsers().filter(BrowserController::Side::Local).text, QStringLiteral("htm"));
    EXPECT_EQ(local.model()->rowCount(), 4) << "not rebuilt while the user types";
    EXPECT_TRUE(local.filterChangePending());
    ASSERT_TRUE(waitFor([&] { return !local.filterChangePending(); }, 5000));
    EXPECT_GE(typed.elapsed(), FileBrowser::kFilterDelayMs - 20);
    EXPECT_EQ(names(local),
              (QStringList{QStringLiteral("img"), QStringLiteral("page.html"), QStringLiteral("report.htm")}));

    // The check boxes filter too and store their settings at once.
    lRow.wildcard->click();
    EXPECT_TRUE(controller.setup().getBool(Keys::lFilterWildcard.key(), false));
    QTest::keyClick(lRow.filter, Qt::Key_Backspace);
    QTest::keyClick(lRow.filter, Qt::Key_Backspace);
    QTest::keyClick(lRow.filter, Qt::Key_Backspace);
    QTest::keyClicks(lRow.filter, QStringLiteral("*.htm"));
    ASSERT_TRUE(waitFor([&] { return !local.filterChangePending(); }, 5000));
    EXPECT_EQ(names(local), (QStringList{QStringLiteral("img"), QStringLiteral("report.htm")}));
    lRow.alwaysFolders->click();
    EXPECT_FALSE(controller.setup().getBool(Keys::lFilterAlwaysFolders.key(), true));
    ASSERT_TRUE(waitFor([&] { return !local.filterChangePending(); }, 5000));
    EXPECT_EQ(names(local), QStringList{QStringLiteral("report.htm")});

    // A hidden filter row filters nothing.
    controller.browsers().setFiltersShown(false);
    local.applyFilterRow();
    local.refreshLocalView();
    EXPECT_EQ(local.model()->rowCount(), 4);
}

// --- header ------------------------------------------------------------------------------------------

TEST_F(BrowserFixture, HeaderClicksSortAndShadeTheSortColumn)
{
    showRemote(QStringLiteral("/pub/"),
               {remoteEntry(QStringLiteral("b.txt"), 30), remoteEntry(QStringLiteral("dir"), 0, true),
                remoteEntry(QStringLiteral("a.txt"), 50), remoteEntry(QStringLiteral("c.txt"), 10)});
    FileListView *list = remote.list();
    EXPECT_EQ(names(remote).join(u' '), QStringLiteral("dir a.txt b.txt c.txt"));
    EXPECT_EQ(list->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(247, 247, 247));

    clickHeader(list, FileListModel::Name);
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(names(remote).join(u' '), QStringLiteral("c.txt b.txt a.txt dir"));

    clickHeader(list, FileListModel::Size);
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(names(remote).join(u' '), QStringLiteral("dir c.txt b.txt a.txt"));
    EXPECT_FALSE(list->model()->index(0, FileListModel::Name).data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(list->model()->index(0, FileListModel::Size).data(Qt::BackgroundRole).isValid());

    clickHeader(list, FileListModel::Type, Qt::RightButton);
    clickHeader(list, FileListModel::Name, Qt::MiddleButton);
    EXPECT_EQ(list->header()->sortIndicatorSection(), FileListModel::Size);
    EXPECT_EQ(names(remote).join(u' '), QStringLiteral("dir c.txt b.txt a.txt"));

    write(controller.setup(), Keys::shadeFilenameColumn, false);
    clickHeader(list, FileListModel::Size);
    EXPECT_EQ(names(remote).join(u' '), QStringLiteral("a.txt b.txt c.txt dir"));
    EXPECT_FALSE(list->model()->index(0, FileListModel::Size).data(Qt::BackgroundRole).isValid());

    // A refresh keeps the column and the direction.
    remote.refreshRemoteView();
    EXPECT_EQ(names(remote).join(u' '), QStringLiteral("a.txt b.txt c.txt dir"));
}

TEST_F(BrowserFixture, HeaderMenuHidesColumnsAndSetsTheStyleOnEveryList)
{
    QMenu menu;
    remote.list()->fillHeaderMenu(&menu);
    QStringList captions;
    for (QAction *a : menu.actions())
        captions << a->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"),
                                     QStringLiteral("Date"), QStringLiteral("Attr"), QStringLiteral("Theme")}));
    menu.actions()[2]->trigger();
    EXPECT_TRUE(remote.list()->header()->isSectionHidden(FileListModel::Type));

    QMenu again;
    remote.list()->fillHeaderMenu(&again);
    EXPECT_FALSE(again.actions()[2]->isChecked());
    QMenu *theme = again.actions().last()->menu();
    ASSERT_NE(theme, nullptr);
    QStringList styles;
    for (QAction *a : theme->actions())
        styles << a->text() + (a->isChecked() ? QStringLiteral("*") : QString());
    EXPECT_EQ(styles, (QStringList{QStringLiteral("Thick"), QStringLiteral("Flat "), QStringLiteral("Plate"),
                                   QStringLiteral("XP*")}));
    again.actions()[2]->trigger();
    EXPECT_FALSE(remote.list()->header()->isSectionHidden(FileListModel::Type));
    theme->actions()[1]->trigger();
    EXPECT_EQ(local.list()->headerStyle(), HeaderStyles::Flat);
    EXPECT_EQ(remote.list()->headerStyle(), HeaderStyles::Flat);
    EXPECT_EQ(local.list()->header()->styleSheet(), remote.list()->header()->styleSheet());
    EXPECT_FALSE(local.list()->header()->styleSheet().isEmpty());
}

TEST_F(BrowserFixture, ColumnLayoutSurvivesSaveAndRestore)
{
    showRemote(QStringLiteral("/pub/"), {remoteEntry(QStringLiteral("a"), 2), remoteEntry(QStringLiteral("b"), 1)});
    QHeaderView *h = remote.list()->header();
    h->moveSection(FileListModel::Attr, 0);
    h->resizeSection(FileListModel::Name, 222);
    h->setSectionHidden(FileListModel::Type, true);
    clickHeader(remote.list(), FileListModel::Size);
    clickHeader(remote.list(), FileListModel::Size);
    styles.setStyle(HeaderStyles::Plate);
    const QByteArray saved = remote.list()->saveLayout();

    RecordingUserInterface otherUi;
    MainController other(otherUi);
    RemoteBrowser restored(other.browsers(), other.setup(), nullptr);
    std::unique_ptr<FileListView> owner(restored.list());
    ASSERT_TRUE(restored.list()->restoreLayout(saved));
    QHeaderView *r = restored.list()->header();
    EXPECT_EQ(r->visualIndex(FileListModel::Attr), 0);
    EXPECT_EQ(r->sectionSize(FileListModel::Name), 222);
    EXPECT_TRUE(r->isSectionHidden(FileListModel::Type));
    EXPECT_EQ(r->sortIndicatorSection(), FileListModel::Size);
    EXPECT_EQ(r->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(restored.model()->sortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(restored.list()->headerStyle(), HeaderStyles::Plate);

    // Anything else leaves the standard layout: garbage, a bare header state, the local list's.
    LocalBrowser fresh(other.browsers(), other.setup(), nullptr);
    std::unique_ptr<FileListView> freshOwner(fresh.list());
    for (const QByteArray &bytes : {QByteArray("not a layout"), h->saveState(), QByteArray(), saved}) {
        EXPECT_FALSE(fresh.list()->restoreLayout(bytes));
        EXPECT_EQ(fresh.list()->header()->sectionSize(FileListModel::Name), 125);
        EXPECT_EQ(fresh.list()->header()->sectionSize(FileListModel::Type), 75);
        EXPECT_EQ(fresh.list()->header()->count(), 4);
    }
}

// --- search, focus, drag and drop, icons -------------------------------------------------------------

TEST_F(BrowserFixture, TypingFindsTheNextNameBeginningWithTheText)
{
    showRemote(QStringLiteral("/pub/"),
               {remoteEntry(QStringLiteral("Page.html"), 1), remoteEntry(QStringLiteral("apple"), 1),
                remoteEntry(QStringLiteral("pear"), 1), remoteEntry(QStringLiteral("Pub"), 0, true),
                remoteEntry(QStringLiteral("zip"), 1)});
    FileListView *list = remote.list();
    list->setFocus();
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(60'000); // one typed word
    QTest::keyClicks(list, QStringLiteral("pe"));
    EXPECT_EQ(currentName(remote), QStringLiteral("pear"));
    EXPECT_EQ(selectedNames(remote), QStringList{QStringLiteral("pear")});

    QApplication::setKeyboardInputInterval(0); // every key a new search, from the last hit on
    QTest::keyClicks(list, QStringLiteral("p"));
    EXPECT_EQ(currentName(remote), QStringLiteral("Pub")) << "wraps around to the top";
    QTest::keyClicks(list, QStringLiteral("P"));
    EXPECT_EQ(currentName(remote), QStringLiteral("Page.html"));
    QTest::keyClicks(list, QStringLiteral("q"));
    EXPECT_EQ(currentName(remote), QStringLiteral("Page.html")) << "no match leaves the row";
    QApplication::setKeyboardInputInterval(interval);
}

TEST_F(BrowserFixture, FocusAndCaptionClicksSetTheActiveSide)
{
    ASSERT_TRUE(waitFor([&] { return window.isActiveWindow(); }, 3000));
    remote.list()->setFocus();
    ASSERT_TRUE(waitFor([&] { return !controller.browsers().localActive(); }, 2000));
    local.list()->setFocus();
    ASSERT_TRUE(waitFor([&] { return controller.browsers().localActive(); }, 2000));
    rRow.folderBox->setFocus();
    ASSERT_TRUE(waitFor([&] { return !controller.browsers().localActive(); }, 2000));
    lRow.filter->setFocus(); // other widgets leave it alone
    QApplication::processEvents();
    EXPECT_FALSE(controller.browsers().localActive());

    QTest::mouseClick(lCaption, Qt::LeftButton);
    EXPECT_TRUE(controller.browsers().localActive());
    EXPECT_TRUE(waitFor([&] { return lRow.folderBox->hasFocus(); }, 2000));
    QTest::mouseClick(rCaption, Qt::RightButton);
    EXPECT_FALSE(controller.browsers().localActive());
    EXPECT_TRUE(waitFor([&] { return rRow.folderBox->hasFocus(); }, 2000));
}

TEST_F(BrowserFixture, RowsDropOnlyFromTheOtherList)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("target")));
    makeFile(dir.path() + QStringLiteral("/file.txt"));
    showLocal(dir.path());
    showRemote(QStringLiteral("/pub/"), {remoteEntry(QStringLiteral("r1"), 1), remoteEntry(QStringLiteral("r2"), 1)});
    FileListView *target = local.list();
    std::unique_ptr<QMimeData> fromRemote(
        remote.model()->mimeData({remote.model()->index(1, 0), remote.model()->index(1, 2)}));
    std::unique_ptr<QMimeData> fromLocal(local.model()->mimeData({local.model()->index(0, 0)}));
    QMimeData foreign;
    foreign.setData(QString::fromLatin1(FileListModel::kEntriesMimeType), "1 remote 0");

    const QPoint overFolder = target->visualRect(local.model()->index(0, 0)).center(); // "target" sorts first
    const QPoint overFile = target->visualRect(local.model()->index(1, 0)).center();
    auto enter = [&](const QMimeData *mime, QPoint at) {
        QDragEnterEvent event(at, Qt::CopyAction, mime, Qt::LeftButton, {});
        QApplication::sendEvent(target->viewport(), &event);
        return event.isAccepted();
    };
    auto move = [&](const QMimeData *mime, QPoint at) {
        QDragMoveEvent event(at, Qt::CopyAction, mime, Qt::LeftButton, {});
        QApplication::sendEvent(target->viewport(), &event);
        return event.isAccepted();
    };
    EXPECT_FALSE(enter(fromLocal.get(), overFolder)) << "not within one list";
    EXPECT_FALSE(enter(&foreign, overFolder)) << "not from another program";
    EXPECT_TRUE(enter(fromRemote.get(), overFolder));
    EXPECT_TRUE(move(fromRemote.get(), overFolder));
    EXPECT_TRUE(target->dropHighlights(0));
    EXPECT_TRUE(move(fromRemote.get(), overFile));
    EXPECT_EQ(target->dropTargetRow(), 1);
    EXPECT_FALSE(target->dropHighlights(1)) << "files show no drop highlight";

    std::vector<int> dropped;
    int droppedOn = -2;
    FileListView *source = nullptr;
    QObject::connect(target, &FileListView::entriesDropped, [&](FileListView *s, const std::vector<int> &e, int on) {
        source = s;
        dropped = e;
        droppedOn = on;
    });
    QDropEvent drop(QPointF(overFolder), Qt::CopyAction, fromRemote.get(), Qt::LeftButton, {});
    QApplication::sendEvent(target->viewport(), &drop);
    EXPECT_EQ(source, remote.list());
    EXPECT_EQ(dropped, std::vector<int>{remote.model()->entryIndex(1)});
    EXPECT_EQ(droppedOn, local.model()->entryIndex(0));
    EXPECT_EQ(target->dropTargetRow(), -1);
}

TEST_F(BrowserFixture, CachedFreshFoldersAreDrawnBold)
{
    controller.browsers().state().storeListing(QStringLiteral("/pub/incoming/"), {}, QString());
    showRemote(QStringLiteral("/pub/"), {remoteEntry(QStringLiteral("incoming"), 0, true)});
    FileListView *list = remote.list();
    const QModelIndex name = list->model()->index(0, 0);
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    const int boldWidth = list->itemDelegate()->sizeHint(option, name).width();
    write(controller.setup(), Keys::markCachedFolders, false);
    const int plainWidth = list->itemDelegate()->sizeHint(option, name).width();
    EXPECT_GT(boldWidth, plainWidth);
}

TEST_F(BrowserFixture, IconsFollowTheirSettings)
{
    SystemFileIcons icons;
    remote.setIconSource(&icons);
    tRemoteEntryList entries = {remoteEntry(QStringLiteral("a.txt"), 1), remoteEntry(QStringLiteral("b.TXT"), 1),
                                remoteEntry(QStringLiteral("dir"), 0, true),
                                remoteEntry(QStringLiteral("link.txt"), 1)};
    entries[3].entry.isLink = true;
    showRemote(QStringLiteral("/pub/"), entries);
    auto iconOf = [&](const QString &name, int column = 0) {
        const int row =
            remote.model()->rowOfEntry(static_cast<int>(names(remote).indexOf(name)) >= 0
                                           ? remote.model()->entryIndex(static_cast<int>(names(remote).indexOf(name)))
                                           : -1);
        return remote.model()->index(row, column).data(Qt::DecorationRole).value<QIcon>();
    };
    EXPECT_FALSE(iconOf(QStringLiteral("a.txt")).isNull());
    EXPECT_FALSE(iconOf(QStringLiteral("dir")).isNull());
    EXPECT_TRUE(iconOf(QStringLiteral("a.txt"), FileListModel::Size).isNull()) << "only the name column";
    EXPECT_EQ(icons.fileIconIndex(QStringLiteral("a.txt")), icons.fileIconIndex(QStringLiteral("b.TXT")));
    EXPECT_EQ(icons.cachedExtensionCount(), 1);
    const qint64 plain = iconOf(QStringLiteral("a.txt")).cacheKey();
    EXPECT_NE(iconOf(QStringLiteral("link.txt")).cacheKey(), plain) << "links carry the arrow";
    write(controller.setup(), Keys::displayshortcuticon, false);
    EXPECT_EQ(iconOf(QStringLiteral("link.txt")).cacheKey(), plain);
    write(controller.setup(), Keys::hideFileIcons, true);
    EXPECT_TRUE(iconOf(QStringLiteral("a.txt")).isNull());
    EXPECT_TRUE(iconOf(QStringLiteral("dir")).isNull());
}

} // namespace

namespace {

TEST(FileBrowsers, LayoutFilesRoundTripAndBadFilesLeaveTheStandardLayout)
{
    QTemporaryDir data;
    const QString folder = data.path() + u'/';
    RecordingUserInterface ui;
    MainController controller(ui);
    {
        QWidget window;
        FileBrowsers browsers(controller.browsers(), controller.setup(), &window);
        EXPECT_EQ(browsers.local().list()->objectName(), QStringLiteral("lLv"));
        EXPECT_EQ(browsers.remote().list()->objectName(), QStringLiteral("rlv"));
        browsers.remote().list()->header()->setSectionHidden(FileListModel::Attr, true);
        browsers.local().list()->header()->resizeSection(FileListModel::Date, 180);
        browsers.headerStyles().setStyle(HeaderStyles::Thick);
        browsers.saveLayouts(folder);
    }
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("lvl.dat")));
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("lvr.dat")));
    {
        QWidget window;
        FileBrowsers browsers(controller.browsers(), controller.setup(), &window);
        browsers.loadLayouts(folder);
        EXPECT_TRUE(browsers.remote().list()->header()->isSectionHidden(FileListModel::Attr));
        EXPECT_EQ(browsers.local().list()->header()->sectionSize(FileListModel::Date), 180);
        EXPECT_EQ(browsers.local().list()->headerStyle(), HeaderStyles::Thick);
    }
    // The local file swapped with the remote one, and a damaged remote file.
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("lvl.dat")));
    ASSERT_TRUE(QFile::rename(folder + QStringLiteral("lvr.dat"), folder + QStringLiteral("lvl.dat")));
    {
        QFile damaged(folder + QStringLiteral("lvr.dat"));
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write("KLV1 but not really");
    }
    QWidget window;
    FileBrowsers browsers(controller.browsers(), controller.setup(), &window);
    browsers.loadLayouts(folder);
    EXPECT_EQ(browsers.local().list()->header()->count(), 4);
    EXPECT_EQ(browsers.local().list()->header()->sectionSize(FileListModel::Date), 100);
    EXPECT_FALSE(browsers.remote().list()->header()->isSectionHidden(FileListModel::Attr));
    EXPECT_EQ(browsers.remote().list()->header()->sectionSize(FileListModel::Date), 75);
}

} // namespace
