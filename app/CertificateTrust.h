#pragma once

#include "ftp/TlsSupport.h"
#include "sites/TrustedCertificates.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class tkftpclient;
class UserInterface;

// Decides about server certificates the engine cannot trust by itself. The sessions ask
// through the engine's certificate event; the question goes to the user through the
// user-interaction port once the event has returned (the engine waits, bounded by its
// certificate timeout), and the answer goes back to the session that asked if it still
// waits for it. "Always" is kept in the trusted-certificates file; "once" holds for this
// run, for both sessions, so the transfer session does not ask again.
class CertificateTrust : public QObject {
    Q_OBJECT
public:
    using LogWriter = std::function<void(const QString &line)>;

    CertificateTrust(UserInterface &ui, LogWriter writeLog, QObject *parent = nullptr);

    // The store's file; read at once. An unreadable file is reported in the log and the
    // store starts empty (nothing is trusted that was not before).
    void load(const QString &path);
    // Installs the certificate event on a session.
    void install(tkftpclient &session);
    // Before each connect: the fingerprints the user trusts for the session's server.
    void prepare(tkftpclient &session) const;

private:
    void ask(tkftpclient *session, const QString &host, int port, const TTlsCertificate &certificate);
    static QString serverKey(const QString &host, int port);

    UserInterface &m_ui;
    LogWriter m_writeLog;
    TrustedCertificates m_store{QString()};
    // "host:port fingerprint" trusted once in this run.
    QSet<QString> m_trustedThisRun;
};
