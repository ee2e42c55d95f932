#include "app/MasterTick.h"

#include "base/Guard.h"

#include <limits>

MasterTick::MasterTick(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(50);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &MasterTick::timerTimer);
}

void MasterTick::setEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

void MasterTick::timerTimer()
{
    // After about 3.4 years the counter wraps; 2 (not 0 or 1) keeps start-up from running again.
    m_tag = m_tag == std::numeric_limits<std::int32_t>::max() ? 2 : m_tag + 1;
    // An error escaping an action skips the rest of this tick only.
    guarded("nnbbasj", [this] { runDueActions(); });
}

void MasterTick::runDueActions()
{
    const std::int32_t n = m_tag;
    if (n == 1)
        timer_startup.execute();
    timer_fancycolors.execute();
    if (n % 4 == 0)
        timer_updateinterface.execute();
    if (n % 8 == 0)
        timer_xferstats.execute();
    if (n % 10 == 0) {
        timer_checkQueue.execute();
        timer_threads.execute();
        timer_retryConnect.execute();
    }
    if (n % 20 == 0) {
        timer_checkclipboard.execute();
        // The meter takes a bandwidth sample only when the tick itself is the sender.
        timer_meter.execute(&m_timer);
        timer_antitimeout.execute();
    }
    if (n % 100 == 0)
        timer_checkForNewVersion.execute();
}
