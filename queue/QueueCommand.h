#pragma once

#include "listing/FolderEntries.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>

// The queue command language: a verb and its fields joined by "*", such as
// "getFile*/pub/a.txt*/home/me/a.txt". Everything that touches the server is queued as such
// a text; the item record, its display and its icon follow from it. Pure functions: no
// queue, no settings, no files.

enum class QueueVerb {
    Unknown,
    GetFile,
    PutFile,
    GetFolder,
    PutFolder,
    List,
    MakeFolder,
    DeleteFile,
    DeleteFolder,
    RenameFile,
    RenameFolder,
    ChmodFile,
    ChmodFolder,
    OpenFile,
    EditFile,
    StopQueue,
};

enum class QueueFlag { Refresh, IgnoreError, FolderEmpty };

// Which small platform icon an item shows.
enum class QueueIconChoice {
    None,       // no icon (unknown verb)
    StopMark,   // iconIndex -1
    Folder,     // the closed-folder icon
    EntryName,  // the file-type icon of the entry's name
    FirstField, // the file-type icon of the path in field 1
};

// Kind code of the detail lines: their state image.
inline constexpr std::int32_t kDetailLineKind = 26;

struct QueueVerbInfo {
    QueueVerb verb;
    const char *name; // lower case, as compared
    std::int32_t kind;
    int fieldCount; // fields after the verb that the verb reads, flags not counted
    bool needsEntry;
    QueueIconChoice icon;
};

// The verb's row of the table; the Unknown row (kind 0) for anything else.
const QueueVerbInfo &verbInfo(QueueVerb verb);
// Field 0 compared without regard to letter case.
QueueVerb verbOf(QStringView verbField);

// Cut at every "*", keeping empty fields; the part after the last "*" is always a field,
// so "deletefile*" gives "deletefile" and "".
QStringList splitCommand(QStringView command);
// Joins fields into a command text (no checking; see buildCommand).
QString joinCommand(const QStringList &fields);

// Whether any field equals the flag's text ("@refresh", "@ignoreerror", "@folderempty"),
// letter case ignored.
bool hasFlag(const QStringList &fields, QueueFlag flag);
QString flagText(QueueFlag flag);

// The path up to and including its last "/"; empty when it holds none. Local and remote
// paths both use "/" here, and a "\" is an ordinary character of a Linux name.
QString folderPart(QStringView path);

// The folder a remote path is in (a file) or under (a folder, with or without its final
// "/"): the path cut back to the "/" before its last part; "/" for a top-level name, empty
// for a path without any "/".
QString parentFolderOf(QStringView path);

// A listed name that may become one path component here: not empty, not "." or "..", no
// separator of either kind, no "*" (the queue's field separator) and no control character.
bool isSafeEntryName(QStringView name);

// A field cannot hold "*" (the separator has no escape), CR or LF (queue files keep one
// command per line) or NUL.
bool isForbiddenInField(QChar c);
bool fieldIsQueueable(QStringView field);

// A command split and judged. `error` is empty for a command that may be queued; otherwise
// it names the file and says why the command is refused. An unknown verb is not refused:
// it is queued with `unknownMessage` shown to the user.
struct ParsedQueueCommand {
    QueueVerb verb = QueueVerb::Unknown;
    QStringList fields;
    QString error;
    QString unknownMessage;

    const QueueVerbInfo &info() const { return verbInfo(verb); }
    bool ok() const { return error.isEmpty(); }
    // Field i, empty when the command has fewer fields.
    QString field(int i) const { return i >= 0 && i < fields.size() ? fields[i] : QString(); }
    bool has(QueueFlag flag) const { return hasFlag(fields, flag); }
    // "list": the folder of field 1 as normalizeRemotePath gives it.
    QString normalizedFolder() const;
};

// Splits and checks a command for queueing with `entry` (null for none). Refused: a
// field holding CR, LF or NUL; more fields than the verb reads that are not flags (a path
// that held "*" and fell apart); fewer fields than the verb reads; a verb that needs an
// entry without one, or an entry whose name holds a forbidden character.
ParsedQueueCommand parseQueueCommand(const QString &command, const tFolderEntryObject *entry);

// Builds a command from its verb text and fields, refusing (empty result, `error` set and
// naming the file) when a field holds a character that a command cannot carry. Creators of
// work build their commands here so that a path with "*" never reaches the queue.
QString buildCommand(const QString &verb, const QStringList &fields, QString *error);

// What an item shows for its command: the text of column "Action" and the detail lines in
// display order (two for "getfile" and "putfile", none otherwise).
QString queueActionText(const ParsedQueueCommand &command, const tFolderEntryObject *entry);
int queueDetailLineCount(QueueVerb verb);
QString queueDetailLine(const ParsedQueueCommand &command, int line);

// The message shown for a verb the queue does not know.
QString unknownQueueEntryMessage(const QString &command);
