#include "app/Diagnostics.h"
#include "app/UserInterface.h"
#include "base/Errors.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// Records what the program shows; can be told to fail when asked for the bug window.
class ScriptedUi : public UserInterface {
public:
    void showMessage(const QString &text) override { messages << text; }
    bool confirm(const QString &) override { return true; }
    bool askText(const QString &, const QString &, QString &, bool) override { return false; }
    void showBugWindow(const QString &siteId, const QString &message) override
    {
        if (failBugWindow)
            throw KestrinError(QStringLiteral("no window"));
        bugWindows << (siteId + QLatin1Char('|') + message);
    }
    void showErrorWindow(const QString &message, const QString &details) override
    {
        errorWindows << message;
        errorDetails << details;
    }

    bool failBugWindow = false;
    QStringList messages, bugWindows, errorWindows, errorDetails;
};

class DiagnosticsTest : public ::testing::Test {
protected:
    QStringList fileLines() const
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
        lines.removeLast(); // after the final CR LF
        return lines;
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QString::fromLatin1(Diagnostics::kFileName));
    ScriptedUi ui;
    tSetupClass setup;
    Diagnostics diagnostics{ui, setup};
};

TEST_F(DiagnosticsTest, WithoutDebugModeAReportOpensTheBugWindowAndWritesNoFile)
{
    diagnostics.setFilePath(path);
    diagnostics.reportBug(QStringLiteral("nnbbasj"), QStringLiteral("Access violation"));
    EXPECT_EQ(ui.bugWindows, QStringList{QStringLiteral("nnbbasj|Access violation")});
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(DiagnosticsTest, InDebugModeEachReportAppendsExactlyFourLines)
{
    diagnostics.setFilePath(path);
    diagnostics.setDebugMode(true);
    diagnostics.reportBug(QStringLiteral("nnbbasj"), QStringLiteral("first"));
    ASSERT_EQ(fileLines().size(), 4);
    diagnostics.reportBug(QStringLiteral("qnnalas"), QStringLiteral("second\r\nwith a break"));

    const QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 8);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Date     : ")));
    EXPECT_GT(lines[0].size(), 11);
    EXPECT_EQ(lines[1], QStringLiteral("Bug Data1: nnbbasj"));
    EXPECT_EQ(lines[2], QStringLiteral("Bug Data2: first"));
    EXPECT_EQ(lines[3], QString());
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("Date     : ")));
    EXPECT_EQ(lines[5], QStringLiteral("Bug Data1: qnnalas"));
    // A line break in the message would split the record.
    EXPECT_EQ(lines[6], QStringLiteral("Bug Data2: second with a break"));
    EXPECT_EQ(lines[7], QString());
    EXPECT_EQ(ui.bugWindows.size(), 2);
}

TEST_F(DiagnosticsTest, FailuresFallBackToThePlainMessage)
{
    // An unwritable diagnostics file in debug mode.
    diagnostics.setFilePath(dir.filePath(QStringLiteral("missing/folder/bugs.txt")));
    diagnostics.setDebugMode(true);
    diagnostics.reportBug(QStringLiteral("a"), QStringLiteral("b"));
    EXPECT_TRUE(ui.bugWindows.isEmpty());
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("BugBug-123. Please Report to Author.")});

    // A bug window that cannot be created.
    diagnostics.setDebugMode(false);
    ui.failBugWindow = true;
    diagnostics.reportBug(QStringLiteral("a"), QStringLiteral("b"));
    EXPECT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.last(), Diagnostics::kFallback);
}

TEST_F(DiagnosticsTest, InstalledDiagnosticsReceiveWhatGuardedPlacesReport)
{
    diagnostics.install();
    guarded("nnbbasj", [] { throw FileError(QStringLiteral("disk full")); });
    EXPECT_EQ(ui.bugWindows, QStringList{QStringLiteral("nnbbasj|disk full")});
}

TEST(BugReportMail, CarriesTheExactSubjectAndBody)
{
    const QUrl mail = Diagnostics::bugReportMail(QStringLiteral("llklklqq - a&b"), QStringLiteral("x & y # z"));
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(mail.path(), QString::fromLatin1(Diagnostics::kBugReportAddress));
    EXPECT_TRUE(mail.toEncoded().contains("%0D%0A"));

    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("Bug report for Kestrin FTP Pro (llklklqq - a\u00A7b, 2800)"));
    const QString body = QStringLiteral("[... if you have the time, please write how the bug occurred ...]") +
                         QStringLiteral("\r\n").repeated(8) + QStringLiteral("PLEASE DONT CHANGE DATA BELOW\r\n") +
                         QString(43, QLatin1Char('-')) +
                         QStringLiteral("\r\nBUG ID: 2800\r\nDATLN1: llklklqq - a\u00A7b") +
                         QStringLiteral("\r\nDATLN2: x & y # z");
    // The "&" and "#" of the message stay inside the body instead of cutting it short.
    EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), body);
}

TEST(ErrorWindowDetails, UnderlinesTheMessageAndDropsTheMarkers)
{
    const QString details = Diagnostics::errorDetails(
        QStringLiteral("Could not receive file"), QStringLiteral("550 No such file"),
        {QStringLiteral(">USER anna"), QStringLiteral(">PASS secret"), QStringLiteral("<550 No such file")});
    EXPECT_EQ(details, QStringLiteral("Could not receive file\n----------------------\n\n550 No such file\n\n"
                                      "USER anna\nPASS [*** hidden ***]\n550 No such file"));
    EXPECT_EQ(Diagnostics::errorDetails(QStringLiteral("abc"), QString(), {QStringLiteral("<221 Bye")}),
              QStringLiteral("abc\n---\n\n221 Bye"));
}

TEST_F(DiagnosticsTest, ErrorWindowPlaysTheErrorSoundOnlyWhenSoundsAreOn)
{
    struct {
        const char *disableSound; // null: not stored
        const char *sound;
        bool played;
    } const cases[] = {{nullptr, "/snd/error.wav", false},
                       {"false", "/snd/error.wav", true},
                       {"false", "", false},
                       {"true", "/snd/error.wav", false}};
    for (const auto &c : cases) {
        tSetupClass store;
        if (c.disableSound)
            store.setString(Keys::disableSound.key(), QString::fromLatin1(c.disableSound));
        store.setString(Keys::sndOnError.key(), QString::fromLatin1(c.sound));
        ScriptedUi shown;
        Diagnostics d(shown, store);
        QStringList played;
        d.setSoundPlayer([&played](const QString &file) { played << file; });
        d.showErrorWindow(QStringLiteral("Connection lost"), QString(), {});
        SCOPED_TRACE(c.disableSound ? c.disableSound : "none");
        EXPECT_EQ(played.size(), c.played ? 1 : 0);
        EXPECT_EQ(shown.errorWindows, QStringList{QStringLiteral("Connection lost")});
    }
}

} // namespace
