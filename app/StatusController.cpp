#include "app/StatusController.h"

#include "app/BrowserController.h"
#include "app/MeterController.h"
#include "app/SessionSupervisor.h"
#include "queue/QueueModel.h"
#include "status/StatusTexts.h"
#include "status/TransferStats.h"

#include <algorithm>

namespace {

bool isTransferVerb(QueueVerb v)
{
    return v == QueueVerb::GetFile || v == QueueVerb::PutFile || v == QueueVerb::OpenFile || v == QueueVerb::EditFile;
}

std::int64_t recordedSize(const QueueItem &item)
{
    return item.entry ? item.entry->size : 0;
}

std::int64_t done(const tkftpclient &s)
{
    return std::max<std::int64_t>(s.ByteCount, 0) + std::max<std::int64_t>(s.ResumeAt, 0);
}

} // namespace

StatusController::StatusController(BrowserController &browsers, SessionSupervisor &sessions, QueueModel &queue,
                                   MeterController &meter, QObject *parent)
    : QObject(parent), m_browsers(browsers), m_sessions(sessions), m_queue(queue), m_meter(meter)
{
    connect(&sessions, &SessionSupervisor::progress, this,
            [this](tkftpclient *session, qint64, bool *) { progressEvent(session); });
}

template <typename Signal> void StatusController::set(QString &current, const QString &value, Signal signal)
{
    if (current == value)
        return;
    current = value;
    emit(this->*signal)(value);
}

QString StatusController::statusLine() const
{
    using A = StatusTexts::StatusInput::Activity;
    StatusTexts::StatusInput in;
    in.siteName = m_sessions.currentSite().name;
    in.hostName = m_sessions.currentSite().Host;
    tkftpclient &x = *m_sessions.xferSession();
    tkftpclient &m = *m_sessions.mainSession();
    auto describe = [&in](const tkftpclient &s, const QueueItem &item, bool countsBytes) {
        if (item.stopRequested) {
            in.activity = A::Stopping;
        } else if (countsBytes) {
            in.activity = A::Transferring;
            in.done = done(s);
            in.size = recordedSize(item);
        } else {
            in.activity = A::Working;
        }
    };
    // Transfers of the pool: their bytes and sizes together make the line's figures.
    int transferring = 0;
    std::int64_t doneTotal = 0, sizeTotal = 0;
    for (tkftpclient *s : m_sessions.transferSessions()) {
        const QueueItem *item = s->currentItem();
        if (!s->loggedIn || !item || item->stopRequested || !isTransferVerb(item->verb()) || !s->transferRunning())
            continue;
        ++transferring;
        doneTotal += done(*s);
        sizeTotal += recordedSize(*item);
    }
    if (transferring > 1) {
        in.activity = A::Transferring;
        in.done = doneTotal;
        in.size = sizeTotal;
    } else if (x.loggedIn && x.currentItem()) {
        describe(x, *x.currentItem(), true);
    } else if (m.connectedNow()) {
        if (m_browsers.rFolder().isEmpty())
            in.activity = A::Connecting;
        else if (m.readyForRequest())
            in.activity = A::Idle;
        else if (m.currentItem())
            describe(m, *m.currentItem(), m.transferRunning());
        else
            in.activity = A::Working;
    }
    // A pending reconnect: the seconds left (never below 0) and the attempts so far.
    if (m_sessions.retryPending() && in.activity == A::NotConnected) {
        const qint64 ms = QDateTime::currentDateTime().msecsTo(m_sessions.retryTime());
        in.reconnect = std::pair<std::int64_t, int>{std::max<qint64>(0, (ms + 999) / 1000), m_sessions.retryCount()};
    }
    return StatusTexts::statusLine(in);
}

int StatusController::runningPercent() const
{
    // Every running transfer counts: the percentage is of their bytes together.
    bool any = false;
    std::int64_t doneTotal = 0, sizeTotal = 0;
    for (tkftpclient *s : m_sessions.allSessions()) {
        const QueueItem *item = s->currentItem();
        if (item && !item->stopRequested && isTransferVerb(item->verb()) && s->transferRunning()) {
            any = true;
            doneTotal += done(*s);
            sizeTotal += recordedSize(*item);
        }
    }
    return any ? TransferStats::percentDone(doneTotal, sizeTotal) : -1;
}

