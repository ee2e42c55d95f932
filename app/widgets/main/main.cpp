#include "app/MainController.h"
#include "app/widgets/BrowserCommandBinder.h"
#include "app/widgets/DesktopPaths.h"
#include "app/widgets/MainWindow.h"
#include "app/widgets/SingleInstance.h"
#include "base/Version.h"
#include "ui/QtUserInterface.h"

#include <QApplication>
#include <QDateTime>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

namespace {

// "--screenshot FILE": once start-up has run, saves a picture of the main window to FILE
// and ends the program without the closing questions and without saving this run's
// layout. With "--options PAGE" as well, the picture is of the options dialog open at
// that page ("General", "Toolbar", ...). With "--show list-menu" the picture is of the
// screen around the window with the local list's menu open; with "--show permissions" it
// is of the permission dialog. Used to keep the pictures in the documentation current.
QString argumentAfter(const QStringList &args, const QString &option)
{
    const qsizetype at = args.indexOf(option);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
}

void saveScreenshotAndEnd(QWidget *widget, const QString &file)
{
    const bool saved = widget && widget->grab().save(file);
    QCoreApplication::exit(saved ? 0 : 1);
}

// The window with the local list's menu open, taken from the screen: a menu is a window of
// its own and is not part of the main window's picture.
void showListMenu(MainWindow &window, const QString &file)
{
    QTreeView *list = window.localList();
    list->setFocus(Qt::OtherFocusReason);
    if (list->model()->rowCount() > 0)
        list->setCurrentIndex(list->model()->index(0, 0));
    const QPoint at = list->viewport()->mapToGlobal(QPoint(40, 30));
    window.browserCommandBinder()->prepareListMenu();
    window.listMenu()->popup(at);
    QTimer::singleShot(700, &window, [&window, file] {
        const QRect area = window.frameGeometry().united(window.listMenu()->geometry());
        const bool saved = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    const QDateTime startTime = QDateTime::currentDateTime();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin FTP Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrin FTP Pro"));
    QApplication::setApplicationVersion(QLatin1String(Version::kVersionText));
    QGuiApplication::setDesktopFileName(DesktopPaths::appId());

    const QStringList args = QApplication::arguments().mid(1);
    const bool screenshot = args.contains(QStringLiteral("--screenshot"));
    // ftp:// links go to the program that is already running, when there is one.
    SingleInstance instance;
    const QStringList links = SingleInstance::linksIn(args);
    if (!screenshot && instance.handOver(links))
        return 0;

    // The program's state lives in the controller; the window observes it and goes first at
    // the end (declared last), so no list paints over entries that are already gone.
    QtUserInterface ui;
    MainController controller(ui);
    MainWindow window(controller);
    ui.setOwner(&window);
    // From here on, errors escaping a guarded place open the bug window.
    controller.diagnostics().install();
    controller.setProgramStartTime(startTime);
    controller.FormCreate(args);
    window.show();
    if (!screenshot)
        serveLinks(instance, controller.connection(), window, links);

    const QString shot = argumentAfter(args, QStringLiteral("--screenshot"));
    const QString optionsPage = argumentAfter(args, QStringLiteral("--options"));
    const QString show = argumentAfter(args, QStringLiteral("--show"));
    if (!shot.isEmpty() && show == QLatin1String("list-menu")) {
        QTimer::singleShot(1500, &window, [&window, shot] { showListMenu(window, shot); });
    } else if (!shot.isEmpty() && show == QLatin1String("permissions")) {
        QTimer::singleShot(1500, &window, [&window, &ui, shot] {
            QTimer::singleShot(500, &window, [shot] { saveScreenshotAndEnd(QApplication::activeModalWidget(), shot); });
            QString code = QStringLiteral("644");
            ui.askPermissions(code);
        });
    } else if (!shot.isEmpty()) {
        QTimer::singleShot(1500, &window, [&window, shot, optionsPage] {
            if (optionsPage.isEmpty()) {
                saveScreenshotAndEnd(&window, shot);
                return;
            }
            // The dialog runs modally: take its picture from inside its own loop.
            QTimer::singleShot(500, &window, [shot] { saveScreenshotAndEnd(QApplication::activeModalWidget(), shot); });
            window.openOptions(optionsPage);
        });
    }
    return QApplication::exec();
}
