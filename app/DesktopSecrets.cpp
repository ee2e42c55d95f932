#include "app/DesktopSecrets.h"

#include "settings/SettingsCatalogue.h"
#include "settings/u_tmbSetup.h"
#include "sites/ConnectionHistory.h"
#include "sites/SiteProfiles.h"

namespace {

constexpr BoolKey kLaunchInKeyring{"launchPasswordInKeyring", false};

} // namespace

const QString DesktopSecrets::kServiceName = QStringLiteral("Kestrin FTP Pro");
const QString DesktopSecrets::kLaunchPasswordKey = QStringLiteral("launch password");

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

void DesktopSecrets::attach(ConnectionHistory &history)
{
    history.setSecretStore(&store(), enabled());
}

void DesktopSecrets::loadLaunchPassword()
{
    m_launchUnread = false;
    if (!read(m_setup, kLaunchInKeyring) || !read(m_setup, Keys::launchPassword).isEmpty())
        return;
    QString secret;
    if (store().read(kLaunchPasswordKey, secret) == SecretStore::Status::Ok)
        write(m_setup, Keys::launchPassword, secret);
    else
        m_launchUnread = true;
}

bool DesktopSecrets::saveSettings(const QString &path, QString *error)
{
    const QString password = read(m_setup, Keys::launchPassword);
    const bool wasInStore = read(m_setup, kLaunchInKeyring);
    if (password.isEmpty()) {
        // Not read back from the store this run: the mark stays so the password is not lost.
        if (m_launchUnread && wasInStore)
            return m_setup.save(path, error);
        if (wasInStore)
            store().remove(kLaunchPasswordKey);
        write(m_setup, kLaunchInKeyring, false);
        return m_setup.save(path, error);
    }
    if (!enabled() || store().write(kLaunchPasswordKey, password) != SecretStore::Status::Ok) {
        if (wasInStore && !enabled())
            store().remove(kLaunchPasswordKey);
        write(m_setup, kLaunchInKeyring, false);
        return m_setup.save(path, error);
    }
    // The file gets an empty password and the mark; memory keeps the password.
    const QSignalBlocker quiet(&m_setup);
    write(m_setup, Keys::launchPassword, QString());
    write(m_setup, kLaunchInKeyring, true);
    const bool saved = m_setup.save(path, error);
    write(m_setup, Keys::launchPassword, password);
    return saved;
}

QString DesktopSecrets::notice() const
{
    if (!enabled() || !m_store)
        return QString();
    return m_store->unavailableReason();
}
