#include "app/Diagnostics.h"
#include "ui/BugWindow.h"
#include "ui/ErrorWindow.h"
#include "ui/QtUserInterface.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// Receives the URLs the program asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

void destroyClosedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(BugWindow, OpensCollapsedTogglesItsDetailsAndOffersTheMail)
{
    QPointer<BugWindow> window = new BugWindow(QStringLiteral("nnbbasj"), QStringLiteral("Access violation"));
    window->show();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("A application bug has occurred - Please report to author!"));
    EXPECT_FALSE(window->detailsShown());
    EXPECT_EQ(window->detailsButton()->text(), QStringLiteral("Details >>"));
    EXPECT_EQ(window->details()->toPlainText(), QStringLiteral("Bug Data1:\nnnbbasj\n\nBug Data2:\nAccess violation"));

    QTest::mouseClick(window->detailsButton(), Qt::LeftButton);
    EXPECT_TRUE(window->detailsShown());
    EXPECT_EQ(window->detailsButton()->text(), QStringLiteral("<< Details"));
    QTest::mouseClick(window->detailsButton(), Qt::LeftButton);
    EXPECT_FALSE(window->detailsShown());

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &recorder, "open");
    QTest::mouseClick(window->mailButton(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls.first(),
              Diagnostics::bugReportMail(QStringLiteral("nnbbasj"), QStringLiteral("Access violation")));

    QTest::mouseClick(window->closeButton(), Qt::LeftButton);
    destroyClosedWindows();
    EXPECT_TRUE(window.isNull());
}

TEST(ErrorWindow, OpeningTheDetailsScrollsToTheLastLine)
{
    QStringList recent;
    for (int i = 0; i < 30; ++i)
        recent << QStringLiteral("<line %1").arg(i);
    const QString details = Diagnostics::errorDetails(QStringLiteral("Could not receive file"), QString(), recent);
    QPointer<ErrorWindow> window = new ErrorWindow(QStringLiteral("Could not receive file"), details);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Message! - Kestrin FTP Pro"));
    EXPECT_FALSE(window->detailsShown());
    QTest::mouseClick(window->detailsButton(), Qt::LeftButton);
    QApplication::processEvents();
    QScrollBar *bar = window->details()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::mouseClick(window->closeButton(), Qt::LeftButton);
    destroyClosedWindows();
    EXPECT_TRUE(window.isNull());
}

TEST(QtUserInterface, EachReportOpensItsOwnNonModalWindow)
{
    QtUserInterface ui;
    ui.showBugWindow(QStringLiteral("a"), QStringLiteral("first"));
    ui.showBugWindow(QStringLiteral("b"), QStringLiteral("second"));
    ui.showErrorWindow(QStringLiteral("Connection lost"), QStringLiteral("details"));
    QList<DetailsWindow *> open;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *d = qobject_cast<DetailsWindow *>(w); d && d->isVisible())
            open << d;
    }
    ASSERT_EQ(open.size(), 3);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (DetailsWindow *d : open)
        d->close();
    destroyClosedWindows();
}

} // namespace

#include "DetailsWindowsTest.moc"
