#include "support/RealFtpServers.h"

#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

RealFtpServer::~RealFtpServer() = default;

bool RealFtpServer::waitUntilAccepting(int timeoutMs)
{
    if (!m_process || !m_process->waitForStarted(timeoutMs))
        return false;
    return waitFor(
               [this] {
                   if (m_process && m_process->state() == QProcess::NotRunning)
                       return true; // ended early; reported by the caller
                   QTcpSocket probe;
                   probe.connectToHost(QHostAddress::LocalHost, m_port);
                   const bool ok = probe.waitForConnected(200);
                   probe.abort();
                   return ok;
               },
               timeoutMs) &&
           m_process && m_process->state() == QProcess::Running;
}

void RealFtpServer::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

PyFtpdServer::PyFtpdServer()
{
    m_user = QStringLiteral("anna");
    m_password = QStringLiteral("secret");
}

QString PyFtpdServer::userRoot() const
{
    return m_dir.path() + QStringLiteral("/root");
}

bool PyFtpdServer::start()
{
    QDir().mkpath(userRoot());
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpd_server.py"), QStringLiteral("--root"),
                      userRoot(), QStringLiteral("--user"), m_user, QStringLiteral("--password"), m_password});
    QByteArray out;
    const bool announced = waitFor(
        [&] {
            out += m_process->readAllStandardOutput();
            return out.contains('\n') || m_process->state() == QProcess::NotRunning;
        },
        15000);
    if (!announced || !out.startsWith("PORT ")) {
        m_error =
            QStringLiteral("pyftpdlib did not start: ") + QString::fromLocal8Bit(m_process->readAllStandardError());
        stop();
        return false;
    }
    m_port = static_cast<quint16>(out.mid(5).trimmed().toUInt());
    return waitUntilAccepting(10000);
}

VsftpdServer::VsftpdServer()
{
    m_user = QString::fromLatin1(kUser);
    m_password = QString::fromLatin1(kPassword);
}

QString VsftpdServer::userRoot() const
{
    return m_dir.path() + QStringLiteral("/home");
}

QString VsftpdServer::anonymousRoot() const
{
    return m_dir.path() + QStringLiteral("/anon");
}

bool VsftpdServer::start()
{
    if (geteuid() != 0) {
        m_error = QStringLiteral("vsftpd needs root rights to run here");
        return false;
    }
    // getpwnam hands out one static record: keep the numbers before the next call.
    const passwd *pw = getpwnam(kUser);
    const std::pair<uid_t, gid_t> user = pw ? std::pair(pw->pw_uid, pw->pw_gid) : std::pair(uid_t(0), gid_t(0));
    const passwd *ftp = getpwnam("ftp");
    const std::pair<uid_t, gid_t> anon = ftp ? std::pair(ftp->pw_uid, ftp->pw_gid) : std::pair(uid_t(0), gid_t(0));
    if (!pw || !ftp) {
        m_error = QStringLiteral("the users \"kestrin-ftptest\" and \"ftp\" must exist (scripts/test.sh creates them)");
        return false;
    }
    // vsftpd's unprivileged processes must reach the roots through the temporary folder.
    chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    QDir().mkpath(userRoot());
    QDir().mkpath(anonymousRoot() + QStringLiteral("/pub"));
    bool owned = chown(QFile::encodeName(userRoot()).constData(), user.first, user.second) == 0;
    owned =
        chown(QFile::encodeName(anonymousRoot() + QStringLiteral("/pub")).constData(), anon.first, anon.second) == 0 &&
        owned;
    if (!owned) {
        m_error = QStringLiteral("cannot hand the test roots to their users");
        return false;
    }
    m_port = freePort();
    const QString conf = m_dir.path() + QStringLiteral("/vsftpd.conf");
    const QByteArray text =
        QStringLiteral("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\n"
                       "background=NO\nanonymous_enable=YES\nanon_root=%2\nno_anon_password=YES\n"
                       "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                       "anon_other_write_enable=YES\nlocal_enable=YES\nwrite_enable=YES\n"
                       "local_root=%3\nchroot_local_user=YES\nallow_writeable_chroot=YES\n"
                       "local_umask=022\nanon_umask=022\nuserlist_enable=NO\n"
                       "pam_service_name=vsftpd\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                       "secure_chroot_dir=/var/run/vsftpd/empty\nxferlog_enable=NO\n"
                       "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
                       "ftpd_banner=Kestrin test server (vsftpd) ready.\nidle_session_timeout=120\n"
                       "max_per_ip=64\n")
            .arg(m_port)
            .arg(anonymousRoot(), userRoot())
            .toLocal8Bit();
    if (!writeText(conf, text)) {
        m_error = QStringLiteral("cannot write the vsftpd configuration");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->start(QStringLiteral("/usr/sbin/vsftpd"), {conf});
    if (!waitUntilAccepting(10000)) {
        m_error = QStringLiteral("vsftpd did not start: ") + QString::fromLocal8Bit(m_process->readAllStandardError()) +
                  QString::fromLocal8Bit(m_process->readAllStandardOutput());
        stop();
        return false;
    }
    return true;
}
