#include "app/tkftpclient.h"

#include "app/jobs/QueueJob.h"

tkftpclient::tkftpclient(const QString &name, QObject *parent) : TFtpClient(parent)
{
    setObjectName(name);
}

QueueItem *tkftpclient::currentItem() const
{
    return m_job ? &m_job->item() : nullptr;
}

std::uint64_t tkftpclient::requestToken() const
{
    return m_job ? m_job->token() : 0;
}
