#include "browser/FileListModel.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QColor>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMimeDatabase>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

namespace {

using Side = FileListModel::Side;

tNamedEntry<tFtpFolderEntryObject> remoteEntry(const char *name, std::int64_t size, bool folder = false,
                                               std::int32_t time = 0, std::int32_t attr = 644)
{
    tNamedEntry<tFtpFolderEntryObject> item;
    item.name = QString::fromUtf8(name);
    item.entry.name = item.name;
    item.entry.size = size;
    item.entry.isFolder = folder;
    item.entry.time = time;
    item.entry.attr = attr;
    return item;
}

tNamedEntry<tFolderEntryObject> localEntry(const char *name, std::int64_t size, bool folder = false)
{
    tNamedEntry<tFolderEntryObject> item;
    item.name = QString::fromUtf8(name);
    item.entry.name = item.name;
    item.entry.size = folder ? -1 : size;
    item.entry.isFolder = folder;
    return item;
}

std::int32_t packed(int year, int month, int day)
{
    return packFileTime(QDate(year, month, day), QTime(12, 0));
}

// A remote list over one cached folder, and a local list, on one browser state.
class FileListFixture : public testing::Test {
protected:
    tSetupClass setup;
    BrowserState state;
    FileListModel remote{Side::Remote, state, setup};
    FileListModel local{Side::Local, state, setup};

    tFolderObject &showRemote(const QString &path, tRemoteEntryList entries, const QString &justLeft = {})
    {
        tFolderObject &folder = state.storeListing(path, {}, QString());
        folder.folderEntries = std::move(entries);
        state.rFolder = path;
        state.rEntries = &folder.folderEntries;
        m_justLeft = remote.rebuild(PreparedFilter({}, false), path, justLeft);
        return folder;
    }

    static QString text(const FileListModel &m, int row, int column, int role = Qt::DisplayRole)
    {
        return m.data(m.index(row, column), role).toString();
    }
    static QStringList names(const FileListModel &m)
    {
        QStringList out;
        for (int row = 0; row < m.rowCount(); ++row)
            out << text(m, row, FileListModel::Name);
        return out;
    }

