// The desktop's secret store through QtKeychain (Secret Service on Linux). Built only when
// QtKeychain was found; without it the desktop store is one that is always unavailable.
#include "sites/SecretStore.h"

#ifdef KESTRIN_HAVE_QTKEYCHAIN

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace {

class KeychainSecretStore final : public SecretStore {
public:
    KeychainSecretStore(const QString &service, int waitMs) : m_service(service), m_waitMs(waitMs) {}

    Status read(const QString &key, QString &secret) override
    {
        if (!unavailableReason().isEmpty())
            return Status::Unavailable;
        auto *job = new QKeychain::ReadPasswordJob(m_service);
        job->setKey(key);
        const Status r = run(job);
        if (r == Status::Ok)
            secret = job->textData();
        done(job);
        return r;
    }

    Status write(const QString &key, const QString &secret) override
    {
        if (!unavailableReason().isEmpty())
            return Status::Unavailable;
        auto *job = new QKeychain::WritePasswordJob(m_service);
        job->setKey(key);
        job->setTextData(secret);
        const Status r = run(job);
        done(job);
        return r == Status::NotFound ? Status::Unavailable : r;
    }

    Status remove(const QString &key) override
    {
        if (!unavailableReason().isEmpty())
            return Status::Unavailable;
        auto *job = new QKeychain::DeletePasswordJob(m_service);
        job->setKey(key);
        const Status r = run(job);
        done(job);
        return r == Status::NotFound ? Status::Ok : r;
    }

private:
    // Starts the job and waits for it, at most m_waitMs. A job that does not answer in
    // time is left to finish (and delete itself) on its own; the store is then taken as
    // unavailable for the rest of the run, so no later call waits again.
    Status run(QKeychain::Job *job)
    {
        job->setAutoDelete(false);
        QEventLoop loop;
        bool finished = false;
        QObject::connect(job, &QKeychain::Job::finished, &loop, [&finished, &loop] {
            finished = true;
            loop.quit();
        });
        QTimer::singleShot(m_waitMs, &loop, &QEventLoop::quit);
        job->start();
        if (!finished)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!finished) {
            QObject::disconnect(job, nullptr, &loop, nullptr);
            // The backend may still answer: the job goes when it is done.
            QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
            m_timedOut = true;
            markUnavailable(
                QStringLiteral("The desktop's secret store did not answer within %1 seconds.").arg(m_waitMs / 1000.0));
            return Status::Unavailable;
        }
        switch (job->error()) {
        case QKeychain::NoError:
            return Status::Ok;
        case QKeychain::EntryNotFound:
            return Status::NotFound;
        default:
            markUnavailable(QStringLiteral("The desktop's secret store is not available: %1").arg(job->errorString()));
            return Status::Unavailable;
        }
    }

    // A finished job goes now; one that did not answer deletes itself when it ends.
    void done(QKeychain::Job *job)
    {
        if (!m_timedOut)
            job->deleteLater();
        m_timedOut = false;
    }

    QString m_service;
    int m_waitMs;
    bool m_timedOut = false;
};

} // namespace

std::unique_ptr<SecretStore> SecretStore::desktop(const QString &service, int waitMs)
{
    return std::make_unique<KeychainSecretStore>(service, waitMs);
}

#else

std::unique_ptr<SecretStore> SecretStore::desktop(const QString &, int)
{
    return none(QStringLiteral("This build of the program has no secret store support."));
}

#endif
