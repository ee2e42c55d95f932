#include "cli/TerminalUserInterface.h"

#include "status/LogModel.h"

#include <QFile>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// Message texts use CR as a line break (for the message boxes); one line on a terminal.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.simplified();
}

} // namespace

void TerminalUserInterface::printError(const QString &text)
{
    const QByteArray line = (QStringLiteral("kestrin-ftp-cli: ") + LogModel::maskPassword(text)).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void TerminalUserInterface::showMessage(const QString &text)
{
    // The window's hint about its start-queue button means nothing here: the command line
    // reports the failed item and goes on with the rest.
    QString line = oneLine(text);
    const qsizetype hint = line.indexOf(QLatin1String(" The queue has been disabled"));
    if (hint > 0)
        line.truncate(hint);
    m_lastError = line;
    printError(m_lastError);
}

bool TerminalUserInterface::confirm(const QString &text)
{
    printError(oneLine(text) + QStringLiteral(" (answered No)"));
    return false;
}

bool TerminalUserInterface::askText(const QString &caption, const QString &label, QString &text, bool masked)
{
    if (masked)
        return readPassword(label, text);
    printError(oneLine(caption + QStringLiteral(": ") + label) +
               QStringLiteral(" (cancelled: no input on the command line)"));
    return false;
}

void TerminalUserInterface::showBugWindow(const QString &siteId, const QString &message)
{
    printError(QStringLiteral("internal error ") + siteId + QStringLiteral(": ") + oneLine(message));
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
    m_skipped = choice == OverwriteChoice::Skip;
    return {choice, false};
}

QString TerminalUserInterface::takeLastError()
{
    return std::exchange(m_lastError, QString());
}

bool TerminalUserInterface::takeSkipped()
{
    return std::exchange(m_skipped, false);
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
