#include "app/SessionLoss.h"

#include "app/BrowserController.h"
#include "app/ConnectController.h"
#include "app/DataFolders.h"
#include "app/Diagnostics.h"
#include "app/MasterTick.h"
#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "app/Sound.h"
#include "base/Guard.h"
#include "queue/QueueFile.h"
#include "settings/SettingsCatalogue.h"

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QString kInfo = QString(QChar(0xA7));
const QString kError = QString(QChar(0xA4));

} // namespace

SessionLoss::SessionLoss(const Parts &parts, LogWriter writeLog, QObject *parent)
    : QObject(parent), m_p(parts), m_writeLog(std::move(writeLog))
{
    SessionSupervisor &sessions = m_p.sessions;
    connect(&sessions, &SessionSupervisor::sessionClosed, this, &SessionLoss::ftpCtrlSessionClosed);
    connect(&m_p.queue, &QueueController::loginFailed, this, &SessionLoss::loginFailed);
    connect(&m_p.queue, &QueueController::mainSessionLoggedIn, this, [this] {
        m_connectedAt = QDateTime::currentDateTime();
        m_reconnecting = false;
    });
    // A completed transfer or an empty queue ends a run of failed reconnects.
    connect(&sessions, &SessionSupervisor::requestDone, this, [this](tkftpclient *, RemoteRequest rq, int error) {
        if (error == 0 && isTransferRequest(rq))
            m_p.sessions.resetRetryCount();
    });
    connect(&m_p.queue.model(), &QueueModel::queueEmptied, this, [this] {
        if (!m_closing)
            m_p.sessions.resetRetryCount();
    });
    m_p.tick.timer_retryConnect.setHandler([this](QObject *) { timer_retryConnect(); });
    m_p.tick.timer_antitimeout.setHandler([this](QObject *) { timer_antitimeout(); });
}

bool SessionLoss::retryPending() const
{
    return m_p.sessions.retryPending();
}

void SessionLoss::resetRetries()
{
    m_p.sessions.cancelRetry(true);
}

void SessionLoss::ftpCtrlSessionClosed(tkftpclient *session, int error)
{
    if (session == m_p.sessions.mainSession()) {
        mainClosed(*session, false, error);
    } else if (session == m_p.sessions.xferSession()) {
        transferClosed(*session);
    } else if (m_p.sessions.isExtra(session)) {
        extraClosed(*session, error);
    } else {
        reportBug(QStringLiteral("llkjqjlal"), QStringLiteral("unasd"));
    }
}

void SessionLoss::loginFailed(tkftpclient *session, int error)
{
    SessionSupervisor &s = m_p.sessions;
    if (session == s.xferSession()) {
        // A transfer session that cannot connect or log in is handled like its close: one
        // message, RavuzAro off, and no new attempt every 500 ms.
        transferClosed(*session);
        return;
    }
    // The close of the connection has already been handled (or the user disconnected).
    if (session != s.mainSession() || !s.connectionWanted())
        return;
    const bool reconnect = std::exchange(m_reconnecting, false);
    if (reconnect && error >= 10000 && !session->connectedNow()) {
        // A reconnect that could not reach the server counts as one more lost connection.
        mainClosed(*session, true, error);
        return;
    }
    // A refused login is not retried: the same data would be refused again.
    resetRetries();
    m_p.connection.loginFailed(session, error);
}

