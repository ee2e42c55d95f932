#include "support/FtpServers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

#include <algorithm>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

bool RealFtpServer::hostAvailable()
{
    if (host() != QLatin1String("::1") || ServerProcess::hasIPv6Loopback())
        return true;
    m_failure = m_skipReason = QStringLiteral("this machine has no IPv6 loopback address (::1)");
    return false;
}

bool PyftpdlibServer::start()
{
    if (!hostAvailable())
        return false;
    const QString python = QStringLiteral("/usr/bin/python3"); // Debian's, where pyftpdlib is
    m_user = QStringLiteral("kestrin");
    m_password = QStringLiteral("s3cret pass");
    m_localWritable = m_dir.path();
    m_writablePath = QStringLiteral("/");
    const uint16_t port = ServerProcess::freePort(host());
    const QString script = QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpdlib_server.py");
    QStringList args{script, QString::number(port), m_dir.path(), m_user, m_password};
    if (m_logCommands || m_recordTransfers)
        args << QStringLiteral("commands");
    if (m_connectionLimit > 0)
        args << QStringLiteral("maxcons=%1").arg(m_connectionLimit);
    if (m_rate > 0)
        args << QStringLiteral("rate=%1").arg(m_rate);
    args << QStringLiteral("host=") + host();
    if (!m_process.start(python, args, port)) {
        m_failure = QStringLiteral("pyftpdlib did not start: ") + m_process.readLog();
        return false;
    }
    return true;
}

bool VsftpdServer::start()
{
    const QString program = QStringLiteral("/usr/sbin/vsftpd");
    if (!QFile::exists(program)) {
        m_failure = QStringLiteral("vsftpd is not installed (scripts/install-deps.sh installs it)");
        return false;
    }
    const passwd *ftpUser = ::getpwnam("ftp");
    if (::geteuid() != 0 || ftpUser == nullptr) {
        m_failure = m_skipReason = QStringLiteral("vsftpd needs root and the system user ftp");
        return false;
    }
    if (!hostAvailable())
        return false;
    m_user = QStringLiteral("anonymous");
    m_password = QStringLiteral("test@example.invalid");
    const QString root = m_dir.filePath(QStringLiteral("root"));
    const QString pub = root + QStringLiteral("/pub");
    const QString empty = m_dir.filePath(QStringLiteral("empty"));
    QDir().mkpath(pub);
    QDir().mkpath(empty);
    // vsftpd refuses a chroot the anonymous user could write to, and needs every folder
    // on the way readable.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(root).constData(), 0755);
    ::chmod(QFile::encodeName(empty).constData(), 0755);
    if (::chown(QFile::encodeName(pub).constData(), ftpUser->pw_uid, ftpUser->pw_gid) != 0)
        return false;
    m_localWritable = pub;
    m_writablePath = QStringLiteral("/pub");
    const uint16_t port = ServerProcess::freePort(host());
    const bool ipv6 = host() == QLatin1String("::1");
    const QString conf = m_dir.filePath(QStringLiteral("vsftpd.conf"));
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                 : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\npasv_address=127.0.0.1\n");
    f.write(QStringLiteral("listen_port=%1\nbackground=NO\n"
                           "anonymous_enable=YES\nno_anon_password=YES\nanon_root=%2\nanon_upload_enable=YES\n"
                           "anon_mkdir_write_enable=YES\nanon_other_write_enable=YES\nanon_umask=022\n"
                           "local_enable=YES\npam_service_name=vsftpd\nwrite_enable=YES\nsecure_chroot_dir=%3\n"
                           "seccomp_sandbox=NO\ndelay_failed_login=0\n")
                .arg(port)
                .arg(root, empty)
                .toLocal8Bit());
    f.write(m_recordTransfers ? QStringLiteral("xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
                                               "vsftpd_log_file=%1\n")
                                    .arg(m_dir.filePath(QStringLiteral("vsftpd.log")))
                                    .toLocal8Bit()
                              : QByteArray("xferlog_enable=NO\n"));
    if (m_convertsText)
        f.write("ascii_upload_enable=YES\nascii_download_enable=YES\n");
    if (m_connectionLimit > 0)
        f.write(QStringLiteral("max_clients=%1\n").arg(m_connectionLimit).toLocal8Bit());
    if (m_tls != Tls::None) {
        const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        if (!makeTestCertificate(cert, key, &m_failure))
            return false;
        f.write(QStringLiteral("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                               "force_anon_data_ssl=%4\nrequire_ssl_reuse=YES\nssl_ciphers=HIGH\n"
                               "rsa_cert_file=%1\nrsa_private_key_file=%2\nimplicit_ssl=%3\n")
                    .arg(cert, key, m_tls == Tls::Implicit ? QStringLiteral("YES") : QStringLiteral("NO"),
                         m_clearDataAllowed ? QStringLiteral("NO") : QStringLiteral("YES"))
                    .toLocal8Bit());
    }
    f.close();
    if (!m_process.start(program, {conf}, port)) {
        m_failure = QStringLiteral("vsftpd did not start: ") + m_process.readLog();
        return false;
    }
    return true;
}

