#include "app/widgets/MainWindow.h"

#include <QApplication>
#include <QDateTime>

int main(int argc, char *argv[])
{
    const QDateTime startTime = QDateTime::currentDateTime();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin FTP Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrin FTP Pro"));
    QApplication::setApplicationVersion(QStringLiteral("2.8"));

    MainWindow window;
    window.controller().setProgramStartTime(startTime);
    window.controller().FormCreate(QApplication::arguments().mid(1));
    window.show();
    return QApplication::exec();
}
