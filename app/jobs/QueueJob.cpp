#include "app/jobs/QueueJob.h"

#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "app/jobs/JobTexts.h"
#include "app/tkftpclient.h"

const char *jobStepName(JobStep step)
{
    switch (step) {
    case JobStep::Starting:
        return "Starting";
    case JobStep::OverwritePrompt:
        return "OverwritePrompt";
    case JobStep::TypeSwitch:
        return "TypeSwitch";
    case JobStep::SizeQuery:
        return "SizeQuery";
    case JobStep::ChangeFolder:
        return "ChangeFolder";
    case JobStep::PrintFolder:
        return "PrintFolder";
    case JobStep::Listing:
        return "Listing";
    case JobStep::LinkCheck:
        return "LinkCheck";
    case JobStep::Transfer:
        return "Transfer";
    case JobStep::SizeCheck:
        return "SizeCheck";
    case JobStep::FileTime:
        return "FileTime";
    case JobStep::Command:
        return "Command";
    case JobStep::Finished:
        return "Finished";
    }
    return "?";
}

const char *QueueOutcome::name(Kind kind)
{
    switch (kind) {
    case Kind::Done:
        return "done";
    case Kind::Skipped:
        return "skipped";
    case Kind::Failed:
        return "failed";
    case Kind::Stopped:
        return "stopped";
    case Kind::Interrupted:
        return "interrupted";
    }
    return "?";
}

QueueJob::QueueJob(QueueController &queue, QueueItem &item, tkftpclient &session)
    : m_queue(queue), m_item(item), m_itemId(item.id()), m_session(session)
{
}

QueueJob::~QueueJob() = default;

RemoteSession &QueueJob::session() const
{
    return m_session;
}

void QueueJob::listingData(const QString &text)
{
    Q_UNUSED(text);
}

QueueOutcome QueueJob::abandonOutcome() const
{
    return QueueOutcome::failed(0, QStringLiteral("The queue entry could not go on."));
}

bool QueueJob::endAfterLoss()
{
    return false;
}

void QueueJob::expect(JobStep step)
{
    if (m_queue.traceSteps())
        m_queue.writeLog(
            QStringLiteral("%1job %2 (%3): %4 -> %5")
                .arg(QChar(0xA7))
                .arg(m_itemId)
                .arg(m_session.sessionName(), QLatin1String(jobStepName(m_step)), QLatin1String(jobStepName(step))));
    m_step = step;
    m_token = m_queue.nextToken();
}

void QueueJob::finish(const QueueOutcome &outcome, const QString &message)
{
    if (m_step == JobStep::Finished)
        return;
    m_queue.finish(*this, outcome, message);
}

void QueueJob::fail(int code, const QString &message)
{
    finish(QueueOutcome::failed(code, message), message + kQueueDisabled);
}

bool QueueJob::alive() const
{
    return m_step != JobStep::Finished && m_queue.model().itemById(m_itemId) == &m_item && m_session.job() == this &&
           m_session.connectedNow();
}

void QueueJob::prepareDataConnection()
{
    m_queue.sessions().applyDataConnection(m_session);
}
