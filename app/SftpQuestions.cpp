#include "app/SftpQuestions.h"

#include "sftp/SftpSession.h"

#include <QPointer>

SftpQuestions::SftpQuestions(UserInterface &ui, QObject *parent) : QObject(parent), m_ui(ui) {}

QString SftpQuestions::hostKeyText(const HostKeyQuestion &q)
{
    return QStringLiteral("The server %1 port %2 is not known yet.\n"
                          "Its %3 host key has the fingerprint\n  %4\n"
                          "Compare it with the fingerprint the server's administrator gives you before you "
                          "trust it.")
        .arg(q.host)
        .arg(q.port)
        .arg(q.keyType, q.fingerprint);
}

void SftpQuestions::install(SftpSession &session)
{
    QPointer<SftpSession> asking(&session);
    connect(&session, &SftpSession::hostKeyQuestion, this, [this, asking](const SftpHostKey &key) {
        const QString trustKey = QStringLiteral("%1:%2 %3").arg(key.host).arg(key.port).arg(key.fingerprint);
        if (m_trustedThisRun.contains(trustKey)) {
            if (asking)
                asking->answerHostKey(SftpHostKeyAnswer::TrustOnce);
            return;
        }
        const CertificateChoice choice = m_ui.askHostKey({key.host, key.port, key.type, key.fingerprint});
        if (choice != CertificateChoice::Cancel)
            m_trustedThisRun.insert(trustKey);
        if (!asking)
            return;
        asking->answerHostKey(choice == CertificateChoice::TrustAlways ? SftpHostKeyAnswer::TrustAlways
                              : choice == CertificateChoice::TrustOnce ? SftpHostKeyAnswer::TrustOnce
                                                                       : SftpHostKeyAnswer::Cancel);
    });
    connect(&session, &SftpSession::passphraseQuestion, this, [this, asking](const QString &keyFile) {
        answerSecret(asking, QStringLiteral("key:") + keyFile, QStringLiteral("Key passphrase"),
                     QStringLiteral("Passphrase for %1:").arg(keyFile), [asking](bool given, const QString &text) {
                         if (asking)
                             asking->answerPassphrase(given, text);
                     });
    });
    connect(&session, &SftpSession::passwordQuestion, this,
            [this, asking](const QString &user, const QString &host, int port) {
                const QString where = QStringLiteral("%1@%2").arg(user, host) +
                                      (port == 22 ? QString() : QStringLiteral(":%1").arg(port));
                answerSecret(asking, QStringLiteral("password:%1@%2:%3").arg(user, host).arg(port),
                             QStringLiteral("SFTP password"), QStringLiteral("Password for %1:").arg(where),
                             [asking](bool given, const QString &text) {
                                 if (asking)
                                     asking->answerPassword(given, text);
                             });
            });
    connect(&session, &SftpSession::requestDone, this,
            [this, asking](SftpRequest request, SftpError error, const QString &) {
                if (request == SftpRequest::Authenticate)
                    authenticationDone(asking, error == SftpError::None);
            });
    connect(&session, &QObject::destroyed, this, [this, gone = &session] { m_answeredWith.remove(gone); });
}

void SftpQuestions::answerSecret(SftpSession *session, const QString &key, const QString &caption, const QString &label,
                                 const std::function<void(bool, const QString &)> &answer)
{
    if (!session)
        return;
    m_answeredWith[session] << key;
    const auto known = m_secrets.constFind(key);
    if (known != m_secrets.constEnd()) {
        answer(true, *known);
        return;
    }
    QString text;
    const bool given = m_ui.askText(caption, label, text, true);
    if (given && !text.isEmpty())
        m_secrets.insert(key, text);
    answer(given, text);
    text.fill(QLatin1Char('\0'));
}

void SftpQuestions::authenticationDone(const SftpSession *session, bool accepted)
{
    const QStringList used = m_answeredWith.take(session);
    // A refused login may have been refused for any of its answers: all are asked anew.
    if (!accepted) {
        for (const QString &key : used) {
            if (auto it = m_secrets.find(key); it != m_secrets.end()) {
                it->fill(QLatin1Char('\0'));
                m_secrets.erase(it);
            }
        }
    }
}
