#include "app/Sound.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr int kStopWaitMs = 1000;

QStringList &players()
{
    static QStringList programs;
    return programs;
}

QList<QPointer<QProcess>> &playing()
{
    static QList<QPointer<QProcess>> processes;
    return processes;
}

void forgetEnded()
{
    playing().removeIf([](const QPointer<QProcess> &p) { return !p || p->state() == QProcess::NotRunning; });
}

QString findPlayer(const QString &program)
{
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isExecutable() ? program : QString();
    return QStandardPaths::findExecutable(program);
}

} // namespace

void setSoundPlayers(const QStringList &programs)
{
    players() = programs;
}

void playSoundFile(const QString &path) noexcept
{
    try {
        if (path.isEmpty() || !QFileInfo(path).isFile())
            return;
        forgetEnded();
        const QStringList programs =
            players().isEmpty() ? QStringList{QStringLiteral("paplay"), QStringLiteral("aplay")} : players();
        for (const QString &player : programs) {
            const QString program = findPlayer(player);
            if (program.isEmpty())
                continue;
            // Owned by the application object: it goes when the program ends, never outlives it.
            auto *process = new QProcess(QCoreApplication::instance());
            process->setProgram(program);
            process->setArguments({path});
            process->setStandardOutputFile(QProcess::nullDevice());
            process->setStandardErrorFile(QProcess::nullDevice());
            QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
            process->start();
            if (process->waitForStarted(kStopWaitMs)) {
                playing().append(process);
                return;
            }
            delete process;
        }
    } catch (...) {
        // Sounds are optional.
    }
}

void stopSounds() noexcept
{
    try {
        for (const QPointer<QProcess> &process : std::as_const(playing())) {
            if (!process || process->state() == QProcess::NotRunning)
                continue;
            process->kill();
            process->waitForFinished(kStopWaitMs);
        }
        forgetEnded();
    } catch (...) {
        // Nothing to stop then.
    }
}

int playingSounds()
{
    forgetEnded();
    return static_cast<int>(playing().size());
}
