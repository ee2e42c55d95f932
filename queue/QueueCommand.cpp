#include "queue/QueueCommand.h"

#include "browser/BrowserState.h"

#include <algorithm>
#include <array>

namespace {

using Icon = QueueIconChoice;

// clang-format off
const std::array<QueueVerbInfo, 16> kVerbs = {{
    {QueueVerb::Unknown,      "",             0,  0, false, Icon::None},
    {QueueVerb::GetFile,      "getfile",      1,  2, true,  Icon::EntryName},
    {QueueVerb::PutFile,      "putfile",      9,  2, true,  Icon::EntryName},
    {QueueVerb::GetFolder,    "getfolder",    32, 2, true,  Icon::Folder},
    {QueueVerb::PutFolder,    "putfolder",    31, 2, true,  Icon::Folder},
    {QueueVerb::List,         "list",         30, 1, false, Icon::Folder},
    {QueueVerb::MakeFolder,   "makefolder",   8,  1, false, Icon::Folder},
    {QueueVerb::DeleteFile,   "deletefile",   29, 1, true,  Icon::FirstField},
    {QueueVerb::DeleteFolder, "deletefolder", 28, 1, false, Icon::Folder},
    {QueueVerb::RenameFile,   "renamefile",   34, 2, true,  Icon::EntryName},
    {QueueVerb::RenameFolder, "renamefolder", 36, 2, true,  Icon::EntryName},
    {QueueVerb::ChmodFile,    "chmodfile",    17, 2, false, Icon::FirstField},
    {QueueVerb::ChmodFolder,  "chmodfolder",  7,  2, false, Icon::Folder},
    {QueueVerb::OpenFile,     "openfile",     16, 2, true,  Icon::EntryName},
    {QueueVerb::EditFile,     "editfile",     37, 2, true,  Icon::EntryName},
    {QueueVerb::StopQueue,    "stopqueue",    5,  0, false, Icon::StopMark},
}};
// clang-format on

const char *const kFlags[] = {"@refresh", "@ignoreerror", "@folderempty"};

bool isFlag(const QString &field)
{
    for (const char *flag : kFlags) {
        if (field.compare(QLatin1String(flag), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// A field as a message shows it: line breaks and NUL written out, so that the message
// stays one readable line.
QString visible(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == QChar(0))
            out += QLatin1String("\\0");
        else
            out += c;
    }
    return out;
}

QString forbiddenMessage(const QString &name)
{
    return QStringLiteral("Cannot queue \"%1\": a name in a queue command cannot contain \"*\", a line break "
                          "or a null character.")
        .arg(visible(name));
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

} // namespace

const QueueVerbInfo &verbInfo(QueueVerb verb)
{
    for (const QueueVerbInfo &info : kVerbs) {
        if (info.verb == verb)
            return info;
    }
    return kVerbs[0];
}

QueueVerb verbOf(QStringView verbField)
{
    for (std::size_t i = 1; i < kVerbs.size(); ++i) {
        if (verbField.compare(QLatin1String(kVerbs[i].name), Qt::CaseInsensitive) == 0)
            return kVerbs[i].verb;
    }
    return QueueVerb::Unknown;
}

QStringList splitCommand(QStringView command)
{
    QStringList fields;
    qsizetype start = 0;
    for (;;) {
        const qsizetype star = command.indexOf(u'*', start);
        if (star < 0) {
            fields.append(command.mid(start).toString());
            return fields;
        }
        fields.append(command.mid(start, star - start).toString());
        start = star + 1;
    }
}

QString joinCommand(const QStringList &fields)
{
    return fields.join(u'*');
}

QString flagText(QueueFlag flag)
{
    return QString::fromLatin1(kFlags[static_cast<int>(flag)]);
}

bool hasFlag(const QStringList &fields, QueueFlag flag)
{
    const QLatin1String text(kFlags[static_cast<int>(flag)]);
    for (const QString &field : fields) {
        if (field.compare(text, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString folderPart(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1).toString();
}

bool isForbiddenInField(QChar c)
{
    return c == u'*' || c == u'\r' || c == u'\n' || c == QChar(0);
}

bool fieldIsQueueable(QStringView field)
{
    for (QChar c : field) {
        if (isForbiddenInField(c))
            return false;
    }
    return true;
}

QString ParsedQueueCommand::normalizedFolder() const
{
    return normalizeRemotePath(field(1));
}

ParsedQueueCommand parseQueueCommand(const QString &command, const tFolderEntryObject *entry)
{
    ParsedQueueCommand parsed;
    parsed.fields = splitCommand(command);
    parsed.verb = verbOf(parsed.fields.front());
    for (const QString &field : parsed.fields) {
        if (!fieldIsQueueable(field)) {
            parsed.error = forbiddenMessage(field);
            return parsed;
        }
    }
    if (entry && !fieldIsQueueable(entry->name)) {
        parsed.error = forbiddenMessage(entry->name);
        return parsed;
    }
    if (parsed.verb == QueueVerb::Unknown) {
        parsed.unknownMessage = unknownQueueEntryMessage(command);
        return parsed;
    }
    const QueueVerbInfo &info = parsed.info();
    const int count = static_cast<int>(parsed.fields.size()) - 1;
    if (count < info.fieldCount) {
        parsed.error = QStringLiteral("Cannot queue \"%1\": the command is missing fields.").arg(visible(command));
        return parsed;
    }
    // Fields behind those the verb reads may only be flags; anything else is the rest of
    // a name that held "*" and would be read as the wrong path.
    for (int i = info.fieldCount + 1; i <= count; ++i) {
        if (!isFlag(parsed.fields[i])) {
            parsed.error = forbiddenMessage(command);
            return parsed;
        }
    }
    if (info.needsEntry && !entry) {
        const QString name = parsed.field(1).isEmpty() ? command : parsed.field(1);
        parsed.error = QStringLiteral("Cannot queue \"%1\": the command needs the entry of its file and has none.")
                           .arg(visible(name));
    }
    return parsed;
}

QString buildCommand(const QString &verb, const QStringList &fields, QString *error)
{
    for (const QString &field : fields) {
        if (!fieldIsQueueable(field)) {
            if (error)
                *error = forbiddenMessage(field);
            return {};
        }
    }
    if (error)
        error->clear();
    QString command = verb;
    for (const QString &field : fields)
        command += u'*' + field;
    return command;
}

QString queueActionText(const ParsedQueueCommand &c, const tFolderEntryObject *entry)
{
    const QString name = entry ? entry->name : QString();
    const QString f1 = c.field(1);
    const QString f2 = c.field(2);
    switch (c.verb) {
    case QueueVerb::GetFile:
        return QStringLiteral("Receive File: ") + quoted(name);
    case QueueVerb::PutFile:
        return QStringLiteral("Send File: ") + quoted(name);
    case QueueVerb::GetFolder:
        return QStringLiteral("Download folder ") + name + QStringLiteral("   ->   ") + f2;
    case QueueVerb::PutFolder:
        return QStringLiteral("Upload folder ") + name + QStringLiteral("   ->   ") + f2;
    case QueueVerb::List:
        return QStringLiteral("List folder ") + c.normalizedFolder();
    case QueueVerb::MakeFolder:
        return QStringLiteral("Make folder ") + f1;
    case QueueVerb::DeleteFile:
        return QStringLiteral("Delete file ") + f1;
    case QueueVerb::DeleteFolder:
        return QStringLiteral("Delete folder ") + f1;
    case QueueVerb::RenameFile:
        return QStringLiteral("Rename file ") + f1 + QStringLiteral("   ->   ") + f2;
    case QueueVerb::RenameFolder:
        return QStringLiteral("Rename folder ") + f1 + QStringLiteral("   ->   ") + f2;
    case QueueVerb::ChmodFile:
        return QStringLiteral("Change permission for file ") + f1 + QStringLiteral(" to ") + f2;
    case QueueVerb::ChmodFolder:
        return QStringLiteral("Change permission for folder ") + f1 + QStringLiteral(" to ") + f2;
    case QueueVerb::OpenFile:
        return QStringLiteral("Open file ") + f1;
    case QueueVerb::EditFile:
        return QStringLiteral("Edit file ") + f1;
    case QueueVerb::StopQueue:
        return QStringLiteral("Stop transfer queue here (drag to move stop point)");
    case QueueVerb::Unknown:
        break;
    }
    return {};
}

int queueDetailLineCount(QueueVerb verb)
{
    return verb == QueueVerb::GetFile || verb == QueueVerb::PutFile ? 2 : 0;
}

QString queueDetailLine(const ParsedQueueCommand &c, int line)
{
    // getfile: remote, local; putfile: local, remote. The first line names the target's
    // folder, the second the source's.
    if (c.verb == QueueVerb::GetFile) {
        if (line == 0)
            return QStringLiteral("Receive To: ") + quoted(folderPart(c.field(2)));
        if (line == 1)
            return QStringLiteral("Receive From: ") + quoted(folderPart(c.field(1)));
    } else if (c.verb == QueueVerb::PutFile) {
        if (line == 0)
            return QStringLiteral("Send To: ") + quoted(folderPart(c.field(2)));
        if (line == 1)
            return QStringLiteral("Send From: ") + quoted(folderPart(c.field(1)));
    }
    return {};
}

QString unknownQueueEntryMessage(const QString &command)
{
    return QStringLiteral("Unknown queue entry: ") + command;
}

QString parentFolderOf(QStringView path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1).toString();
}

bool isSafeEntryName(QStringView name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('*') || c.unicode() < 0x20 ||
               c.unicode() == 0x7F;
    });
}