void StatusController::timer_updateinterface()
{
    if (m_terminating)
        return;
    ++m_runs;
    set(m_title, StatusTexts::title(statusLine()), &StatusController::titleChanged);
    const tkftpclient &m = *m_sessions.mainSession();
    set(m_encryption, m.loggedIn && m.connectedNow() ? m.encryptionText() : QString(),
        &StatusController::encryptionChanged);
    const bool plain = m.loggedIn && m.connectedNow() && m.encryptionText().isEmpty();
    if (plain != m_plain) {
        m_plain = plain;
        emit plainConnectionChanged(plain);
    }

    const bool paused = m_queue.isPaused();
    set(m_pauseText, paused ? QStringLiteral("start queue") : QStringLiteral("stop queue"),
        &StatusController::pauseTextChanged);
    if (m_runs % 2 == 1) {
        const int image = paused && !m_queue.isEmpty() && m_pauseImage == 0 ? 1 : 0;
        if (image != m_pauseImage) {
            m_pauseImage = image;
            emit pauseImageChanged(image);
        }
    }

    const QueueModel::Counters &c = m_queue.counters();
    const auto whenEmpty = static_cast<StatusTexts::WhenEmpty>(static_cast<int>(m_queue.whenXferDone()));
    set(m_queueCaption, StatusTexts::queueCaption({c.downloads, c.downloadBytes, c.uploads, c.uploadBytes}, whenEmpty),
        &StatusController::queueCaptionChanged);

    const BrowserState &state = m_browsers.state();
    set(m_localCaption, StatusTexts::localCaption(state.localCounters), &StatusController::localCaptionChanged);
    StatusTexts::RemoteState remote = StatusTexts::RemoteState::Closed;
    if (m_sessions.mainSession()->connectedNow())
        remote = state.rFolder.isEmpty() ? StatusTexts::RemoteState::Connecting : StatusTexts::RemoteState::Shown;
    set(m_remoteCaption, StatusTexts::remoteCaption(remote, state.remoteCounters),
        &StatusController::remoteCaptionChanged);

    const int percent = runningPercent();
    if (percent != m_progress) {
        m_progress = percent;
        emit progressChanged(percent);
    }
}

std::int64_t StatusController::elapsedMs(tkftpclient &session)
{
    TransferClock &clock = m_clocks[&session];
    const QueueItem &item = *session.currentItem();
    const std::int64_t now = m_clock();
    if (clock.itemId != item.id() || clock.token != session.requestToken()) {
        // First sight of this transfer: the time it has already run comes from its start
        // time, once, and never counts below 0; from here on only the monotonic clock counts.
        const std::int64_t already =
            item.startTime.isValid() ? item.startTime.msecsTo(QDateTime::currentDateTimeUtc()) : 0;
        clock = {item.id(), session.requestToken(), now - std::clamp<std::int64_t>(already, 0, 24 * 3600 * 1000)};
    }
    return std::max<std::int64_t>(now - clock.startMs, 0);
}

void StatusController::statsFor(tkftpclient &session)
{
    QueueItem *item = session.currentItem();
    if (!item || item->stopRequested || !isTransferVerb(item->verb()) || !session.transferRunning())
        return;
    const TransferStats::Figures f =
        TransferStats::compute(session.ByteCount, session.ResumeAt, elapsedMs(session), recordedSize(*item));
    m_queue.setStatusText(item, f.statusText.left(255));
    m_queue.setTimeLeftText(item, f.timeLeftText.left(255));
}

void StatusController::timer_xferstats()
{
    for (tkftpclient *session : m_sessions.allSessions()) {
        statsFor(*session);
        // A progress event comes before each read, so the bytes of a session's last read
        // would wait for its next one (a server that sends in bursts pauses for seconds):
        // the meter takes them now.
        progressEvent(session);
    }
}

void StatusController::progressEvent(tkftpclient *session)
{
    if (!session || !session->currentItem())
        return;
    const std::int64_t moved = session->ByteCount - session->lastByteCount;
    switch (session->currentItem()->verb()) {
    case QueueVerb::GetFile:
    case QueueVerb::List:
        m_meter.model().addReceived(moved);
        break;
    case QueueVerb::PutFile:
        m_meter.model().addSent(moved);
        break;
    default:
        break;
    }
    session->lastByteCount = session->ByteCount;
}

void StatusController::setCaptionGradients(const CaptionFade::Gradient &active, const CaptionFade::Gradient &inactive)
{
    m_active = active;
    m_inactive = inactive;
}

void StatusController::timer_fancycolors(bool disableFancyColors)
{
    const bool local = m_browsers.localActive();
    const bool queueRuns = !m_queue.isPaused();
    const bool activeOf[3] = {local, !local, queueRuns};
    const int step = disableFancyColors ? CaptionFade::kJump : CaptionFade::kStep;
    for (int i = 0; i < 3; ++i) {
        const CaptionFade::Gradient &target = activeOf[i] ? m_active : m_inactive;
        if (m_gradients[i] == target)
            continue;
        m_gradients[i] = CaptionFade::stepGradient(m_gradients[i], target, step);
        emit captionColorsChanged(static_cast<Caption>(i), m_gradients[i].from, m_gradients[i].to);
    }
}
