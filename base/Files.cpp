#include "base/Files.h"

#include "base/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QByteArray readWholeFile(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    if (!*ok)
        return {};
    QByteArray bytes = file.readAll();
    *ok = file.error() == QFileDevice::NoError;
    return *ok ? bytes : QByteArray();
}

bool saveFileAtomically(const QString &path, const QByteArray &bytes, QString *error, FileAccess access)
{
    QSaveFile file(path);
    // After open() the permissions apply to the temporary file, which the rename keeps.
    const bool saved =
        file.open(QIODevice::WriteOnly) &&
        (access == FileAccess::Default || file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) &&
        file.write(bytes) == bytes.size() && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}

void saveFileAtomicallyOrThrow(const QString &path, const QByteArray &bytes, const QString &what, FileAccess access)
{
    QString reason;
    if (!saveFileAtomically(path, bytes, &reason, access))
        throw FileError(QStringLiteral("%1 \"%2\": %3").arg(what, path, reason));
}

QString keepDamagedCopy(const QString &path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString copy = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-damaged") +
                         (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    bool ok = false;
    const QByteArray bytes = readWholeFile(path, &ok);
    if (!ok || !saveFileAtomically(copy, bytes, nullptr, FileAccess::OwnerOnly))
        return QString();
    return copy;
}
