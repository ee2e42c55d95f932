#include "app/widgets/SingleInstance.h"

#include "app/ConnectController.h"
#include "base/Guard.h"
#include "sites/FtpUrl.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace {

constexpr qsizetype kMaxLink = 2048; // longer arguments are no links we take
constexpr qsizetype kMaxMessage = 64 * 1024;
const QByteArray kAcknowledge = QByteArrayLiteral("OK\n");

// A folder only this user may enter and owns.
bool isPrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink() || info.ownerId() != ::getuid())
        return false;
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return (info.permissions() & others) == 0;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QStringList SingleInstance::linksIn(const QStringList &args)
{
    QStringList links;
    for (const QString &arg : args) {
        const QString a = arg.trimmed();
        if (a.size() <= kMaxLink && connectSchemePrefixLength(a) > 0 && !a.contains(u'\n') && !a.contains(u'\r'))
            links << a;
    }
    return links;
}

QString SingleInstance::socketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QDir(runtime).filePath(QStringLiteral("kestrin-ftp.socket"));
    const QString folder = QDir::temp().filePath(QStringLiteral("kestrin-ftp-%1").arg(::getuid()));
    if (!QFileInfo::exists(folder)) {
        // mkdir with mode 0700 at once: no moment in which others may enter.
        QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    if (!isPrivateFolder(folder))
        return QString();
    return QDir(folder).filePath(QStringLiteral("kestrin-ftp.socket"));
}

bool SingleInstance::handOver(const QStringList &links, int waitMs)
{
    const QString path = socketPath();
    if (path.isEmpty() || links.isEmpty())
        return false;
    QDeadlineTimer deadline(waitMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return false;
    socket.write(links.join(QLatin1Char('\n')).toUtf8() + '\n' + '\n');
    QByteArray reply;
    while (!reply.contains('\n') && !deadline.hasExpired()) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
        else if (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            reply += socket.readAll();
        else
            break;
    }
    return reply == kAcknowledge;
}

bool SingleInstance::listen()
{
    const QString path = socketPath();
    if (path.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        // A socket left by a program that ended without closing it goes; one where a
        // program answers stays.
        QLocalSocket probe;
        probe.connectToServer(path);
        const bool alive = probe.waitForConnected(500);
        if (alive || m_server->serverError() != QAbstractSocket::AddressInUseError ||
            !QLocalServer::removeServer(path) || !m_server->listen(path)) {
            delete m_server;
            m_server = nullptr;
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readClient(socket); });
            readClient(socket);
        }
    });
    return true;
}

// The message is the links, one a line, ended by an empty line. Anything too long or not
// an FTP link is dropped.
void SingleInstance::readClient(QLocalSocket *socket)
{
    QByteArray buffer = socket->property("received").toByteArray() + socket->readAll();
    if (buffer.size() > kMaxMessage) {
        socket->abort();
        return;
    }
    socket->setProperty("received", buffer);
    if (!buffer.endsWith("\n\n"))
        return;
    socket->write(kAcknowledge);
    socket->flush();
    const QStringList links = linksIn(QString::fromUtf8(buffer).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    socket->disconnectFromServer();
    for (const QString &link : links)
        emit linkReceived(link);
}

void serveLinks(SingleInstance &instance, ConnectController &connection, QWidget &window, const QStringList &ownLinks)
{
    QObject::connect(&instance, &SingleInstance::linkReceived, &window, [&connection, &window](const QString &url) {
        window.showNormal();
        window.raise();
        window.activateWindow();
        // Later, from the event loop: connecting may wait for the old connection to close.
        QTimer::singleShot(0, &window, [&connection, url] { guarded("silink", [&] { connection.connectLink(url); }); });
    });
    instance.listen();
    if (!ownLinks.isEmpty()) {
        const QString url = ownLinks.first();
        QTimer::singleShot(0, &window, [&connection, url] { guarded("silnk1", [&] { connection.connectLink(url); }); });
    }
}
