#include "queue/QueueFile.h"

#include "base/Files.h"
#include "base/TextCodec.h"
#include "queue/QueueCommand.h"
#include "queue/QueueModel.h"

#include <QFileInfo>

namespace {

constexpr char kLineEnd[] = "\r\n";

QByteArray entryLine(const tFolderEntryObject &entry)
{
    return QByteArray::number(entry.time) + '*' + QByteArray::number(static_cast<qlonglong>(entry.size)) + '*' +
           QByteArray::number(entry.attr) + '*' + entry.name.toUtf8();
}

// Parses "time*size*attributes*name"; false when a number is not one or a field is missing.
bool parseEntryLine(const QString &line, tFolderEntryObject &entry)
{
    const QStringList fields = splitCommand(line);
    if (fields.size() < 4)
        return false;
    bool timeOk = false;
    bool sizeOk = false;
    bool attrOk = false;
    entry.time = fields[0].toInt(&timeOk);
    entry.size = fields[1].toLongLong(&sizeOk);
    entry.attr = fields[2].toInt(&attrOk);
    entry.name = fields[3];
    return timeOk && sizeOk && attrOk;
}

bool isFolderVerb(const QString &command)
{
    const QueueVerb verb = verbOf(splitCommand(command).value(0));
    return verb == QueueVerb::GetFolder || verb == QueueVerb::PutFolder;
}

} // namespace

QByteArray encodeQueueFile(const QueueModel &model)
{
    QByteArray out;
    for (int row = 0; row < model.itemCount(); ++row) {
        const QueueItem *item = model.itemAt(row);
        out += item->command().toUtf8();
        out += kLineEnd;
        if (item->entry)
            out += entryLine(*item->entry);
        out += kLineEnd;
    }
    return out;
}

QueueFileContents decodeQueueFile(const QByteArray &bytes)
{
    QueueFileContents result;
    QList<QByteArray> lines = bytes.split('\n');
    // The text ends with a line end, so the last piece is empty (or a cut line).
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2) {
        QueueFileRecord record;
        record.command = TextCodec::decodeStored(lines[i]);
        const QString second = TextCodec::decodeStored(lines[i + 1]);
        if (!second.isEmpty()) {
            tFolderEntryObject entry;
            if (!parseEntryLine(second, entry)) {
                result.failedPair = record.command + QStringLiteral(" - ") + second;
                result.error = QStringLiteral("damaged entry line");
                return result;
            }
            entry.isFolder = isFolderVerb(record.command);
            record.entry = entry;
        }
        result.records.push_back(std::move(record));
    }
    return result;
}

bool isValidQueueName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(u'\0'));
}

bool saveQueueFile(const QueueModel &model, const QString &path, QString *error)
{
    return saveFileAtomically(path, encodeQueueFile(model), error);
}

QueueFileContents loadQueueFile(const QString &path)
{
    QueueFileContents result;
    if (!QFileInfo(path).isFile()) {
        result.error = QStringLiteral("no such queue file");
        return result;
    }
    bool ok = false;
    const QByteArray bytes = readWholeFile(path, &ok);
    if (!ok) {
        result.error = QStringLiteral("the queue file could not be read");
        return result;
    }
    return decodeQueueFile(bytes);
}
