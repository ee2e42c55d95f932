// Synchronize in the real window against pyftpdlib: the preview shows the plan, Start queues
// exactly those items in their order after the deletion count is confirmed, and a download
// of a tree (listed from the window) arrives byte for byte, after which nothing is planned.
#include "app/widgets/Commands.h"
#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "base/TextUtil.h"
#include "browser/widgets/SynchronizeDialog.h"
#include "queue/QueueCommand.h"
#include "support/FtpServers.h"
#include "support/StartupSiteManager.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace Qt::StringLiterals;

// The preview as text: each group's title and size, its rows indented below it.
QStringList previewLines(QTreeWidget *preview)
{
    QStringList lines;
    for (int i = 0; i < preview->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *group = preview->topLevelItem(i);
        lines << (group->text(1).isEmpty() ? group->text(0) : group->text(0) + QStringLiteral(" | ") + group->text(1));
        for (int j = 0; j < group->childCount(); ++j)
            lines << QStringLiteral("  ") + group->child(j)->text(0);
    }
    return lines;
}

class WindowSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        remoteRoot = server.localWritable();
        local = home.path() + QStringLiteral("/work/");
        QDir().mkpath(local);
    }
    void connectWindow()
    {
        window = std::make_unique<ProgramWindow>();
        MainController &c = window->controller();
        c.FormCreate({});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(waitFor([&] { return c.started(); }, 5000));
        closeStartupSiteManager(*window);
        c.browsers().setLocalFolder(local);
        c.browsers().refreshLocalView();
        SessionSupervisor &s = c.sessions();
        s.setCurrentSite(siteOf(server));
        c.browsers().setRemoteFolder(QStringLiteral("/"));
        s.setConnectionWanted(true);
        ASSERT_TRUE(waitFor(
            [&] { return s.mainSession()->loggedIn && c.browsers().state().findCachedFolder(QStringLiteral("/")); },
            15000));
        ASSERT_TRUE(waitFor([&] { return c.queue().model().isEmpty(); }, 15000));
        ASSERT_TRUE(commands().toSynchronize->isEnabled());
    }
    void TearDown() override
    {
        if (window)
            window->controller().sessions().setConnectionWanted(false);
    }
    Commands &commands() { return *window->findChild<Commands *>(); }
    QStringList queued()
    {
        QStringList commands;
        const QueueModel &m = window->controller().queue().model();
        for (int row = 0; row < m.itemCount(); ++row)
            commands << m.itemAt(row)->command();
        return commands;
    }
    // Triggers Synchronize and hands every modal window that shows up to `handle` until the
    // command returns; `handle` closes the windows it is done with.
    void synchronize(const std::function<void(QWidget *)> &handle)
    {
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget())
                handle(modal);
        });
        poll.start();
        commands().toSynchronize->trigger();
        poll.stop();
    }

    TempHome home;
    PyftpdlibServer server;
    std::unique_ptr<MainWindow> window;
    QString remoteRoot, local;
};

