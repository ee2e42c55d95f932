// TFtpClient: the synchronous wait.
#include "ftp/FtpCli.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

bool TFtpClient::RunAndWait(const std::function<void()> &op)
{
    try {
        op();
    } catch (const std::exception &) {
        return false;
    }
    return WaitUntilReady();
}

bool TFtpClient::WaitUntilReady()
{
    // Progress of a transfer moves the deadline on (Progress), so only silence times out.
    m_waitDeadline.setRemainingTime(static_cast<qint64>(m_timeout) * 1000);
    for (;;) {
        if (m_state == TFtpEngineState::stReady || m_state == TFtpEngineState::stInternalReady)
            return m_requestResult == 0;
        if (QCoreApplication::closingDown() || (m_timeout > 0 && m_waitDeadline.hasExpired()))
            break;
        // Sleep in the event loop until something happens, at most a short slice so the
        // deadline is seen in time.
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    Abort();
    m_errorMessage = QStringLiteral("426 Timeout");
    m_statusCode = 426;
    return false;
}

bool TFtpClient::AbortAndWait()
{
    return RunAndWait([this] { Abort(); });
}
