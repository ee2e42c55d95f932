#include "support/TempHome.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

namespace {
void pointAt(const QString &home)
{
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toLocal8Bit());
}
} // namespace

TempHome::TempHome()
    : m_oldHome(qgetenv("HOME")), m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    pointAt(m_dir.path());
}

TempHome::~TempHome()
{
    qputenv("HOME", m_oldHome);
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

QString TempHome::programData() const
{
    return m_dir.path() + QStringLiteral("/.local/share/Tamberlyn/Kestrin FTP Pro/Program Data/");
}

void TempHome::isolateProcess()
{
    static QTemporaryDir processHome(QDir::tempPath() + QStringLiteral("/kestrin-test-home-XXXXXX"));
    pointAt(processHome.path());
    // A program started by a test never asks the maker's server for new releases: its
    // once-per-run check goes to a closed port on this machine instead.
    qputenv("KESTRIN_VERSION_CHECK_URL", "http://127.0.0.1:9/!tools/checkversion.php");
    // Nor does it reach the desktop's secret store: the session bus is one that does not
    // exist, unless a test hands its own bus to a child process.
    const QByteArray bus = qgetenv("KESTRIN_TEST_SESSION_BUS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.isEmpty() ? QByteArray("unix:path=/nonexistent/kestrin-test-bus") : bus);
}
