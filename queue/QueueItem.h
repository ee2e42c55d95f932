#pragma once

#include "browser/FolderEntries.h"
#include "queue/QueueCommand.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

class tkftpclient;

// What a running item waits for next. The pump and the completion handler set it when they
// start a request, so that a completion is judged against the step that asked for it.
enum class QueueStep {
    Waiting,         // queued, no session
    OverwritePrompt, // the overwrite prompt is showing for it
    TypeSwitch,      // TYPE A or TYPE I
    SizeQuery,       // SIZE of the remote file before an upload
    ChangeFolder,    // CWD
    PrintFolder,     // PWD
    Listing,         // LIST
    Transfer,        // RETR or STOR
    Command,         // a single command: DELE, RMD, MKD, RNFR/RNTO, SITE CHMOD
};

// One top-level row of the queue: a unit of work made from a command text.
//
// The record's fields are written by the pump and the completion handler; after writing
// a displayed field they call QueueModel::itemChanged (or use the model's setters) so that
// the list repaints the row. Items are owned by the QueueModel and deleted when they leave
// the queue; QueueModel::itemRemoved is the last moment an item may be touched.
class QueueItem {
public:
    // The command text exactly as given to addToQueue.
    QString command;
    // A copy of the entry the item was made from, for the verbs that need one.
    std::optional<tFolderEntryObject> entry;
    QString actionText;
    QString statusText;
    QString timeLeftText;
    std::int32_t kind = 0;
    // Platform small icon (QueueIconSource); -1 for none.
    std::int32_t iconIndex = -1;
    bool stopRequested = false;
    // Existing target: 0 overwrite, 1 resume, 2 skip, 3 ask.
    std::int32_t transferAction = 3;
    QDateTime startTime;
    bool remoteSizeKnown = false;
    std::int64_t remoteSize = 0;
    // The session executing the item; none while it waits.
    tkftpclient *session = nullptr;
    // The current folder the server reported while the item ran, normalised.
    QString folder;

    QueueStep step = QueueStep::Waiting;
    // Stored by whoever starts a request for the item (QueueModel::issueRequestToken); a
    // completion carrying another token does not belong to the item any more.
    std::uint64_t requestToken = 0;
    // Bytes moved plus the resume offset of the running transfer, for the progress bar.
    std::int64_t progressBytes = 0;

    QueueVerb verb() const { return m_verb; }
    // Unique for the whole run, never reused: a handle that outlives the item.
    std::uint64_t id() const { return m_id; }
    // The entry's size for the counters and the Size column; -1 without an entry.
    std::int64_t entrySize() const { return entry ? entry->size : -1; }

private:
    friend class QueueModel;
    QueueVerb m_verb = QueueVerb::Unknown;
    std::uint64_t m_id = 0;
    // Absolute position in the queue; the row is this minus the model's front position.
    std::int64_t m_pos = 0;
};
