#include "support/SshServer.h"

#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

bool runSshTool(const QString &program, const QStringList &arguments, QString *output,
                const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    const bool finished = process.waitForFinished(30000);
    if (!finished)
        process.kill();
    process.waitForFinished(5000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool makeSshKey(const QString &path, const QString &passphrase)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".pub"));
    return runSshTool(QStringLiteral("ssh-keygen"),
                      {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"),
                       passphrase, QStringLiteral("-C"), QStringLiteral("kestrin-test"), QStringLiteral("-f"), path});
}

namespace {

// The processes below `parent`, children before their own children, from /proc.
QList<pid_t> descendants(pid_t parent)
{
    QList<pid_t> found;
    QList<pid_t> pending{parent};
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    while (!pending.isEmpty()) {
        const pid_t current = pending.takeFirst();
        for (const QString &entry : entries) {
            bool numeric = false;
            const pid_t pid = entry.toInt(&numeric);
            if (!numeric)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) state ppid ...": the name may hold spaces, so read after its ')'.
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields.at(1).toInt() == current) {
                found << pid;
                pending << pid;
            }
        }
    }
    return found;
}

} // namespace

void OpenSshServer::dropConnections()
{
    if (m_process.pid() <= 0)
        return;
    for (const pid_t pid : descendants(m_process.pid()))
        ::kill(pid, SIGKILL);
}

void OpenSshServer::stop()
{
    dropConnections();
    m_process.stop();
}

bool OpenSshServer::authorise(const QString &keyPath)
{
    QFile pub(keyPath + QStringLiteral(".pub"));
    QFile keys(m_dir.filePath(QStringLiteral("authorized_keys")));
    if (!pub.open(QIODevice::ReadOnly) || !keys.open(QIODevice::Append))
        return false;
    keys.write(pub.readAll());
    return true;
}

bool OpenSshServer::start()
{
    const QString sshd = QStringLiteral("/usr/sbin/sshd");
    if (!QFileInfo(sshd).isExecutable()) {
        m_skipReason = QStringLiteral("/usr/sbin/sshd is not installed (openssh-server; scripts/install-deps.sh)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_failure = QStringLiteral("no temporary folder");
        return false;
    }
    // sshd started by root wants its privilege-separation folder; a machine whose own sshd
    // never ran may lack it (it lives in /run, which starts empty).
    if (::geteuid() == 0 && !QFileInfo::exists(QStringLiteral("/run/sshd")))
        ::mkdir("/run/sshd", 0755);
    const passwd *pw = ::getpwuid(::geteuid());
    m_user = pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
    QDir(m_dir.path()).mkpath(QStringLiteral("scratch"));
    const QString hostKey = m_dir.filePath(QStringLiteral("host_ed25519"));
    if (!makeSshKey(hostKey) || !makeSshKey(clientKey()) || !authorise(clientKey())) {
        m_failure = QStringLiteral("ssh-keygen failed");
        return false;
    }
    QFile hostPub(hostKey + QStringLiteral(".pub"));
    if (!hostPub.open(QIODevice::ReadOnly)) {
        m_failure = QStringLiteral("no host key");
        return false;
    }
    const QList<QByteArray> fields = hostPub.readAll().simplified().split(' ');
    m_hostKeyLine = QString::fromLatin1(fields.value(0) + ' ' + fields.value(1));

    const uint16_t port = ServerProcess::freePort();
    const QString config = m_dir.filePath(QStringLiteral("sshd_config"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        m_failure = QStringLiteral("cannot write the sshd configuration");
        return false;
    }
    const QString text = QStringLiteral("Port %1\n"
                                        "ListenAddress 127.0.0.1\n"
                                        "HostKey %2\n"
                                        "PidFile %3\n"
                                        "AuthorizedKeysFile %4\n"
                                        "StrictModes no\n"
                                        "UsePAM no\n"
                                        "PasswordAuthentication no\n"
                                        "KbdInteractiveAuthentication no\n"
                                        "PubkeyAuthentication yes\n"
                                        "PermitRootLogin prohibit-password\n"
                                        "AllowUsers %5\n"
                                        "MaxStartups 50\n"
                                        "LogLevel VERBOSE\n"
                                        "Subsystem sftp internal-sftp\n")
                             .arg(port)
                             .arg(hostKey, m_dir.filePath(QStringLiteral("sshd.pid")),
                                  m_dir.filePath(QStringLiteral("authorized_keys")), m_user);
    file.write(text.toUtf8());
    file.close();
    if (!m_process.start(sshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config}, port)) {
        m_failure = QStringLiteral("sshd did not start: ") + m_process.readLog();
        return false;
    }
    return true;
}

bool ParamikoSftpServer::start(const QString &method, const QString &user, const QString &password)
{
    const QString hostKey = m_dir.filePath(QStringLiteral("host_ed25519"));
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("root")) || !makeSshKey(hostKey)) {
        m_failure = QStringLiteral("cannot make the server's folder or host key");
        return false;
    }
    QFile pub(hostKey + QStringLiteral(".pub"));
    if (!pub.open(QIODevice::ReadOnly)) {
        m_failure = QStringLiteral("no host key");
        return false;
    }
    const QList<QByteArray> fields = pub.readAll().simplified().split(' ');
    const uint16_t port = ServerProcess::freePort();
    m_knownLine = "[127.0.0.1]:" + QByteArray::number(port) + ' ' + fields.value(0) + ' ' + fields.value(1) + '\n';
    const QString script = QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/paramiko_sftp_server.py");
    if (!m_process.start(QStringLiteral("/usr/bin/python3"),
                         {script, QString::number(port), hostKey, root(), user, password, method}, port)) {
        m_failure = QStringLiteral("the paramiko server did not start: ") + m_process.readLog();
        return false;
    }
    return true;
}

SshAgent::~SshAgent()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SshAgent::start()
{
    if (!m_dir.isValid())
        return false;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("ssh-agent"), {QStringLiteral("-D"), QStringLiteral("-a"), socket()});
    if (!m_process.waitForStarted(10000))
        return false;
    return waitFor([this] { return QFileInfo::exists(socket()); }, 10000);
}

bool SshAgent::add(const QString &keyPath)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSH_AUTH_SOCK"), socket());
    return runSshTool(QStringLiteral("ssh-add"), {QStringLiteral("-q"), keyPath}, nullptr, environment);
}

void startForTest(OpenSshServer &server)
{
    if (server.start())
        return;
    if (!server.skipReason().isEmpty())
        GTEST_SKIP() << server.skipReason().toStdString();
    FAIL() << server.failure().toStdString();
}
