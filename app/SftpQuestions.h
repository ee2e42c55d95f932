#pragma once

#include "app/UserInterface.h"

#include <QObject>
#include <QSet>
#include <QString>

class SftpSession;

// Puts an SFTP session's questions to the user through the user-interaction port: a host
// key no known-hosts file vouches for (trust once, always, or cancel) and the passphrase of
// an encrypted key file (a masked edit box). The answer goes back only to the session that
// asked, if it still exists. A key trusted once holds for this run, so a second session
// to the same server does not ask again.
class SftpQuestions : public QObject {
    Q_OBJECT
public:
    explicit SftpQuestions(UserInterface &ui, QObject *parent = nullptr);

    void install(SftpSession &session);

    // The question's text as every port shows it.
    static QString hostKeyText(const HostKeyQuestion &question);

private:
    UserInterface &m_ui;
    // "host:port fingerprint" trusted in this run.
    QSet<QString> m_trustedThisRun;
};
