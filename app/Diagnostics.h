#pragma once

#include "base/Version.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class UserInterface;
class tSetupClass;

// Reports of unexpected errors and the error window of failed FTP operations.
//
// A report (site id, message) opens its own bug window through the user-interaction
// port; in debug mode (started with "-tmbdebug") it is first appended to the diagnostics
// file as four CR LF lines. When either step fails the plain message kFallback is shown
// instead. install() makes this object the receiver of every guarded place's reports.
//
// User-interface thread only. Reports may arrive from nested handlers while modal windows
// are open; each opens its own window.
class Diagnostics {
public:
    static constexpr int kBugId = Version::kVersionNumber;
    static constexpr const char *kFileName = "!KestrinFTPProBugs.txt";
    static constexpr const char *kBugReportAddress = "bugs@kestrin-ftp.example";
    static const QString kFallback;

    using SoundPlayer = std::function<void(const QString &path)>;

    Diagnostics(UserInterface &ui, const tSetupClass &setup);
    ~Diagnostics();
    Diagnostics(const Diagnostics &) = delete;
    Diagnostics &operator=(const Diagnostics &) = delete;

    // Routes reportBug() of base/Guard.h here until this object is destroyed.
    void install();

    void setDebugMode(bool on) { m_debugMode = on; }
    bool debugMode() const { return m_debugMode; }
    void setFilePath(const QString &path) { m_filePath = path; }
    QString filePath() const { return m_filePath; }
    void setSoundPlayer(SoundPlayer player) { m_playSound = std::move(player); }

    void reportBug(const QString &siteId, const QString &message) noexcept;
    // Plays the error sound when sounds are on, then shows the error window with the
    // message, the second text (the server's last reply, may be empty) and the session's
    // recent protocol lines.
    void showErrorWindow(const QString &message, const QString &secondText, const QStringList &recentLines);
    // Plays the error sound when sounds are on, then shows a titled message window.
    void showErrorMessage(const QString &title, const QString &text);

    // The four lines a report appends to the diagnostics file (the last one empty).
    static QStringList fileLines(const QDateTime &when, const QString &siteId, const QString &message);
    // The bug window's details.
    static QString bugDetails(const QString &siteId, const QString &message);
    // The mail message that sends a report to the maker.
    static QUrl bugReportMail(const QString &siteId, const QString &message);
    static QString bugReportSubject(const QString &siteId);
    static QString bugReportBody(const QString &siteId, const QString &message);
    // The error window's details: the message underlined with "-", the second text, and
    // the recent lines without their markers.
    static QString errorDetails(const QString &message, const QString &secondText, const QStringList &recentLines);

private:
    void playErrorSound();
    void appendToFile(const QString &siteId, const QString &message) const;

    UserInterface &m_ui;
    const tSetupClass &m_setup;
    QString m_filePath;
    SoundPlayer m_playSound;
    bool m_debugMode = false;
    bool m_installed = false;
};