void SessionLoss::mainClosed(tkftpclient &main, bool connectFailed, int error)
{
    SessionSupervisor &s = m_p.sessions;
    bool lost = false;
    const bool wasLoggedIn = main.loggedIn;
    const bool stepsOk = guarded("jaja", [&] {
        lost = s.connectionWanted();
        // The running items end here and wait again; the queue is reset below.
        const QString why = lost ? QStringLiteral("The connection to the server was lost.")
                                 : QStringLiteral("The connection to the server was closed.");
        for (tkftpclient *session : s.allSessions())
            m_p.queue.interrupt(*session, error, why);
    });
    if (!stepsOk)
        return;
    m_closing = true;
    guarded("aaqqa", [&] {
        m_p.queue.model().setWhenXferDone(QueueModel::WhenEmpty::DoNothing);
        s.setConnectionWanted(false);
        m_reconnecting = false;
        const QString sound = read(m_p.setup, Keys::sndOnDisconnect);
        if (wasLoggedIn && !read(m_p.setup, Keys::disableSound) && !sound.isEmpty())
            playSoundFile(sound);
        if (lost) {
            m_writeLog(kError + (wasLoggedIn     ? QStringLiteral("The connection has been disconnected by the server.")
                                 : connectFailed ? QStringLiteral("Unable to connect to server.")
                                                 : QStringLiteral("Unable to login on server.")));
        } else if (wasLoggedIn && read(m_p.setup, Keys::detailedLog) && m_connectedAt.isValid()) {
            const auto seconds = static_cast<qint64>(
                std::llround(static_cast<double>(m_connectedAt.msecsTo(QDateTime::currentDateTime())) / 1000.0));
            m_writeLog(kInfo + QStringLiteral("Connection to server lasted %1 minute(s) and %2 second(s).")
                                   .arg(seconds / 60)
                                   .arg(seconds % 60));
        }
        if (lost) {
            const auto maxRetries = read(m_p.setup, Keys::maxRetries);
            if (s.retryCount() < maxRetries) {
                const auto delay = read(m_p.setup, Keys::retryDelay);
                s.scheduleRetry(delay);
                m_writeLog(kInfo + QStringLiteral("Retrying to connect in ") + QString::number(delay) +
                           QStringLiteral(" seconds."));
            } else {
                // A session that had logged in (now or before the reconnects) was lost: that
                // is no reason to doubt the login.
                const bool lostAfterLogin = wasLoggedIn || s.retryCount() > 0;
                s.cancelRetry(false);
                const QString reply = main.lastReply().trimmed();
                m_p.diagnostics.showErrorWindow(
                    lostAfterLogin
                        ? QStringLiteral("The connection to the server was lost and could not be restored") +
                              (reply.isEmpty() ? QString() : QStringLiteral(" (") + reply + QLatin1Char(')'))
                        : QStringLiteral("Unable to connect to FTP site. Recheck FTP login information and try again"),
                    main.lastReply(), main.recentLines);
            }
        }
        // A reconnect goes back to the site that was lost, never to another one the connect
        // flow knows of, and returns to the folder that was shown.
        tSiteRecord site = lost && !s.connectedSite().Host.isEmpty() ? s.connectedSite() : s.currentSite();
        if (wasLoggedIn && !m_p.browsers.rFolder().isEmpty())
            site.rFolder = m_p.browsers.rFolder();
        s.setCurrentSite(site);
        m_p.connection.recordCurrentSite();
        rebuildQueue();
    });
    m_closing = false;
    // The remote folder cache is freed by the browsers' own close receiver, after this one.
    main.loggedIn = false;
}

void SessionLoss::transferClosed(tkftpclient &xfer)
{
    SessionSupervisor &s = m_p.sessions;
    guarded("aaqqa", [&] {
        if (!s.connectionWanted())
            return;
        // The item it was working on waits again; the main session takes it over.
        m_p.queue.interrupt(xfer, 0, QStringLiteral("The transfer connection was closed."));
        if (!s.ravuzAro())
            return;
        // A server that goes away closes both sessions in the same event round; that is the
        // main session's loss, not the transfer session's. The verdict waits until the
        // round's other closes are in.
        const QString message =
            xfer.loggedIn ? QStringLiteral("The RavuzAro feature has been disabled by the server. If needed, try to "
                                           "reenable it.")
                          : QStringLiteral("The RavuzAro feature is not available on current server.");
        QMetaObject::invokeMethod(
            this,
            [this, message, reply = xfer.lastReply(), lines = xfer.recentLines] {
                guarded("aaqqa", [&] {
                    SessionSupervisor &ss = m_p.sessions;
                    if (!ss.connectionWanted() || !ss.ravuzAro() || !ss.mainSession()->connectedNow())
                        return;
                    // For this run only: the setting keeps its value for the next start.
                    ss.setRavuzAro(false);
                    m_p.diagnostics.showErrorWindow(message, reply, lines);
                });
            },
            Qt::QueuedConnection);
    });
    xfer.loggedIn = false;
}

void SessionLoss::extraClosed(tkftpclient &extra, int error)
{
    SessionSupervisor &s = m_p.sessions;
    guarded("aaqqb", [&] {
        if (!s.connectionWanted())
            return;
        // Its item waits again for another session of the pool.
        m_p.queue.interrupt(extra, error, QStringLiteral("The transfer connection was closed."));
        // Closed before its login: the server takes no more connections.
        if (!extra.loggedIn)
            s.extraRefused(extra, error);
    });
    extra.loggedIn = false;
}

