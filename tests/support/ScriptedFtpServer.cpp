#include "support/ScriptedFtpServer.h"

#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {
QByteArray line(const QString &text)
{
    return text.toUtf8() + "\r\n";
}
} // namespace

using Step = ScriptedFtpServer::Step;

Step::Action &Step::add(Kind kind, const QByteArray &bytes, int number)
{
    m_actions.push_back(Action{kind, bytes, number, {}});
    return m_actions.back();
}

Step &Step::reply(const QString &text)
{
    add(Kind::Send, line(text));
    return *this;
}

Step &Step::raw(const QByteArray &bytes)
{
    add(Kind::Send, bytes);
    return *this;
}

Step &Step::replySplit(const QString &text, int pieceSize)
{
    const QByteArray all = line(text);
    for (qsizetype i = 0; i < all.size(); i += pieceSize) {
        if (i > 0)
            delay(15);
        add(Kind::Send, all.mid(i, pieceSize));
    }
    return *this;
}

Step &Step::delay(int ms)
{
    add(Kind::Delay, QByteArray(), ms);
    return *this;
}

Step &Step::dropControl()
{
    add(Kind::DropControl);
    return *this;
}

Step &Step::pasv(const QString &format)
{
    add(Kind::Pasv, format.toUtf8());
    return *this;
}

Step &Step::pasvSplit(int pieceSize, const QString &format)
{
    add(Kind::Pasv, format.toUtf8(), pieceSize);
    return *this;
}

Step &Step::epsv()
{
    add(Kind::Pasv, QByteArray("229 Entering Extended Passive Mode (|||%3|)"));
    return *this;
}

Step &Step::connectActive()
{
    add(Kind::ConnectActive);
    return *this;
}

Step &Step::dataSend(const QByteArray &bytes)
{
    add(Kind::DataSend, bytes);
    return *this;
}

Step &Step::dataSendSplit(const QByteArray &bytes, int pieceSize)
{
    for (qsizetype i = 0; i < bytes.size(); i += pieceSize) {
        if (i > 0)
            delay(15);
        add(Kind::DataSend, bytes.mid(i, pieceSize));
    }
    return *this;
}

Step &Step::dataReceive()
{
    add(Kind::DataReceive);
    return *this;
}

Step &Step::dataClose()
{
    add(Kind::DataClose);
    return *this;
}

Step &Step::dataReset()
{
    add(Kind::DataReset);
    return *this;
}

Step &Step::call(std::function<void()> fn)
{
    add(Kind::Call).fn = std::move(fn);
    return *this;
}

ScriptedFtpServer::ScriptedFtpServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedFtpServer::onNewConnection);
}

bool ScriptedFtpServer::listenIPv6()
{
    m_server->close();
    return m_server->listen(QHostAddress::LocalHostIPv6, 0);
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    if (m_control)
        m_control->abort();
    if (m_data)
        m_data->abort();
}

quint16 ScriptedFtpServer::port() const
{
    return m_server->serverPort();
}

Step &ScriptedFtpServer::greet()
{
    m_steps.emplace_back();
    m_steps.back().m_greeting = true;
    return m_steps.back();
}

Step &ScriptedFtpServer::on(const QString &command)
{
    m_steps.emplace_back();
    m_steps.back().m_expect = command;
    return m_steps.back();
}

bool ScriptedFtpServer::controlConnected() const
{
    return m_control && m_control->state() == QAbstractSocket::ConnectedState;
}

void ScriptedFtpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        m_control = socket;
        m_lineBuffer.clear();
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedFtpServer::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (!m_steps.empty() && m_steps.front().m_greeting) {
            Step step = std::move(m_steps.front());
            m_steps.pop_front();
            startStep(std::move(step));
        }
    }
}

void ScriptedFtpServer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_control)
        return;
    m_lineBuffer += socket->readAll();
    qsizetype nl;
    while ((nl = m_lineBuffer.indexOf('\n')) >= 0) {
        QByteArray l = m_lineBuffer.left(nl);
        m_lineBuffer.remove(0, nl + 1);
        if (l.endsWith('\r'))
            l.chop(1);
        m_pendingLines << QString::fromUtf8(l);
        m_pendingRaw << l;
    }
    dispatchLines();
}

