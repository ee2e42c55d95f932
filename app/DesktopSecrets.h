#pragma once

#include "sites/SecretStore.h"

#include <functional>
#include <memory>

class ConnectionHistory;
class SiteProfiles;
class tSetupClass;

// The program's use of the desktop's secret store: one store for the whole run, made on
// first use; the setting "useKeyring" decides whether new passwords go there. When the
// store turns out to be unavailable the log says so once, and passwords stay in the files.
class DesktopSecrets {
public:
    using LogLine = std::function<void(const QString &)>;
    // makeStore: the store to use (the desktop's by default), called once on first use.
    DesktopSecrets(tSetupClass &setup, LogLine log, std::function<std::unique_ptr<SecretStore>()> makeStore = {});
    ~DesktopSecrets();

    static const QString kServiceName;

    SecretStore &store();
    // Whether new passwords go to the store (the setting).
    bool enabled() const;
    // Points a profile store at the secret store, following the setting.
    void attach(SiteProfiles &profiles);
    void attach(ConnectionHistory &history);

    // The launch password. Where the store holds it, the settings file has an empty
    // "launchPassword" and "launchPasswordInKeyring=1".
    static const QString kLaunchPasswordKey;
    // After the settings are read: a launch password the store holds goes into the settings
    // in memory.
    void loadLaunchPassword();
    // True when the settings say the store holds the launch password but it could not be
    // read: the password cannot be checked.
    bool launchPasswordUnreadable() const { return m_launchUnread; }
    // Writes the settings file; the launch password goes to the store when it is used.
    bool saveSettings(const QString &path, QString *error);

    // Why the store is not used: empty while it is used, or while it is switched off.
    QString notice() const;

private:
    tSetupClass &m_setup;
    LogLine m_log;
    std::function<std::unique_ptr<SecretStore>()> m_make;
    std::unique_ptr<SecretStore> m_store;
    bool m_launchUnread = false;
};
