#pragma once

#include "app/MonotonicClock.h"
#include "status/CaptionFade.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <unordered_map>

class BrowserController;
class MeterController;
class QueueModel;
class SessionSupervisor;
class tkftpclient;

// Keeps the window's status texts up to date from the master tick: the title, the three
// caption texts, the queue's start/stop button and the progress bar (interface update,
// every 200 ms), the "Status" and "Time left" cells of running transfers (transfer
// statistics, every 400 ms), and the progress bookkeeping of each progress event, which
// also feeds the bandwidth meter (the transfer statistics hand it the bytes that arrived
// since the last event too). Each text is announced only when it changes, so an idle
// window repaints nothing.
//
// Rates and times left use the engine's 64-bit byte counts and a monotonic clock.
//
// User-interface thread only.
class StatusController : public QObject {
    Q_OBJECT
public:
    StatusController(BrowserController &browsers, SessionSupervisor &sessions, QueueModel &queue,
                     MeterController &meter, QObject *parent = nullptr);

    void setClock(MonotonicClock clock) { m_clock = std::move(clock); }
    // While the program shuts down the interface update does nothing.
    void setTerminating(bool on) { m_terminating = on; }

    enum class Caption { Local = 0, Remote = 1, Queue = 2 };
    // The desktop's caption gradients the captions fade between.
    void setCaptionGradients(const CaptionFade::Gradient &active, const CaptionFade::Gradient &inactive);
    // Every tick: the active side's caption (and the queue's while it runs) fades toward the
    // active gradient, the others toward the inactive one.
    void timer_fancycolors(bool disableFancyColors);
    CaptionFade::Gradient captionGradient(Caption which) const { return m_gradients[static_cast<int>(which)]; }

    void timer_updateinterface();
    void timer_xferstats();
    // A progress event of a session's running transfer or listing.
    void progressEvent(tkftpclient *session);

    const QString &title() const { return m_title; }
    const QString &localCaption() const { return m_localCaption; }
    const QString &remoteCaption() const { return m_remoteCaption; }
    const QString &queueCaption() const { return m_queueCaption; }
    const QString &pauseText() const { return m_pauseText; }
    int pauseImage() const { return m_pauseImage; }
    int progressPercent() const { return m_progress; }

signals:
    void titleChanged(const QString &title);
    void localCaptionChanged(const QString &text);
    void remoteCaptionChanged(const QString &text);
    void queueCaptionChanged(const QString &text);
    // The start/stop button: "start queue" / "stop queue", and its picture (0 or 1; a
    // stopped queue with items blinks).
    void pauseTextChanged(const QString &text);
    void pauseImageChanged(int index);
    // The running transfers' percentage together, -1 while none runs.
    void progressChanged(int percent);
    // The main session's encryption: TLS version, cipher and whether data connections are
    // encrypted; empty while the connection is not encrypted (or there is none).
    void encryptionChanged(const QString &description);
    // The main session is logged in over plain FTP (nothing encrypted), or no longer is.
    void plainConnectionChanged(bool plain);
    void captionColorsChanged(StatusController::Caption which, const QColor &from, const QColor &to);

private:
    QString statusLine() const;
    bool m_plain = false;
    void statsFor(tkftpclient &session);
    std::int64_t elapsedMs(tkftpclient &session);
    int runningPercent() const;
    template <typename Signal> void set(QString &current, const QString &value, Signal signal);

    // When the transfer a session runs began, on the monotonic clock.
    struct TransferClock {
        std::uint64_t itemId = 0;
        std::uint64_t token = 0;
        std::int64_t startMs = 0;
    };

    BrowserController &m_browsers;
    SessionSupervisor &m_sessions;
    QueueModel &m_queue;
    MeterController &m_meter;
    MonotonicClock m_clock = steadyClock();
    bool m_terminating = false;
    std::uint64_t m_runs = 0;
    // One clock per session (the pool's sessions run transfers side by side).
    std::unordered_map<const tkftpclient *, TransferClock> m_clocks;
    QString m_title, m_localCaption, m_remoteCaption, m_queueCaption, m_pauseText, m_encryption;
    int m_pauseImage = 0;
    int m_progress = -1;
    CaptionFade::Gradient m_active{QColor(10, 36, 106), QColor(166, 202, 240)};
    CaptionFade::Gradient m_inactive{QColor(128, 128, 128), QColor(192, 192, 192)};
    CaptionFade::Gradient m_gradients[3] = {m_inactive, m_inactive, m_inactive};
};