    std::vector<int> m_justLeft;
};

// --- cell texts ---------------------------------------------------------------------------

struct CellCase {
    const char *label;
    tNamedEntry<tFtpFolderEntryObject> entry;
    int column;
    bool sizeInBytes;
    const char *expected;
};
void PrintTo(const CellCase &c, std::ostream *os)
{
    *os << c.label;
}

class FileListCellTest : public FileListFixture, public testing::WithParamInterface<CellCase> {};

TEST_P(FileListCellTest, ShowsTheColumnText)
{
    const CellCase &c = GetParam();
    write(setup, Keys::filesizeInBytes, c.sizeInBytes);
    showRemote(QStringLiteral("/pub/"), {c.entry});
    EXPECT_EQ(text(remote, 0, c.column), QString::fromUtf8(c.expected));
}

const CellCase kCells[] = {
    {"file-of-1023-bytes", remoteEntry("a", 1023), FileListModel::Size, false, "1KB"},
    {"empty-file", remoteEntry("a", 0), FileListModel::Size, false, "0KB"},
    {"remote-folder-keeps-listed-size", remoteEntry("d", 4096, true), FileListModel::Size, false, "4KB"},
    {"five-gigabytes-in-bytes", remoteEntry("big", 5'368'709'120), FileListModel::Size, true, "5.368.709.120b"},
    {"million-kilobytes-with-marks", remoteEntry("big", 1'048'576'000), FileListModel::Size, false, "1.024.000KB"},
    {"no-size", remoteEntry("x", -1), FileListModel::Size, false, ""},
    {"dos-listing-has-no-permissions", remoteEntry("a", 1, false, 0, -1), FileListModel::Attr, false, "n/a"},
    {"permissions-as-digits", remoteEntry("a", 1, false, 0, 755), FileListModel::Attr, false, "755"},
    {"malformed-permissions", remoteEntry("a", 1, false, 0, 0), FileListModel::Attr, false, "0"},
    {"no-date", remoteEntry("a", 1, false, 0), FileListModel::Date, false, "Invalid Date"},
    {"month-13-is-no-date", remoteEntry("a", 1, false, static_cast<std::int32_t>(46u << 25 | 13u << 21 | 1u << 16)),
     FileListModel::Date, false, "Invalid Date"},
    {"name-without-dot", remoteEntry("readme", 1), FileListModel::Type, false, "README file"},
    {"unknown-extension", remoteEntry("data.zqx9", 1), FileListModel::Type, false, "ZQX9 file"},
    {"extension-in-capitals-uses-same-key", remoteEntry("DATA.ZQX9", 1), FileListModel::Type, false, "ZQX9 file"},
};

INSTANTIATE_TEST_SUITE_P(Cells, FileListCellTest, testing::ValuesIn(kCells), [](const auto &info) {
    std::string name = info.param.label;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST_F(FileListFixture, DatesUseTheShortFormatsAndTypesComeFromTheMimeDatabase)
{
    const QLocale locale;
    showRemote(QStringLiteral("/pub/"),
               {remoteEntry("page.html", 1, false, packed(2024, 3, 5)), remoteEntry("docs", 0, true)});
    EXPECT_EQ(text(remote, 0, FileListModel::Date), locale.toString(QDate(2024, 3, 5), QLocale::ShortFormat) + u' ' +
                                                        locale.toString(QTime(12, 0), QLocale::ShortFormat));
    const QMimeDatabase db;
    const QString html = db.mimeTypeForName(QStringLiteral("text/html")).comment();
    ASSERT_FALSE(html.isEmpty()) << "no MIME database on this machine";
    EXPECT_EQ(text(remote, 0, FileListModel::Type), html);
    EXPECT_EQ(text(remote, 1, FileListModel::Type), db.mimeTypeForName(QStringLiteral("inode/directory")).comment());
}

TEST_F(FileListFixture, AFileNamedDotFolderDoesNotNameTheFolders)
{
    // Seen first, the file must not hand its fallback text to every folder, nor take theirs.
    showRemote(QStringLiteral("/pub/"), {remoteEntry("x.folder", 1), remoteEntry("docs", 0, true)});
    EXPECT_EQ(text(remote, 0, FileListModel::Type), QStringLiteral("FOLDER file"));
    EXPECT_NE(text(remote, 1, FileListModel::Type), QStringLiteral("FOLDER file"));
    EXPECT_FALSE(text(remote, 1, FileListModel::Type).isEmpty());
}

TEST_F(FileListFixture, LocalFolderShowsNoSize)
{
    state.lEntries = {localEntry("docs", 0, true), localEntry("a.txt", 1023)};
    local.rebuild(PreparedFilter({}, false), QStringLiteral("/home/u/"), QString());
    EXPECT_EQ(local.columnCount(), 4);
    EXPECT_EQ(remote.columnCount(), 5);
    EXPECT_EQ(text(local, 0, FileListModel::Size), QString());
    EXPECT_EQ(text(local, 1, FileListModel::Size), QStringLiteral("1KB"));
}

// --- filter -----------------------------------------------------------------------------------

struct FilterCase {
    const char *label;
    const char *text;
    bool wildcard;
    bool alwaysFolders;
    bool rowShown;
    const char *shown; // names in entry order, joined by blanks
};
void PrintTo(const FilterCase &c, std::ostream *os)
{
    *os << c.label;
}

class FileListFilterTest : public FileListFixture, public testing::WithParamInterface<FilterCase> {};

TEST_P(FileListFilterTest, ShowsTheAcceptedEntriesWithTheirOwnTexts)
{
    const FilterCase &c = GetParam();
    state.lEntries = {localEntry("report.htm", 2048), localEntry("a.txt", 10), localEntry("page.html", 4096),
                      localEntry("img", 0, true)};
    const FileFilter filter{QString::fromUtf8(c.text), c.alwaysFolders, c.wildcard};
    local.rebuild(PreparedFilter(filter, c.rowShown), QStringLiteral("/w/"), QString());
    EXPECT_EQ(names(local).join(u' '), QString::fromUtf8(c.shown));
    // Rows hold entry indices, which go beyond the row count when entries are hidden; each
    // row still shows its own entry's texts.
    for (int row = 0; row < local.rowCount(); ++row) {
        const int entry = local.data(local.index(row, 0), FileListModel::EntryIndexRole).toInt();
        EXPECT_EQ(text(local, row, FileListModel::Name), state.lEntries[entry].entry.name);
        EXPECT_EQ(text(local, row, FileListModel::Size),
                  state.lEntries[entry].entry.isFolder ? QString() : formatKilobytes(state.lEntries[entry].entry.size));
    }
}

const FilterCase kFilters[] = {
    {"substring", "htm", false, true, true, "report.htm page.html img"},
    {"substring-any-case", "HTM", false, true, true, "report.htm page.html img"},
    {"substring-without-folders", "htm", false, false, true, "report.htm page.html"},
    {"wildcard", "*.htm", true, true, true, "report.htm img"},
    {"wildcard-any-case", "*.HTM", true, true, true, "report.htm img"},
    {"wildcard-without-folders", "*.htm", true, false, true, "report.htm"},
    {"wildcard-question-mark", "?.txt", true, false, true, "a.txt"},
    {"text-is-no-pattern-without-wildcard", "*.htm", false, false, true, ""},
    {"empty-text-filters-nothing", "", true, false, true, "report.htm a.txt page.html img"},
    {"hidden-row-filters-nothing", "htm", false, false, false, "report.htm a.txt page.html img"},
};

INSTANTIATE_TEST_SUITE_P(Filters, FileListFilterTest, testing::ValuesIn(kFilters), [](const auto &info) {
    std::string name = info.param.label;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST_F(FileListFixture, RebuildCountsShownEntriesAndFindsTheFolderJustLeft)
{
    showRemote(
        QStringLiteral("/pub/"),
        {remoteEntry("x", 100), remoteEntry("incoming", 4096, true), remoteEntry("y", 50), remoteEntry("skip.tmp", 7)},
        QStringLiteral("/pub/incoming/"));
    EXPECT_EQ(m_justLeft, std::vector<int>{1});
    EXPECT_EQ(state.remoteCounters.files, 3);
    EXPECT_EQ(state.remoteCounters.folders, 1);
    EXPECT_EQ(state.remoteCounters.fileBytes, 157);

    // Only a folder directly inside the shown one, spelled exactly, is selected.
    for (const char *left : {"/pub/Incoming/", "/pub/incoming/deeper/", "/other/incoming/", "/pub/", ""}) {
        showRemote(QStringLiteral("/pub/"), state.rFolders.begin()->second->folderEntries, QString::fromUtf8(left));
        EXPECT_TRUE(m_justLeft.empty()) << left;
    }

    const FileFilter tmpOnly{QStringLiteral("*.tmp"), false, true};
    remote.rebuild(PreparedFilter(tmpOnly, true), state.rFolder, QString());
    EXPECT_EQ(state.remoteCounters.files, 1);
    EXPECT_EQ(state.remoteCounters.folders, 0);
    EXPECT_EQ(state.remoteCounters.fileBytes, 7);
}

// --- sorting ----------------------------------------------------------------------------------

struct SortCase {
    const char *label;
    int column;
    Qt::SortOrder order;
    const char *expected;
};
void PrintTo(const SortCase &c, std::ostream *os)
{
    *os << c.label;
}

class FileListSortTest : public FileListFixture, public testing::WithParamInterface<SortCase> {
protected:
    void SetUp() override
    {
        showRemote(QStringLiteral("/pub/"),
                   {
                       remoteEntry("b.zz2", 10, false, packed(2020, 1, 1), 644),
                       remoteEntry("beta", 512, true, packed(2019, 1, 1), 755),
                       remoteEntry("a.zz2", 10, false, packed(2021, 1, 1), 600),
                       remoteEntry("old.zz1", 300, false, 0, 644), // listed before 1980: no date
                       remoteEntry("Alpha", 4096, true, packed(2022, 1, 1), 700),
                       remoteEntry("c.zz1", 5, false, packed(2050, 6, 1), -1), // packs to a negative value
                   });
    }
};

TEST_P(FileListSortTest, OrdersFoldersFirstThenByColumnThenByName)
{
    const SortCase &c = GetParam();
    remote.sortRows(c.column, c.order, true);
    EXPECT_EQ(names(remote).join(u' '), QString::fromUtf8(c.expected));
}

const SortCase kSorts[] = {
    {"name", FileListModel::Name, Qt::AscendingOrder, "Alpha beta a.zz2 b.zz2 c.zz1 old.zz1"},
    {"name-descending-files-first", FileListModel::Name, Qt::DescendingOrder, "old.zz1 c.zz1 b.zz2 a.zz2 beta Alpha"},
    {"size-ties-by-name", FileListModel::Size, Qt::AscendingOrder, "beta Alpha c.zz1 a.zz2 b.zz2 old.zz1"},
    {"type-ties-by-name", FileListModel::Type, Qt::AscendingOrder, "Alpha beta c.zz1 old.zz1 a.zz2 b.zz2"},
    {"no-date-first-and-2050-last", FileListModel::Date, Qt::AscendingOrder, "beta Alpha old.zz1 b.zz2 a.zz2 c.zz1"},
    {"date-descending", FileListModel::Date, Qt::DescendingOrder, "c.zz1 a.zz2 b.zz2 old.zz1 Alpha beta"},
    {"attr", FileListModel::Attr, Qt::AscendingOrder, "Alpha beta c.zz1 a.zz2 b.zz2 old.zz1"},
};

INSTANTIATE_TEST_SUITE_P(Sorts, FileListSortTest, testing::ValuesIn(kSorts), [](const auto &info) {
    std::string name = info.param.label;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST_F(FileListSortTest, DescendingIsTheExactReverseForEveryColumn)
{
    for (int column = 0; column < remote.columnCount(); ++column) {
        remote.sortRows(column, Qt::AscendingOrder, true);
        QStringList ascending = names(remote);
        remote.sortRows(column, Qt::DescendingOrder, true);
        std::reverse(ascending.begin(), ascending.end());
        EXPECT_EQ(names(remote), ascending) << "column " << column;
        EXPECT_EQ(remote.shadedColumn(), column);
        EXPECT_EQ(remote.data(remote.index(0, column), Qt::BackgroundRole).value<QColor>(), QColor(247, 247, 247));
    }
    remote.sortRows(FileListModel::Size, Qt::AscendingOrder, false);
    EXPECT_FALSE(remote.data(remote.index(0, FileListModel::Size), Qt::BackgroundRole).isValid());
}

TEST_F(FileListSortTest, SelectionAndCurrentRowFollowTheirEntries)
{
    QItemSelectionModel selection(&remote);
    const int rowOfOld = remote.rowOfEntry(3);
    selection.setCurrentIndex(remote.index(rowOfOld, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    remote.sortRows(FileListModel::Date, Qt::AscendingOrder, true);
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(text(remote, selection.selectedRows().first().row(), 0), QStringLiteral("old.zz1"));
    EXPECT_EQ(text(remote, selection.currentIndex().row(), 0), QStringLiteral("old.zz1"));
}

// --- entries replaced under the rows ------------------------------------------------------------

TEST_F(FileListSortTest, RowsBeyondAShorterEntryListShowEmptyCells)
{
    // The folder is listed again: its entries are replaced before the list is rebuilt.
    tTmbFtpEntry one;
    one.name = QStringLiteral("only");
    one.status = ListingStatus::Ok;
    state.storeListing(QStringLiteral("/pub/"), {one}, QString());
    ASSERT_EQ(remote.rowCount(), 6);
    int empty = 0;
    for (int row = 0; row < remote.rowCount(); ++row) {
        for (int column = 0; column < remote.columnCount(); ++column) {
            for (int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(FileListModel::SortValueRole),
                             int(FileListModel::MarkedFolderRole)})
                (void)remote.data(remote.index(row, column), role);
        }
        empty += text(remote, row, FileListModel::Name).isEmpty() ? 1 : 0;
    }
    EXPECT_EQ(empty, 5);
    remote.sortRows(FileListModel::Type, Qt::AscendingOrder, true); // a header click meanwhile
    EXPECT_EQ(names(remote).first(), QStringLiteral("only"));

    state.clearFolderCache();
    for (int row = 0; row < remote.rowCount(); ++row)
        EXPECT_TRUE(text(remote, row, FileListModel::Name).isEmpty());
    remote.sortRows(FileListModel::Name, Qt::DescendingOrder, true);
    EXPECT_EQ(remote.rowCount(), 6);
}

// --- cached folders in bold ---------------------------------------------------------------------

TEST_F(FileListFixture, CachedFreshFoldersAreMarked)
{
    showRemote(QStringLiteral("/pub/"), {remoteEntry("cached", 0, true), remoteEntry("stale", 0, true),
                                         remoteEntry("unseen", 0, true), remoteEntry("cached.txt", 1)});
    state.storeListing(QStringLiteral("/pub/cached/"), {}, QString());
    state.storeListing(QStringLiteral("/pub/stale/"), {}, QString());
    state.markFolderStale(QStringLiteral("/pub/stale/"));
    auto marked = [&](int row, int column = 0) {
        return remote.data(remote.index(row, column), FileListModel::MarkedFolderRole).toBool();
    };
    EXPECT_TRUE(marked(0));
    EXPECT_FALSE(marked(0, FileListModel::Size));
    EXPECT_FALSE(marked(1));
    EXPECT_FALSE(marked(2));
    EXPECT_FALSE(marked(3));
    write(setup, Keys::markCachedFolders, false);
    EXPECT_FALSE(marked(0));
}

} // namespace