TEST_F(WindowSync, ThePreviewShowsThePlanAndStartQueuesItAfterTheDeletionsAreConfirmed)
{
    makeFile(local + QStringLiteral("same.txt"), "same");
    makeFile(local + QStringLiteral("up.txt"), "goes up");
    makeFile(local + QStringLiteral("newdir/n.txt"), "new\r\nfile\0"_ba);
    makeFile(remoteRoot + QStringLiteral("/same.txt"), "same");
    makeFile(remoteRoot + QStringLiteral("/there.txt"), "only there");
    QDir().mkpath(remoteRoot + QStringLiteral("/docs"));
    connectWindow();
    window->controller().queue().model().setPaused(true);

    const QStringList expectedPreview{
        QStringLiteral("Make folders on the server (1)"),
        QStringLiteral("  newdir"),
        QStringLiteral("Upload files (2) | ") + formatBytes(7 + 10),
        QStringLiteral("  up.txt"),
        QStringLiteral("  newdir/n.txt"),
        QStringLiteral("Delete files on the server (1) | ") + formatBytes(10),
        QStringLiteral("  there.txt"),
        QStringLiteral("Skipped (1)"),
        QStringLiteral("  docs/: not deleted: its contents are not all listed"),
        QStringLiteral("Unchanged files (1)"),
    };
    // Answering No to the deletion question queues nothing; Yes queues the plan.
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        QStringList preview;
        QString question;
        synchronize([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<SynchronizeDialog *>(modal)) {
                dialog->findChild<QRadioButton *>(u"syncUpload"_s)->setChecked(true);
                auto *rule = dialog->findChild<QComboBox *>(u"syncRule"_s);
                rule->setCurrentIndex(rule->findText(u"Missing files and files of another size"_s));
                dialog->findChild<QCheckBox *>(u"syncDelete"_s)->setChecked(true);
                preview = previewLines(dialog->preview());
                dialog->startButton()->click();
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                question = box->text();
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        EXPECT_EQ(preview, expectedPreview);
        EXPECT_EQ(question, QStringLiteral("Synchronize will delete 1 file on the server. Continue?"));
        if (!yes) {
            EXPECT_EQ(queued(), QStringList());
        }
    }
    EXPECT_EQ(queued(), (QStringList{
                            QStringLiteral("makefolder*/newdir"),
                            QStringLiteral("putfile*") + local + QStringLiteral("up.txt*/up.txt"),
                            QStringLiteral("putfile*") + local + QStringLiteral("newdir/n.txt*/newdir/n.txt"),
                            QStringLiteral("deletefile*/there.txt"),
                        }));

    window->controller().queue().model().setPaused(false);
    ASSERT_TRUE(waitFor([&] { return window->controller().queue().model().isEmpty(); }, 20000));
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/up.txt")), "goes up");
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/newdir/n.txt")), "new\r\nfile\0"_ba);
    EXPECT_FALSE(QFileInfo::exists(remoteRoot + QStringLiteral("/there.txt")));
    EXPECT_TRUE(QFileInfo(remoteRoot + QStringLiteral("/docs")).isDir());
}

TEST_F(WindowSync, ADownloadOfATreeIsByteIdenticalAndASecondRunPlansNothing)
{
    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(static_cast<char>(i * 7 % 256));
    const std::pair<QString, QByteArray> files[] = {
        {QStringLiteral("top.txt"), "top\r\nline\n"}, {QStringLiteral("same.txt"), "same"},
        {QStringLiteral("sub/a.bin"), binary},        {QStringLiteral("sub/deeper/b.txt"), "deep"},
        {QStringLiteral("sub/deeper/Case"), "upper"}, {QStringLiteral("sub/deeper/case"), "lower"},
    };
    for (const auto &[path, bytes] : files)
        makeFile(remoteRoot + QLatin1Char('/') + path, bytes);
    QDir().mkpath(remoteRoot + QStringLiteral("/emptydir"));
    // A link on the server is neither followed nor copied.
    ASSERT_TRUE(QFile::link(remoteRoot + QStringLiteral("/sub"), remoteRoot + QStringLiteral("/ln")));
    makeFile(local + QStringLiteral("same.txt"), "same");
    connectWindow();

    const auto chooseDownload = [](SynchronizeDialog *dialog, int rule) {
        dialog->findChild<QRadioButton *>(u"syncDownload"_s)->setChecked(true);
        dialog->findChild<QComboBox *>(u"syncRule"_s)->setCurrentIndex(rule);
    };
    QStringList preview;
    synchronize([&](QWidget *modal) {
        auto *dialog = qobject_cast<SynchronizeDialog *>(modal);
        if (!dialog)
            return;
        chooseDownload(dialog, 1);
        // Each round of listings shows the next level; Start once the whole tree is known.
        if (dialog->listButton()->isEnabled()) {
            if (window->controller().queue().model().isEmpty())
                dialog->listButton()->click();
            return;
        }
        if (!window->controller().queue().model().isEmpty())
            return;
        preview = previewLines(dialog->preview());
        dialog->startButton()->click();
    });
    EXPECT_TRUE(preview.contains(QStringLiteral("  sub/deeper/Case")));
    EXPECT_TRUE(preview.contains(QStringLiteral("  ln: links are not followed")));
    ASSERT_TRUE(waitFor([&] { return window->controller().queue().model().isEmpty(); }, 30000));
    for (const auto &[path, bytes] : files) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(readAll(local + path), bytes);
    }
    EXPECT_TRUE(QFileInfo(local + QStringLiteral("emptydir")).isDir());
    EXPECT_FALSE(QFileInfo::exists(local + QStringLiteral("ln")));

    // Nothing changed: under every rule the plan is empty and Start is not offered.
    for (int rule = 0; rule < 3; ++rule) {
        SCOPED_TRACE(rule);
        bool startOffered = true;
        QString first;
        synchronize([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<SynchronizeDialog *>(modal)) {
                chooseDownload(dialog, rule);
                startOffered = dialog->startButton()->isEnabled() || dialog->listButton()->isEnabled();
                first = dialog->preview()->topLevelItem(0)->text(0);
                dialog->reject();
            }
        });
        EXPECT_FALSE(startOffered);
        EXPECT_TRUE(first.startsWith(QStringLiteral("Skipped"))) << first.toStdString(); // the link
    }
}

} // namespace
