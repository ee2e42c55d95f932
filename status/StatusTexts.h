#pragma once

#include "listing/FolderEntries.h"

#include <QString>

#include <cstdint>
#include <optional>

// The texts of the title, the pane captions and the queue caption. Pure: the interface
// update gathers the state and these make the words.
namespace StatusTexts {

inline constexpr char kProductTitle[] = "Kestrin FTP Pro 2.8";

// What the status line depends on, gathered from the sessions and the queue.
struct StatusInput {
    enum class Activity {
        NotConnected,
        Connecting,   // main control connection open, no remote folder yet
        Idle,         // main session ready
        Working,      // a request without a byte count runs
        Stopping,     // the running item is being stopped
        Transferring, // a transfer runs: done and size give the percentage
    };
    Activity activity = Activity::NotConnected;
    std::int64_t done = 0;
    std::int64_t size = 0;
    QString siteName;
    QString hostName;
    // A scheduled reconnect: seconds left and attempts so far.
    std::optional<std::pair<std::int64_t, int>> reconnect;
};

QString statusLine(const StatusInput &in);
QString title(const QString &statusLine);

struct QueueTotals {
    int downloads = 0;
    std::int64_t downloadBytes = 0;
    int uploads = 0;
    std::int64_t uploadBytes = 0;
};
enum class WhenEmpty { DoNothing, Disconnect, CloseApplication };
QString queueCaption(const QueueTotals &totals, WhenEmpty whenEmpty);

QString localCaption(const tListCounters &counters);
enum class RemoteState { Closed, Connecting, Shown };
QString remoteCaption(RemoteState state, const tListCounters &counters);

} // namespace StatusTexts
