#pragma once

#include "browser/SyncPlan.h"
#include "ftp/TlsSupport.h"
#include "queue/OverwritePrompt.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QObject;

// A server certificate the program could not trust by itself, put to the user.
struct CertificateQuestion {
    QString host;
    int port = 0;
    TTlsCertificate certificate;
    // The server was trusted before with another certificate: shown as a warning.
    bool changed = false;
};
enum class CertificateChoice { Cancel, TrustOnce, TrustAlways };

// An SSH server's host key that no known-hosts file vouches for, put to the user.
struct HostKeyQuestion {
    QString host;
    int port = 22;
    QString keyType;     // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    QString fingerprint; // "SHA256:..." as OpenSSH shows it
};

// The Synchronize window's question: the two folders, the options (read and written back),
// and the plan the preview shows for any choice of options.
struct SyncQuestion {
    QString localFolder;
    QString remoteFolder;
    SyncOptions options;
    // The plan for these options, from the trees as they are known at the time of the call.
    std::function<SyncPlan(const SyncOptions &)> plan;
    // Remote folders of the tree that are not listed yet (relative paths).
    std::function<QStringList()> unlisted;
    // Queues listings of those folders; the preview follows as they arrive.
    std::function<void()> listUnlisted;
    // Emits treesChanged() when a listing arrived (app/FolderSync).
    QObject *notifier = nullptr;
    // Set by the window: the plan the preview showed when Start was pressed.
    SyncPlan shown;
};

// Every place where the program shows a message, asks a question or opens a modal input
// goes through this port. The window implements it with real dialogs; tests implement it
// with scripted answers. Calls may run nested event loops (ticks and socket events go on).
class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A plain message box with an OK button.
    virtual void showMessage(const QString &text) = 0;
    // A message window with its own title and the error picture, for a command that cannot
    // go on. Ports without such a window show the title and text as one message.
    virtual void showError(const QString &title, const QString &text)
    {
        showMessage(title + QStringLiteral("\r\r") + text);
    }
    // A Yes/No question; true only for Yes.
    virtual bool confirm(const QString &text) = 0;
    // A Yes/No question whose default button is No, for questions the user did not ask
    // for (a URL found on the clipboard): Enter pressed by habit does not say Yes.
    virtual bool confirmDefaultNo(const QString &text) { return confirm(text); }
    // The single edit box: caption, label, the initial text (selected when shown),
    // optionally masked with "*". Returns false when the user cancels.
    virtual bool askText(const QString &caption, const QString &label, QString &text, bool masked) = 0;
    // The bug window for an unexpected error (site id, message); shown without waiting.
    virtual void showBugWindow(const QString &siteId, const QString &message) = 0;
    // The error window for a failed FTP operation: the message as its main text and the
    // details shown under "Details >>"; shown without waiting. Ports without such a
    // window show the message.
    virtual void showErrorWindow(const QString &message, const QString & /*details*/) { showMessage(message); }
    // Asks the desktop to open a file, web page or mail message. Headless ports open nothing.
    virtual void openUrl(const QUrl & /*url*/) {}
    // The overwrite prompt: modal, with a countdown that takes the default by itself. Ports
    // without a window take the default at once, as the countdown would.
    virtual OverwriteAnswer askOverwrite(const OverwriteQuestion &question) { return {question.defaultChoice, false}; }

    // --- file list commands (app/BrowserCommands) ---
    // Runs the desktop's default application for a local file; false when none could be
    // started. Headless ports start nothing.
    virtual bool openWithDesktop(const QString & /*file*/) { return false; }
    // Starts a program with an argument list (never through a shell), detached.
    virtual bool startProgram(const QString & /*program*/, const QStringList & /*arguments*/,
                              const QString & /*workingFolder*/)
    {
        return false;
    }
    // The folder picker for a local folder, opened at `start`; false when cancelled.
    virtual bool pickLocalFolder(const QString & /*start*/, QString & /*chosen*/) { return false; }
    // The file picker for one existing local file (a site's SSH key), opened at `start` (a
    // file or a folder); hidden files are shown. False when cancelled.
    virtual bool pickLocalFile(const QString & /*caption*/, const QString & /*start*/, QString & /*chosen*/)
    {
        return false;
    }
    // The remote folder picker over the given folders (canonical paths), `current` selected.
    virtual bool pickRemoteFolder(const QStringList & /*folders*/, const QString & /*current*/, QString & /*chosen*/)
    {
        return false;
    }
    // The Compare Folders dialog; `ignoreSize` is read and written back whatever the answer.
    virtual bool askCompareFolders(const QString & /*lFolder*/, const QString & /*rFolder*/, bool & /*ignoreSize*/)
    {
        return false;
    }
    // The permission dialog, opened with `code`; on OK `code` holds the confirmed code.
    virtual bool askPermissions(QString & /*code*/) { return false; }
    // The Synchronize window with its preview; true for Start, with `shown` filled in.
    virtual bool askSynchronize(SyncQuestion & /*question*/) { return false; }

    // The certificate dialog: subject, issuer, validity, fingerprint and what is wrong, with
    // "trust once", "always trust" and Cancel (the default). Ports without a window cancel.
    virtual CertificateChoice askCertificate(const CertificateQuestion & /*question*/)
    {
        return CertificateChoice::Cancel;
    }
    // The host-key question: host, key type and fingerprint, with "trust once", "always
    // trust" and Cancel (the default). Ports without a window cancel.
    virtual CertificateChoice askHostKey(const HostKeyQuestion & /*question*/) { return CertificateChoice::Cancel; }
};
