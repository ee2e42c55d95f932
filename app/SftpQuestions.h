#pragma once

#include "app/UserInterface.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class SftpSession;

// Puts an SFTP session's questions to the user through the user-interaction port: a host
// key no known-hosts file vouches for (trust once, always, or cancel) and the passphrase of
// an encrypted key file or the password of a server that takes one when none is stored
// (masked edit boxes). The answer goes back only to the session that asked, if it still
// exists. A key trusted once holds for this run, and so do a passphrase and a password the
// server accepted, so the pool's further sessions to the same server do not ask again; one
// the server refused is forgotten and asked anew.
class SftpQuestions : public QObject {
    Q_OBJECT
public:
    explicit SftpQuestions(UserInterface &ui, QObject *parent = nullptr);

    void install(SftpSession &session);

    // The question's text as every port shows it.
    static QString hostKeyText(const HostKeyQuestion &question);

private:
    // Answers a passphrase or password question from this run's accepted answers, or asks.
    void answerSecret(SftpSession *session, const QString &key, const QString &caption, const QString &label,
                      const std::function<void(bool, const QString &)> &answer);
    void authenticationDone(const SftpSession *session, bool accepted);

    UserInterface &m_ui;
    // "host:port fingerprint" trusted in this run.
    QSet<QString> m_trustedThisRun;
    // Passphrases ("key:PATH") and passwords ("password:user@host:port") given in this run;
    // kept once a login with them succeeded.
    QHash<QString, QString> m_secrets;
    // The secrets each session's running authentication was answered with.
    QHash<const SftpSession *, QStringList> m_answeredWith;
};
