#include "cli/TerminalUserInterface.h"

#include "app/SftpQuestions.h"

#include "base/TextUtil.h"

#include "sites/TrustedCertificates.h"
#include "status/LogModel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Message texts use CR as a line break (for the message boxes); one line on a terminal.
QString oneLineOf(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.simplified();
}

} // namespace

QString TerminalUserInterface::oneLine(QString text)
{
    return oneLineOf(std::move(text));
}

void TerminalUserInterface::printError(const QString &text)
{
    // Server replies, names and log lines reach this: a line break stays one line and no
    // control character of theirs reaches the terminal.
    QString plain = LogModel::maskPassword(text);
    plain.replace(QLatin1String("\r\n"), QLatin1String(" "));
    plain.replace(QLatin1Char('\r'), QLatin1Char(' '));
    plain.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray line = (QStringLiteral("kestrin-ftp-cli: ") + escapeControls(plain)).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void TerminalUserInterface::showMessage(const QString &text)
{
    // The window's hint about its start-queue button means nothing here: the command line
    // reports the failed item and goes on with the rest.
    QString line = TerminalUserInterface::oneLine(text);
    const qsizetype hint = line.indexOf(QLatin1String(" The queue has been disabled"));
    if (hint > 0)
        line.truncate(hint);
    m_lastError = line;
    if (!m_holdErrors)
        printError(m_lastError);
}

void TerminalUserInterface::holdErrors(bool on)
{
    if (m_holdErrors && !on && !m_lastError.isEmpty())
        printError(m_lastError);
    m_holdErrors = on;
}

bool TerminalUserInterface::confirm(const QString &text)
{
    printError(TerminalUserInterface::oneLine(text) + QStringLiteral(" (answered No)"));
    return false;
}

bool TerminalUserInterface::askText(const QString &caption, const QString &label, QString &text, bool masked)
{
    if (masked)
        return readPassword(label, text);
    printError(TerminalUserInterface::oneLine(caption + QStringLiteral(": ") + label) +
               QStringLiteral(" (cancelled: no input on the command line)"));
    return false;
}

void TerminalUserInterface::showBugWindow(const QString &siteId, const QString &message)
{
    printError(QStringLiteral("internal error ") + siteId + QStringLiteral(": ") +
               TerminalUserInterface::oneLine(message));
}

void TerminalUserInterface::showErrorWindow(const QString &message, const QString & /*details*/)
{
    showMessage(message);
}

OverwriteAnswer TerminalUserInterface::askOverwrite(const OverwriteQuestion &question)
{
    OverwriteChoice choice = OverwriteChoice::Skip;
    switch (m_existing) {
    case CliOptions::Existing::Overwrite:
        choice = OverwriteChoice::Overwrite;
        break;
    case CliOptions::Existing::Resume:
        // Resume only where it is sound (the target smaller than the source, binary);
        // otherwise the target is left alone: it is most likely complete already.
        choice = question.resumeEnabled ? OverwriteChoice::Resume : OverwriteChoice::Skip;
        break;
    case CliOptions::Existing::Skip:
        break;
    }
    return {choice, false};
}

QString TerminalUserInterface::takeLastError()
{
    return std::exchange(m_lastError, QString());
}

bool TerminalUserInterface::readPassword(const QString &prompt, QString &password)
{
    QFile tty(QStringLiteral("/dev/tty"));
    if (!tty.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    const int fd = tty.handle();
    termios old{};
    if (::tcgetattr(fd, &old) != 0)
        return false;
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tty.write((prompt + QStringLiteral(" ")).toUtf8());
    if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0)
        return false;
    QByteArray line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    ::tcsetattr(fd, TCSAFLUSH, &old);
    password = QString::fromUtf8(line);
    line.fill('\0');
    return true;
}

namespace {

QString certificateText(const CertificateQuestion &q)
{
    const TTlsCertificate &c = q.certificate;
    QString text;
    if (q.changed)
        text += QStringLiteral("WARNING: this server was trusted before with another certificate.\n");
    text += QStringLiteral("The certificate of %1:%2 is not trusted: %3\n")
                .arg(q.host)
                .arg(q.port)
                .arg(TerminalUserInterface::oneLine(c.problems()));
    text += QStringLiteral("  subject:  ") + c.subject + QLatin1Char('\n');
    text += QStringLiteral("  issuer:   ") + c.issuer + QLatin1Char('\n');
    text += QStringLiteral("  valid:    ") + c.notBefore.toString(Qt::ISODate) + QStringLiteral(" to ") +
            c.notAfter.toString(Qt::ISODate) + QLatin1Char('\n');
    text += QStringLiteral("  SHA-256:  ") + c.sha256 + QLatin1Char('\n');
    return text;
}

// One line from the terminal, waiting at most until the deadline. False on timeout or end.
bool readLine(int fd, QByteArray &line, QDeadlineTimer deadline)
{
    line.clear();
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        const int ready = ::poll(&p, 1, static_cast<int>(qMin<qint64>(left, 1000)));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        if (line.size() < 64)
            line += c;
    }
}

} // namespace

