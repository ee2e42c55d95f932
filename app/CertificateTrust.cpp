#include "app/CertificateTrust.h"

#include "app/UserInterface.h"
#include "app/tkftpclient.h"

#include <QPointer>
#include <QTimer>

namespace {
const QString kError = QStringLiteral("\u00a4");

int portOf(const tkftpclient &session)
{
    bool ok = false;
    const int port = session.Port().toInt(&ok);
    return ok ? port : 0;
}
} // namespace

CertificateTrust::CertificateTrust(UserInterface &ui, LogWriter writeLog, QObject *parent)
    : QObject(parent), m_ui(ui), m_writeLog(std::move(writeLog))
{
}

void CertificateTrust::load(const QString &path)
{
    m_store = TrustedCertificates(path);
    QString error;
    if (!m_store.load(&error))
        m_writeLog(kError + QStringLiteral("The trusted certificates could not be read: ") + error);
}

QString CertificateTrust::serverKey(const QString &host, int port)
{
    return host.toLower() + QLatin1Char(':') + QString::number(port);
}

void CertificateTrust::prepare(tkftpclient &session) const
{
    const QString host = session.HostName();
    const int port = portOf(session);
    QStringList trusted = m_store.fingerprints(host, port);
    const QString prefix = serverKey(host, port) + QLatin1Char(' ');
    for (const QString &entry : m_trustedThisRun) {
        if (entry.startsWith(prefix))
            trusted << entry.mid(prefix.size());
    }
    session.SetTrustedFingerprints(trusted);
}

void CertificateTrust::install(tkftpclient &session)
{
    session.OnCertificate = [this, &session](TFtpClient *, const TTlsCertificate &certificate,
                                             TCertificateAnswer &answer) {
        // The dialog may run a nested event loop: it opens after the engine's event returns.
        answer = TCertificateAnswer::Pending;
        QTimer::singleShot(0, this,
                           [this, guard = QPointer<tkftpclient>(&session), host = session.HostName(),
                            port = portOf(session), certificate] {
                               if (guard)
                                   ask(guard.data(), host, port, certificate);
                           });
    };
}

void CertificateTrust::ask(tkftpclient *session, const QString &host, int port, const TTlsCertificate &certificate)
{
    CertificateQuestion question;
    question.host = host;
    question.port = port;
    question.certificate = certificate;
    question.changed = m_store.changedFor(host, port, certificate.sha256);
    if (question.changed)
        m_writeLog(kError + QStringLiteral("The certificate of ") + serverKey(host, port) +
                   QStringLiteral(" is not the one trusted before: ") + certificate.sha256);
    QPointer<tkftpclient> guard(session);
    const CertificateChoice choice = m_ui.askCertificate(question);
    TCertificateAnswer answer = TCertificateAnswer::Refuse;
    switch (choice) {
    case CertificateChoice::TrustAlways: {
        QString error;
        if (!m_store.trust(host, port, certificate.sha256, &error))
            m_writeLog(kError + QStringLiteral("The certificate could not be stored as trusted: ") + error);
        answer = TCertificateAnswer::TrustAlways;
        break;
    }
    case CertificateChoice::TrustOnce:
        m_trustedThisRun.insert(serverKey(host, port) + QLatin1Char(' ') + certificate.sha256);
        answer = TCertificateAnswer::TrustOnce;
        break;
    case CertificateChoice::Cancel:
        break;
    }
    // The session may have gone, or be asking about another connection by now: the answer
    // belongs only to the certificate it was given for.
    if (guard && guard->PeerCertificate().sha256 == certificate.sha256)
        guard->AnswerCertificate(answer);
}