void SessionLoss::rebuildQueue()
{
    QueueModel &model = m_p.queue.model();
    if (model.isEmpty())
        return;
    if (!read(m_p.setup, Keys::autoSaveQueue)) {
        model.removeAll();
        return;
    }
    // The queue is saved for recovery, then every item waits again in the same order, as
    // if loaded from that file: "Queued", the existing-target answer from the setting. The
    // items stay where they are (and keep their ids), so an item whose name the file cannot
    // hold whole comes back unchanged, and a save that fails costs nothing but the copy.
    QString why;
    if (!m_savesRecoveryQueue) {
        // Nothing is saved; the items wait again below all the same.
    } else if (m_p.folders.savedQueue.isEmpty()) {
        why = QStringLiteral("there is no saved queue folder");
    } else if (saveQueueFile(model, m_p.folders.savedQueue + QStringLiteral("[recovery].dat"), &why)) {
        why.clear();
    } else if (why.isEmpty()) {
        why = QStringLiteral("the file could not be written");
    }
    if (!why.isEmpty())
        m_writeLog(kError + QStringLiteral("The queue could not be saved for recovery: ") + why);
    const TransferAction fromSetting = transferActionOf(read(m_p.setup, Keys::xferAction));
    for (int row = 0; row < model.itemCount(); ++row) {
        QueueItem *item = model.itemAt(row);
        item->transferAction = fromSetting;
        item->stopRequested = false;
        model.releaseItem(item, QStringLiteral("Queued"));
    }
}

void SessionLoss::timer_retryConnect()
{
    SessionSupervisor &s = m_p.sessions;
    if (!s.retryPending())
        return;
    guarded("mnsj2", [&] {
        tkftpclient &main = *s.mainSession();
        if (QDateTime::currentDateTime() < s.retryTime() || main.connectedNow() || !main.idleState())
            return;
        m_reconnecting = true;
        if (!m_p.connection.acConnect(ConnectController::Caller::ReconnectTimer))
            m_reconnecting = false;
    });
}

void SessionLoss::timer_antitimeout()
{
    if (!read(m_p.setup, Keys::keepAlive))
        return;
    guarded("uyqwu3", [&] {
        static const char *const kCommands[] = {"rest 0", "pwd", "help"};
        SessionSupervisor &s = m_p.sessions;
        for (tkftpclient *session : s.allSessions()) {
            if (!session->connectedNow() || !session->loggedIn || session->busy() || !session->idleState() ||
                !session->keepAliveDue.isValid())
                continue;
            const double left =
                static_cast<double>(QDateTime::currentDateTimeUtc().msecsTo(session->keepAliveDue)) / 1000.0;
            if (std::lround(left) > 0)
                continue;
            s.rescheduleKeepAlive(*session);
            // "rest 0" only in binary mode: servers refuse a restart point in ASCII mode,
            // and the refusal would only fill the log.
            const int first = session->binaryMode() ? 0 : 1;
            const auto pick = std::uniform_int_distribution<int>(first, 2)(m_random);
            session->keepAlive(QString::fromLatin1(kCommands[pick]));
        }
    });
}

void SessionLoss::acStop()
{
    guarded("jlkjas", [&] {
        SessionSupervisor &s = m_p.sessions;
        if (retryPending()) {
            // The reconnect is cancelled; an empty host keeps anything from reconnecting.
            s.forgetCurrentSite();
            resetRetries();
            return;
        }
        QueueModel &model = m_p.queue.model();
        if (model.isEmpty())
            return;
        if (!model.isPaused())
            model.setPaused(true);
        for (tkftpclient *session : s.allSessions()) {
            QueueItem *item = session->currentItem();
            if (!item || !item->isTransfer())
                continue;
            item->stopRequested = true;
            model.setStatusText(item, QStringLiteral("Stopping"));
            model.setTimeLeftText(item, QString());
            model.itemChanged(item);
            // The transfer ends with an error; its completion marks the item "Stopped".
            session->abortTransfer();
        }
        // Starting the queue again asks before anything already there is touched.
        model.setTransferActionForAll(TransferAction::Ask);
    });
}
