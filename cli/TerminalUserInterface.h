#pragma once

#include "app/UserInterface.h"
#include "cli/CliOptions.h"

#include <QString>

// The user-interaction port of the command line. Nothing waits for a person: messages and
// errors go to stderr, questions are answered No (scripts must not block on a question nobody
// sees), and the overwrite prompt takes the choice given by --overwrite, --resume or --skip.
// A server certificate nobody vouches for is accepted when its fingerprint was given with
// --trust-fingerprint, else put to the person at the terminal, else refused; so is an SSH
// server's unknown host key.
class TerminalUserInterface : public UserInterface {
public:
    explicit TerminalUserInterface(CliOptions::Existing existing, QStringList trustedFingerprints = {})
        : m_existing(existing), m_trustedFingerprints(std::move(trustedFingerprints))
    {
    }

    void showMessage(const QString &text) override;
    bool confirm(const QString &text) override;
    bool askText(const QString &caption, const QString &label, QString &text, bool masked) override;
    void showBugWindow(const QString &siteId, const QString &message) override;
    void showErrorWindow(const QString &message, const QString &details) override;
    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override;
    CertificateChoice askCertificate(const CertificateQuestion &question) override;
    // An SSH host key: accepted once when --trust-fingerprint gave its "SHA256:..." form,
    // else asked at the terminal, else refused.
    CertificateChoice askHostKey(const HostKeyQuestion &question) override;

    // The terminal question about a certificate; "terminal" is where it is asked. The answer
    // is read within timeoutMs; no answer, end of input or anything but "once"/"always" is No.
    static CertificateChoice askCertificateOn(int terminal, const CertificateQuestion &question, int timeoutMs);
    // The same question for any text: once, always or no.
    static CertificateChoice askTrustOn(int terminal, const QString &text, int timeoutMs);

    // The trusted-certificates file "always" adds to; its folder is made when needed.
    void setTrustStorePath(const QString &path) { m_trustStorePath = path; }

    // Milliseconds spent waiting for a person's answer so far.
    qint64 questionMs() const { return m_questionMs; }

    // The last error or message shown, for the item that caused it; taking it clears it.
    QString takeLastError();
    // While the first connect runs, errors are kept (takeLastError) and not printed: the
    // command line says in its own line why it could not connect or log in. Ending the hold
    // prints what is still kept.
    void holdErrors(bool on);
    // Whether the last overwrite answer was Skip; taking it clears it.

    // Reads a password from the terminal with echo off. False when there is no terminal.
    static bool readPassword(const QString &prompt, QString &password);
    // One line on stderr; passwords masked as in the log.
    static void printError(const QString &text);
    // A message of several lines as one line, for the terminal and --json.
    static QString oneLine(QString text);

private:
    CliOptions::Existing m_existing;
    QStringList m_trustedFingerprints;
    QString m_trustStorePath;
    qint64 m_questionMs = 0;
    QString m_lastError;
    bool m_holdErrors = false;
};
