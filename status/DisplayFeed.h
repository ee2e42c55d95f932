#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The display fields of one FTP session that the display feed fills.
struct SessionDisplay {
    // Every display line received while the session was not logged in, the password of a
    // PASS command masked.
    QStringList loginMessages;
    // The session's last kRecentLines log lines, marker included, masked as the log masks
    // them; the error window shows them.
    QStringList recentLines;
};

enum class TrafficDirection { Received, Sent };

// Turns the display lines of the two FTP sessions into log lines. A display line
// normally begins with "> " (command), "< " (reply) or "! " (engine notice); the blank
// after the marker is dropped. Lines of the transfer session are marked
// "(SmartTransfer) " in the log.
//
// User-interface thread only.
class DisplayFeed {
public:
    static constexpr int kRecentLines = 30;
    enum class Session { Main, Transfer };

    using LogWriter = std::function<void(const QString &line)>;
    // Receives the length of each command (sent) or reply (received) line for the
    // bandwidth meter.
    using TrafficCounter = std::function<void(TrafficDirection direction, qint64 length)>;

    void setLogWriter(LogWriter writer) { m_writeLog = std::move(writer); }
    void setTrafficCounter(TrafficCounter counter) { m_countTraffic = std::move(counter); }

    void display(Session session, SessionDisplay &fields, bool loggedIn, const QString &line);

    // The marker followed by the text from the third character on.
    static QString logLine(const QString &displayLine);

private:
    LogWriter m_writeLog;
    TrafficCounter m_countTraffic;
};