bool makeTestCertificate(const QString &cert, const QString &key, QString *error)
{
    QProcess openssl;
    openssl.start(QStringLiteral("/usr/bin/openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=localhost"), QStringLiteral("-days"), QStringLiteral("1"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        openssl.kill();
        openssl.waitForFinished(1000);
        if (error)
            *error = QStringLiteral("openssl req failed: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    return true;
}

std::unique_ptr<RealFtpServer> makeRealServer(ServerKind kind)
{
    if (kind == ServerKind::Pyftpdlib)
        return std::make_unique<PyftpdlibServer>();
    return std::make_unique<VsftpdServer>();
}

QStringList PyftpdlibServer::receivedCommands() const
{
    QStringList commands;
    const QString marker = QStringLiteral("] <- ");
    QStringList lines = m_process.readWholeLog().split(QLatin1Char('\n'));
    lines.removeLast(); // a line still being written, or the empty rest after the last one
    for (const QString &line : std::as_const(lines)) {
        const qsizetype at = line.indexOf(marker);
        if (at >= 0)
            commands << line.mid(at + marker.size()).trimmed();
    }
    return commands;
}

RealFtpServer::Overlap RealFtpServer::transferOverlap() const
{
    Overlap result;
    QSet<QString> open, used;
    const QStringList lines = record().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        QString connection, text;
        if (!protocolLine(line, connection, text))
            continue;
        if (text.startsWith(QLatin1String("<- RETR ")) || text.startsWith(QLatin1String("<- STOR "))) {
            open.insert(connection);
            used.insert(connection);
            result.mostAtOnce = std::max(result.mostAtOnce, static_cast<int>(open.size()));
        } else if (text.startsWith(QLatin1String("-> ")) && text.size() > 3 && text[3] >= QLatin1Char('2') &&
                   !text.startsWith(QLatin1String("-> 150")) && !text.startsWith(QLatin1String("-> 125"))) {
            open.remove(connection); // the final reply of whatever the connection did
        }
    }
    result.connections = static_cast<int>(used.size());
    return result;
}

QStringList RealFtpServer::recordedCommands() const
{
    QStringList commands;
    const QStringList lines = record().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        QString connection, text;
        if (protocolLine(line, connection, text) && text.startsWith(QLatin1String("<- ")))
            commands << text.mid(3);
    }
    return commands;
}

bool PyftpdlibServer::protocolLine(const QString &line, QString &connection, QString &text) const
{
    // "DEBUG:pyftpdlib:127.0.0.1:40314-[u] <- RETR a"
    const qsizetype at = line.indexOf(QLatin1String("] "));
    const qsizetype dash = line.indexOf(QLatin1String("-["));
    if (at < 0 || dash < 0 || dash > at)
        return false;
    connection = line.left(dash);
    text = line.mid(at + 2);
    return text.startsWith(QLatin1String("<- ")) || text.startsWith(QLatin1String("-> "));
}

QString PyftpdlibServer::record() const
{
    return m_process.readWholeLog();
}

bool VsftpdServer::protocolLine(const QString &line, QString &connection, QString &text) const
{
    // "Fri Dec 11 01:00:00 2026 [pid 1234] [ftp] FTP command: Client "127.0.0.1", "RETR a""
    const qsizetype pid = line.indexOf(QLatin1String("[pid "));
    if (pid < 0)
        return false;
    connection = line.mid(pid, line.indexOf(QLatin1Char(']'), pid) - pid);
    const qsizetype quote = line.indexOf(QLatin1String("\", \""));
    if (quote < 0)
        return false;
    const QString said = line.mid(quote + 4).chopped(1);
    if (line.contains(QLatin1String("FTP command:")))
        text = QStringLiteral("<- ") + said;
    else if (line.contains(QLatin1String("FTP response:")))
        text = QStringLiteral("-> ") + said;
    else
        return false;
    return true;
}

QString VsftpdServer::record() const
{
    QFile f(m_dir.filePath(QStringLiteral("vsftpd.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

tSiteRecord siteOf(const RealFtpServer &server, const QString &name)
{
    tSiteRecord site;
    site.name = name;
    site.Host = server.host();
    site.Port = QString::number(server.port());
    site.User = server.user();
    site.Pass = server.password();
    return site;
}
