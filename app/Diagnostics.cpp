#include "app/Diagnostics.h"

#include "app/Sound.h"
#include "app/UserInterface.h"
#include "base/Errors.h"
#include "base/Guard.h"
#include "base/TextCodec.h"
#include "settings/SettingsCatalogue.h"
#include "status/LogModel.h"

#include <QFile>
#include <QLocale>

const QString Diagnostics::kFallback = QStringLiteral("BugBug-123. Please Report to Author.");

namespace {

// A site id or message with line breaks would break the file's four-line records.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

Diagnostics::Diagnostics(UserInterface &ui, const tSetupClass &setup)
    : m_ui(ui), m_setup(setup), m_playSound(&playSoundFile)
{
}

Diagnostics::~Diagnostics()
{
    if (m_installed)
        setBugReporter({});
}

void Diagnostics::install()
{
    setBugReporter([this](const QString &siteId, const QString &message) { reportBug(siteId, message); });
    m_installed = true;
}

void Diagnostics::reportBug(const QString &siteId, const QString &message) noexcept
{
    try {
        if (m_debugMode)
            appendToFile(siteId, message);
        m_ui.showBugWindow(siteId, message);
        return;
    } catch (...) {
        // Fall through to the plain message.
    }
    try {
        m_ui.showMessage(kFallback);
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

void Diagnostics::appendToFile(const QString &siteId, const QString &message) const
{
    QFile file(m_filePath);
    if (m_filePath.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw FileError(QStringLiteral("Cannot open the diagnostics file \"%1\"").arg(m_filePath));
    QByteArray bytes;
    for (const QString &line : fileLines(QDateTime::currentDateTime(), siteId, message))
        bytes += TextCodec::encodeStored(line) + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw FileError(QStringLiteral("Cannot write the diagnostics file \"%1\"").arg(m_filePath));
}

QStringList Diagnostics::fileLines(const QDateTime &when, const QString &siteId, const QString &message)
{
    const QLocale locale = QLocale::system();
    const QString stamp = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                          locale.toString(when.time(), QLocale::LongFormat);
    return {QStringLiteral("Date     : ") + stamp, QStringLiteral("Bug Data1: ") + oneLine(siteId),
            QStringLiteral("Bug Data2: ") + oneLine(message), QString()};
}

QString Diagnostics::bugDetails(const QString &siteId, const QString &message)
{
    return QStringLiteral("Bug Data1:\n") + siteId + QStringLiteral("\n\nBug Data2:\n") + message;
}

QString Diagnostics::bugReportSubject(const QString &siteId)
{
    QString id = siteId;
    id.replace(QLatin1Char('&'), tSetupClass::kSeparator);
    return QStringLiteral("Bug report for Kestrin FTP Pro (%1, %2)").arg(id).arg(kBugId);
}

QString Diagnostics::bugReportBody(const QString &siteId, const QString &message)
{
    QString id = siteId;
    id.replace(QLatin1Char('&'), tSetupClass::kSeparator);
    const QString br = QStringLiteral("\r\n");
    return QStringLiteral("[... if you have the time, please write how the bug occurred ...]") + br.repeated(8) +
           QStringLiteral("PLEASE DONT CHANGE DATA BELOW") + br + QString(43, QLatin1Char('-')) + br +
           QStringLiteral("BUG ID: ") + QString::number(kBugId) + br + QStringLiteral("DATLN1: ") + id + br +
           QStringLiteral("DATLN2: ") + message;
}

QUrl Diagnostics::bugReportMail(const QString &siteId, const QString &message)
{
    // Every character outside the unreserved set is percent-encoded, so line breaks become
    // "%0D%0A" and an "&" or "#" in the message cannot cut the body short.
    const QByteArray url = QByteArray("mailto:") + kBugReportAddress +
                           "?subject=" + QUrl::toPercentEncoding(bugReportSubject(siteId)) +
                           "&body=" + QUrl::toPercentEncoding(bugReportBody(siteId, message));
    return QUrl::fromEncoded(url, QUrl::StrictMode);
}

QString Diagnostics::errorDetails(const QString &message, const QString &secondText, const QStringList &recentLines)
{
    QStringList lines = {message, QString(message.size(), QLatin1Char('-')), QString()};
    if (!secondText.isEmpty())
        lines << secondText << QString();
    // The recent lines are kept unmasked; the password must not reach the window.
    for (const QString &line : recentLines)
        lines << LogModel::maskPassword(line).mid(1);
    return lines.join(QLatin1Char('\n'));
}

void Diagnostics::playErrorSound()
{
    if (!read(m_setup, Keys::disableSound)) {
        const QString sound = read(m_setup, Keys::sndOnError);
        if (!sound.isEmpty() && m_playSound)
            m_playSound(sound);
    }
}

void Diagnostics::showErrorWindow(const QString &message, const QString &secondText, const QStringList &recentLines)
{
    playErrorSound();
    m_ui.showErrorWindow(message, errorDetails(message, secondText, recentLines));
}

void Diagnostics::showErrorMessage(const QString &title, const QString &text)
{
    playErrorSound();
    m_ui.showError(title, text);
}