void ScriptedFtpServer::dispatchLines()
{
    while (!m_running && !m_pendingLines.isEmpty()) {
        const QString command = m_pendingLines.takeFirst();
        m_transcript << command;
        m_rawTranscript << m_pendingRaw.takeFirst();
        if (command.startsWith(QLatin1String("PORT "), Qt::CaseInsensitive) ||
            command.startsWith(QLatin1String("EPRT "), Qt::CaseInsensitive))
            m_lastPort = command.mid(5).trimmed();
        if (m_steps.empty()) {
            m_errors << QStringLiteral("unscripted command \"%1\"").arg(command);
            if (m_control)
                m_control->write("502 Not scripted.\r\n");
            continue;
        }
        const QString &expect = m_steps.front().m_expect;
        const bool matches =
            expect.endsWith(QLatin1Char('*')) ? command.startsWith(expect.chopped(1)) : command == expect;
        if (!matches) {
            m_errors << QStringLiteral("expected \"%1\", got \"%2\"").arg(expect, command);
            if (m_control)
                m_control->write("500 Unexpected command.\r\n");
            continue;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        startStep(std::move(step));
    }
}

void ScriptedFtpServer::startStep(Step step)
{
    m_current = std::move(step.m_actions);
    m_next = 0;
    m_running = true;
    runNext();
}

void ScriptedFtpServer::runNext()
{
    m_waiting = false;
    while (m_next < m_current.size()) {
        const Step::Action &a = m_current[m_next];
        if (a.kind == Step::Kind::Delay) {
            ++m_next;
            m_waiting = true;
            QTimer::singleShot(a.number, this, &ScriptedFtpServer::runNext);
            return;
        }
        if (!runAction(a)) {
            m_waiting = true;
            return;
        }
        ++m_next;
    }
    m_current.clear();
    m_running = false;
    // Commands that arrived while the step ran are answered now, in order.
    QTimer::singleShot(0, this, &ScriptedFtpServer::dispatchLines);
}

bool ScriptedFtpServer::dataReady() const
{
    return m_data && m_data->state() == QAbstractSocket::ConnectedState;
}

bool ScriptedFtpServer::runAction(const Step::Action &a)
{
    switch (a.kind) {
    case Step::Kind::Send:
        if (m_control) {
            m_control->write(a.bytes);
            m_control->flush();
        }
        return true;
    case Step::Kind::DropControl:
        if (m_control)
            m_control->disconnectFromHost();
        return true;
    case Step::Kind::Pasv: {
        const int pieceSize = a.number;
        const QByteArray text = openPasv(a.bytes);
        if (pieceSize <= 0) {
            if (m_control) {
                m_control->write(text);
                m_control->flush();
            }
            return true;
        }
        // The pieces run as the next actions of this step (a is not used past this point).
        std::vector<Step::Action> pieces;
        for (qsizetype i = 0; i < text.size(); i += pieceSize) {
            if (i > 0)
                pieces.push_back({Step::Kind::Delay, QByteArray(), 15, {}});
            pieces.push_back({Step::Kind::Send, text.mid(i, pieceSize), 0, {}});
        }
        m_current.insert(m_current.begin() + static_cast<std::ptrdiff_t>(m_next) + 1, pieces.begin(), pieces.end());
        return true;
    }
    case Step::Kind::ConnectActive:
        connectActive();
        return true;
    case Step::Kind::DataSend:
        if (!dataReady())
            return false; // resumed when the data connection is up
        m_data->write(a.bytes);
        m_data->flush();
        return true;
    case Step::Kind::DataReceive:
        if (!m_dataFinished)
            return false; // resumed when the client closes the data connection
        return true;
    case Step::Kind::DataClose:
        if (m_data)
            m_data->disconnectFromHost();
        m_data = nullptr;
        m_dataFinished = false;
        return true;
    case Step::Kind::DataReset:
        if (!dataReady())
            return false;
        m_data->flush();
        {
            // Lingering with a zero timeout makes the close a reset.
            const linger hard{1, 0};
            ::setsockopt(static_cast<int>(m_data->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        // What the client sent so far is kept; the socket's own handlers go with it.
        m_received += m_data->readAll();
        QObject::disconnect(m_data, nullptr, this, nullptr);
        m_data->abort();
        m_data->deleteLater();
        m_data = nullptr;
        m_dataFinished = false;
        return true;
    case Step::Kind::Call:
        a.fn();
        return true;
    case Step::Kind::Delay: // handled by runNext
        break;
    }
    return true;
}

void ScriptedFtpServer::onDataConnection(QTcpSocket *socket)
{
    m_data = socket;
    m_dataFinished = false;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { m_received += socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_received += socket->readAll();
        if (socket == m_data)
            m_dataFinished = true;
        socket->deleteLater();
        if (m_waiting)
            runNext();
    });
    if (m_waiting)
        runNext();
}

QByteArray ScriptedFtpServer::openPasv(const QByteArray &format)
{
    delete m_dataServer;
    m_dataServer = new QTcpServer(this);
    m_dataServer->listen(m_server->serverAddress(), 0);
    connect(m_dataServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_dataServer->nextPendingConnection())
            onDataConnection(s);
    });
    const quint16 p = m_dataServer->serverPort();
    const QString ports = QStringLiteral("%1,%2").arg(p >> 8).arg(p & 0xFF);
    // Plain replacement: arg() would give %2 the first value when the format has no %1.
    const QString text = QString::fromUtf8(format)
                             .replace(QLatin1String("%1"), QStringLiteral("127,0,0,1,") + ports)
                             .replace(QLatin1String("%2"), ports)
                             .replace(QLatin1String("%3"), QString::number(p));
    return line(text);
}

void ScriptedFtpServer::connectActive()
{
    QString host;
    quint16 p = 0;
    const QStringList parts = m_lastPort.split(QLatin1Char(','));
    const QStringList extended = m_lastPort.split(QLatin1Char('|')); // EPRT |af|address|port|
    if (parts.size() == 6) {
        host = parts.mid(0, 4).join(QLatin1Char('.'));
        p = static_cast<quint16>(parts[4].toUInt() * 256 + parts[5].toUInt());
    } else if (extended.size() == 5) {
        host = extended[2];
        p = static_cast<quint16>(extended[3].toUInt());
    } else {
        m_errors << QStringLiteral("no usable PORT or EPRT command before an active data connection");
        return;
    }
    auto *socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, this, [this, socket] { onDataConnection(socket); });
    socket->connectToHost(QHostAddress(host), p);
}
