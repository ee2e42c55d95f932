#pragma once

#include "ftp/FtpCli.h"
#include "status/DisplayFeed.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

class QueueItem;

// One of the program's two FTP sessions: the engine plus what the program keeps per
// session. A session is busy while it executes a queue item (currentItem set).
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
    // When this session, if idle, next sends a keep-alive command.
    QDateTime keepAliveDue;
    // The raw data of the listing being received, and of the last complete one.
    QString listingBuffer;
    QString lastListing;
    // The listing being received is a machine listing (MLSD), not LIST output.
    bool listingIsMlsd = false;
    // loginMessages and recentLines come from SessionDisplay: the display feed fills them.
    // The queue item this session executes, or none.
    QueueItem *currentItem = nullptr;
    // The token of the last request started for currentItem; a completion is the item's
    // only while the item still carries the same token.
    std::uint64_t requestToken = 0;

    bool busy() const { return currentItem != nullptr; }
    // Connected, or on its way there (looking up the host name).
    bool connectedOrResolving() const { return IsConnected() || State() == TFtpEngineState::stDnsLookup; }
    bool idleState() const
    {
        return State() == TFtpEngineState::stReady || State() == TFtpEngineState::stInternalReady;
    }
};