CertificateChoice TerminalUserInterface::askCertificate(const CertificateQuestion &question)
{
    const QString sha256 = TrustedCertificates::normalise(question.certificate.sha256);
    if (!sha256.isEmpty() && m_trustedFingerprints.contains(sha256)) {
        // Given for this run only: a script's fingerprint is not written into the user's store.
        if (question.changed)
            printError(QStringLiteral("the certificate of %1:%2 is not the one trusted before; accepted by "
                                      "--trust-fingerprint")
                           .arg(question.host)
                           .arg(question.port));
        return CertificateChoice::TrustOnce;
    }
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        const QString text = certificateText(question);
        for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            printError(line.trimmed());
        printError(QStringLiteral("refused: no terminal to ask on. A script accepts this certificate with "
                                  "--trust-fingerprint ") +
                   question.certificate.sha256);
        m_lastError = QStringLiteral("the server certificate is not trusted");
        return CertificateChoice::Cancel;
    }
    // Below the engine's own wait for the answer, so the session is still there to take it.
    QElapsedTimer asking;
    asking.start();
    const CertificateChoice choice = askCertificateOn(terminal, question, 100000);
    m_questionMs += asking.elapsed();
    ::close(terminal);
    if (choice == CertificateChoice::TrustAlways) {
        // The store's file lives in the program's data folder, which a first run may lack.
        QDir().mkpath(QFileInfo(m_trustStorePath).path());
    }
    if (choice == CertificateChoice::Cancel)
        m_lastError = QStringLiteral("the server certificate is not trusted");
    return choice;
}

CertificateChoice TerminalUserInterface::askCertificateOn(int terminal, const CertificateQuestion &question,
                                                          int timeoutMs)
{
    return askTrustOn(terminal, certificateText(question), timeoutMs);
}

CertificateChoice TerminalUserInterface::askTrustOn(int terminal, const QString &question, int timeoutMs)
{
    const QByteArray text = (question + QStringLiteral("Trust it? [o]nce, [a]lways for this server, [N]o: ")).toUtf8();
    if (::write(terminal, text.constData(), static_cast<size_t>(text.size())) < 0)
        return CertificateChoice::Cancel;
    QByteArray line;
    if (!readLine(terminal, line, QDeadlineTimer(timeoutMs))) {
        const char no[] = "\nno answer: refused\n";
        [[maybe_unused]] const ssize_t n = ::write(terminal, no, sizeof no - 1);
        return CertificateChoice::Cancel;
    }
    const QByteArray answer = line.trimmed().toLower();
    if (answer == "o" || answer == "once")
        return CertificateChoice::TrustOnce;
    if (answer == "a" || answer == "always")
        return CertificateChoice::TrustAlways;
    return CertificateChoice::Cancel;
}

CertificateChoice TerminalUserInterface::askHostKey(const HostKeyQuestion &question)
{
    if (m_trustedFingerprints.contains(question.fingerprint))
        return CertificateChoice::TrustOnce; // for this run only, like a certificate's
    const QString text = SftpQuestions::hostKeyText(question) + QLatin1Char('\n');
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            printError(line.trimmed());
        printError(QStringLiteral("refused: no terminal to ask on. A script accepts this host key with "
                                  "--trust-fingerprint ") +
                   question.fingerprint);
        m_lastError = QStringLiteral("the server's host key is not trusted");
        return CertificateChoice::Cancel;
    }
    QElapsedTimer asking;
    asking.start();
    const CertificateChoice choice = askTrustOn(terminal, text, 100000);
    m_questionMs += asking.elapsed();
    ::close(terminal);
    if (choice == CertificateChoice::Cancel)
        m_lastError = QStringLiteral("the server's host key is not trusted");
    return choice;
}
