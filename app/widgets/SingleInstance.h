#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class ConnectController;
class QLocalServer;
class QWidget;

// One running program per user: the first start listens on a local socket; a later start
// with ftp:// links on its command line hands them to it and ends, so a link opened in a
// browser or file manager connects in the window that is already open.
//
// The socket lives in $XDG_RUNTIME_DIR, or else in a folder of the user's own (mode 0700)
// under the temporary folder; a folder someone else owns or others may enter is not used.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // The links among the command line's arguments (ftp://, ftps://, ftpes://, sftp://).
    static QStringList linksIn(const QStringList &args);
    // The socket's path; empty when no safe folder could be found.
    static QString socketPath();

    // Hands the links to a running program: true when it took them (this start ends).
    // Waits at most waitMs in all.
    bool handOver(const QStringList &links, int waitMs = 3000);
    // Starts listening for later starts; false when no socket could be made.
    bool listen();

signals:
    // A later start handed over this link.
    void linkReceived(const QString &url);

private:
    void readClient(class QLocalSocket *socket);

    QLocalServer *m_server = nullptr;
};

// Listens for later starts and connects to the links they hand over, raising the window.
// With links of this start, connects to the first once start-up has run.
void serveLinks(SingleInstance &instance, ConnectController &connection, QWidget &window, const QStringList &ownLinks);
