#include "app/Sound.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

void playSoundFile(const QString &path) noexcept
{
    try {
        if (path.isEmpty() || !QFileInfo(path).isFile())
            return;
        for (const QString &player : {QStringLiteral("paplay"), QStringLiteral("aplay")}) {
            const QString program = QStandardPaths::findExecutable(player);
            if (!program.isEmpty() && QProcess::startDetached(program, {path}))
                return;
        }
    } catch (...) {
        // Sounds are optional.
    }
}
