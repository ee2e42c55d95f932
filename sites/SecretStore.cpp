#include "sites/SecretStore.h"

namespace {

class NoSecretStore final : public SecretStore {
public:
    explicit NoSecretStore(const QString &reason) : m_why(reason) {}
    Status read(const QString &, QString &) override { return fail(); }
    Status write(const QString &, const QString &) override { return fail(); }
    Status remove(const QString &) override { return fail(); }

private:
    Status fail()
    {
        markUnavailable(m_why);
        return Status::Unavailable;
    }
    QString m_why;
};

} // namespace

SecretStore::Status SecretStore::move(const QString &from, const QString &to)
{
    if (from == to)
        return Status::Ok;
    QString secret;
    const Status r = read(from, secret);
    if (r == Status::NotFound)
        return Status::Ok;
    if (r != Status::Ok)
        return r;
    const Status w = write(to, secret);
    if (w != Status::Ok)
        return w;
    return remove(from);
}

void SecretStore::markUnavailable(const QString &reason)
{
    if (!m_reason.isEmpty())
        return;
    m_reason = reason.isEmpty() ? QStringLiteral("The desktop's secret store is not available.") : reason;
    emit unavailable(m_reason);
}

std::unique_ptr<SecretStore> SecretStore::none(const QString &reason)
{
    return std::make_unique<NoSecretStore>(reason);
}
