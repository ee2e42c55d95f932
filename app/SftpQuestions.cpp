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
        QString passphrase;
        const bool given = m_ui.askText(QStringLiteral("Key passphrase"),
                                        QStringLiteral("Passphrase for %1:").arg(keyFile), passphrase, true);
        if (asking)
            asking->answerPassphrase(given, passphrase);
        passphrase.fill(QLatin1Char('\0'));
    });
}
