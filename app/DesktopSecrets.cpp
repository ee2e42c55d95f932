#include "app/DesktopSecrets.h"

#include "settings/SettingsCatalogue.h"
#include "sites/SiteProfiles.h"

const QString DesktopSecrets::kServiceName = QStringLiteral("Kestrin FTP Pro");

DesktopSecrets::DesktopSecrets(tSetupClass &setup, LogLine log, std::function<std::unique_ptr<SecretStore>()> makeStore)
    : m_setup(setup), m_log(std::move(log)), m_make(std::move(makeStore))
{
}

DesktopSecrets::~DesktopSecrets() = default;

SecretStore &DesktopSecrets::store()
{
    if (!m_store) {
        m_store = m_make ? m_make() : SecretStore::desktop(kServiceName);
        if (!m_store)
            m_store = SecretStore::none(QString());
        QObject::connect(m_store.get(), &SecretStore::unavailable, m_store.get(), [this](const QString &reason) {
            if (m_log)
                m_log(reason + QStringLiteral(" Passwords are kept in the program's own files."));
        });
    }
    return *m_store;
}

bool DesktopSecrets::enabled() const
{
    return read(m_setup, Keys::useKeyring);
}

void DesktopSecrets::attach(SiteProfiles &profiles)
{
    profiles.setSecretStore(&store(), enabled());
}

QString DesktopSecrets::notice() const
{
    if (!enabled() || !m_store)
        return QString();
    return m_store->unavailableReason();
}
