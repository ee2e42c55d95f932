#pragma once

#include "ftp/FtpCli.h"
#include "status/DisplayFeed.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

class QueueItem;
class QueueJob;

// One of the program's FTP sessions: the engine plus what the program keeps per session.
// A session is busy while a queue job runs on it; the queue controller alone binds and
// releases jobs.
//
// User-interface thread only.
class tkftpclient : public TFtpClient, public SessionDisplay {
    Q_OBJECT
public:
    explicit tkftpclient(const QString &name, QObject *parent = nullptr);

    // The engine's ByteCount at the previous progress event of the running item.
    std::int64_t lastByteCount = 0;
    // Set by a successful connect request, cleared when the control connection closes.
    bool loggedIn = false;
    // When this session, if idle, next sends a keep-alive command (UTC, set after every
    // request: a local time would look up the time zone each time).
    QDateTime keepAliveDue;
    // Since when this session, connected, has had no job (for closing idle pool extras).
    QDateTime idleSince;
    // The raw text of the last complete listing (for `ls --raw` and the debug menu).
    QString lastListing;
    // loginMessages and recentLines come from SessionDisplay: the display feed fills them.

    // The job running on this session, and its item; none while idle.
    QueueJob *job() const { return m_job; }
    QueueItem *currentItem() const;
    // The token of the request the running job waits for; 0 when idle.
    std::uint64_t requestToken() const;
    bool busy() const { return m_job != nullptr; }
    // Connected, or on its way there (looking up the host name).
    bool connectedOrResolving() const { return IsConnected() || State() == TFtpEngineState::stDnsLookup; }
    bool idleState() const
    {
        return State() == TFtpEngineState::stReady || State() == TFtpEngineState::stInternalReady;
    }

private:
    friend class QueueController;
    friend class QueueTestPeer;
    QueueJob *m_job = nullptr;
};
