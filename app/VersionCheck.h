#pragma once

#include "peripheral/HttpReplyReader.h"
#include "settings/u_tmbSetup.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

class TWSocket;

// Asks the maker's web server once per run which release is current: a plain HTTP/1.0 GET
// made on the program's own socket layer, asynchronously. The check is bounded: at most
// kMaxBody bytes of body, kMaxRedirects redirects (to http addresses only) and kTimeoutMs in
// all; a reply that breaks a bound, is malformed or never comes counts as "no answer",
// which reads as "No New Version" and shows no message.
//
// User-interface thread only. The window's two check boxes live in "newVersion.dat".
class VersionCheck : public QObject {
    Q_OBJECT
public:
    // The maker's version-check endpoint. A reserved ".example" host: nothing in
    // development or the tests can reach a real server through it.
    static constexpr char kCheckUrl[] = "http://kestrin-ftp.example/!tools/checkversion.php";
    static constexpr char kWhatsNewUrl[] =
        "http://kestrin-ftp.example/!tools/redir.php?id=whatsnew&app=kftp&ref=app_kftp";
    static constexpr int kMaxBody = 4096;
    static constexpr int kMaxRedirects = 5;
    static constexpr int kTimeoutMs = 30000;

    // latest(): not checked yet in this run, or a check is under way.
    static constexpr std::int64_t kUnchecked = -1;
    static constexpr std::int64_t kChecking = 0;

    explicit VersionCheck(std::int64_t ownRelease, QObject *parent = nullptr);
    ~VersionCheck() override;

    // The check boxes' store: loaded from and saved to this file.
    void loadChoices(const QString &path);
    bool saveChoices();
    bool notifyNonBeta() const;
    bool notifyBeta() const;
    void setNotifyNonBeta(bool on);
    void setNotifyBeta(bool on);

    // For the tests: another endpoint (the query is added to it).
    void setEndpoint(const QUrl &url) { m_endpoint = url; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    std::int64_t ownRelease() const { return m_own; }
    std::int64_t latest() const { return m_latest; }
    bool running() const { return m_latest == kChecking; }
    bool newerAvailable() const;
    QDateTime lastCheckTime() const { return m_lastCheck; }

    // "Check Now": starts a check unless one runs. `background` marks the once-per-run check,
    // whose result may ask for the window.
    void checkClick(bool background = false);
    // The periodic trigger: only while nothing has been checked in this run, and only
    // when allowed (the setting "noticeNewVersion", not in debug mode).
    void timer_checkForNewVersion(bool allowed);

signals:
    // latest() changed: the window refreshes its texts.
    void stateChanged();
    // A background check found a newer release the user wants to hear of.
    void newVersionFound();
    // A line for the log.
    void logLine(const QString &line);

private:
    void request(const QUrl &url);
    void onLookupDone(int error);
    void onConnected(int error);
    void onData();
    void onClosed();
    void finish(std::optional<std::int64_t> answer);
    void dropSocket();
    static void unhook(TWSocket &s);

    std::int64_t m_own;
    std::int64_t m_latest = kUnchecked;
    bool m_background = false;
    QUrl m_endpoint{QString::fromLatin1(kCheckUrl)};
    QUrl m_current;
    int m_redirects = 0;
    int m_timeoutMs = kTimeoutMs;
    QTimer m_deadline;
    std::unique_ptr<TWSocket> m_socket;
    std::unique_ptr<HttpReplyReader> m_reader;
    QDateTime m_lastCheck;
    tSetupClass m_choices;
    QString m_choicesPath;
};
