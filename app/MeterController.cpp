#include "app/MeterController.h"

#include "app/SessionSupervisor.h"
#include "settings/SettingsCatalogue.h"

MeterController::MeterController(const tSetupClass &setup, SessionSupervisor &sessions, QObject *parent)
    : QObject(parent), m_setup(setup)
{
    connect(&sessions, &SessionSupervisor::displayLine, this,
            [this](tkftpclient *, const QString &line) { countLine(line); });
}

void MeterController::countLine(const QString &line)
{
    if (line.startsWith(QLatin1Char('<')))
        m_model.addReceived(line.size());
    else if (line.startsWith(QLatin1Char('>')))
        m_model.addSent(line.size());
}

void MeterController::timer_meter(bool startupDone)
{
    if (!startupDone || read(m_setup, Keys::disableBandwidthMeter))
        return;
    const std::int64_t now = m_clock();
    const double seconds = m_lastSampleMs ? static_cast<double>(now - *m_lastSampleMs) / 1000.0 : -1.0;
    if (m_model.sample(seconds)) {
        m_lastSampleMs = now;
        emit sampled();
    }
}

void MeterController::resetMeter()
{
    m_model.reset();
    emit sampled();
}
