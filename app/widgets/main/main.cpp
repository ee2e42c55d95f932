#include "app/MainController.h"
#include "app/widgets/MainWindow.h"
#include "base/Version.h"
#include "ui/QtUserInterface.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>

namespace {

// "--screenshot FILE": once start-up has run, saves a picture of the main window to FILE
// and ends the program without the closing questions and without saving this run's
// layout. With "--options PAGE" as well, the picture is of the options dialog open at
// that page ("General", "Toolbar", ...). Used to keep the pictures in the documentation
// current.
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

} // namespace

int main(int argc, char *argv[])
{
    const QDateTime startTime = QDateTime::currentDateTime();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin FTP Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrin FTP Pro"));
    QApplication::setApplicationVersion(QLatin1String(Version::kVersionText));

    // The program's state lives in the controller; the window observes it and goes first at
    // the end (declared last), so no list paints over entries that are already gone.
    QtUserInterface ui;
    MainController controller(ui);
    MainWindow window(controller);
    ui.setOwner(&window);
    // From here on, errors escaping a guarded place open the bug window.
    controller.diagnostics().install();
    controller.setProgramStartTime(startTime);
    const QStringList args = QApplication::arguments().mid(1);
    controller.FormCreate(args);
    window.show();

    const QString shot = argumentAfter(args, QStringLiteral("--screenshot"));
    const QString optionsPage = argumentAfter(args, QStringLiteral("--options"));
    if (!shot.isEmpty()) {
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
