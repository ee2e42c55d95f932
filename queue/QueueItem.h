#pragma once

#include "listing/FolderEntries.h"
#include "queue/QueueCommand.h"

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <cstdint>
#include <optional>

// What a transfer does when its target already exists. The numbers are those of the
// setting "xferAction" and of saved queue files.
enum class TransferAction : std::int32_t { Overwrite = 0, Resume = 1, Skip = 2, Ask = 3 };

// The action the setting "xferAction" names; anything unknown asks.
TransferAction transferActionOf(std::int64_t settingValue);

// One top-level row of the queue: a unit of work made from a command text.
//
// The command is split and judged once, when the item is added; the running work reads
// the fields from here. Whatever a running item needs beyond its record (its session, the
// request it waits for, a listing being received) belongs to the job that runs it in the
// controller, never to this record. Items are owned by the QueueModel and deleted when
// they leave the queue; QueueModel::itemRemoved is the last moment an item may be touched.
class QueueItem {
public:
    // A copy of the entry the item was made from, for the verbs that need one.
    std::optional<tFolderEntryObject> entry;
    QString actionText;
    QString statusText;
    QString timeLeftText;
    std::int32_t kind = 0;
    // Platform small icon (QueueIconSource); -1 for none.
    std::int32_t iconIndex = -1;
    bool stopRequested = false;
    TransferAction transferAction = TransferAction::Ask;
    // Set when a lost connection put a running transfer back: the partial file it wrote
    // (local for a download, remote for an upload) is its own, so it continues there
    // without asking.
    bool resumesOwnPartial = false;
    // When the transfer started, in UTC: only the time since is ever taken from it, and a
    // UTC time needs no look-up of the local time zone.
    QDateTime startTime;
    // Bytes moved plus the resume offset of the running transfer, for the progress bar.
    std::int64_t progressBytes = 0;
    // The folder transfer or deletion this item was made by (0: none, or the item started
    // one itself). Loops are caught within one such expansion, not across the connection.
    std::uint64_t expansionId = 0;

    // The command text exactly as given to addToQueue; saved queues store it.
    const QString &command() const { return m_command; }
    QueueVerb verb() const { return m_verb; }
    // Field i of the command (the verb is field 0), empty when the command has fewer.
    QString field(int i) const { return fieldView(i).toString(); }
    QStringView fieldView(int i) const;
    bool has(QueueFlag flag) const { return (m_flags & flagBit(flag)) != 0; }
    // Unique for the whole run, never reused: a handle that outlives the item.
    std::uint64_t id() const { return m_id; }
    // A job of the controller runs the item.
    bool running() const { return m_running; }
    // The entry's size for the counters and the Size column; -1 without an entry.
    std::int64_t entrySize() const { return entry ? entry->size : -1; }
    // The name the item's messages and type choice use: the entry's, else the last part of
    // field 1.
    QString displayName() const;
    bool isTransfer() const { return m_verb == QueueVerb::GetFile || m_verb == QueueVerb::PutFile; }

private:
    friend class QueueModel;
    static unsigned flagBit(QueueFlag flag) { return 1u << static_cast<unsigned>(flag); }

    // Sets the command and finds its fields; only the model does, when the item is added.
    void setCommand(const QString &command);

    QString m_command;
    QueueVerb m_verb = QueueVerb::Unknown;
    // Where the "*" between the fields stand in m_command: field i lies between separator
    // i - 1 and separator i. Kept inside the item (no allocation for up to 8 fields), as a
    // queue of 100,000 items would otherwise hold 400,000 more strings.
    QVarLengthArray<std::int32_t, 7> m_separators;
    unsigned m_flags = 0;
    std::uint64_t m_id = 0;
    bool m_running = false;
    // Absolute position in the queue; the row is this minus the model's front position.
    std::int64_t m_pos = 0;
};
