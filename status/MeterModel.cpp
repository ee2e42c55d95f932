#include "status/MeterModel.h"

#include <algorithm>
#include <cmath>

namespace {

// Counts only grow; a negative amount (a counter that went back) adds nothing.
void addTo(std::int64_t &counter, std::int64_t bytes)
{
    if (bytes > 0)
        counter = bytes > INT64_MAX - counter ? INT64_MAX : counter + bytes;
}

int columnHeight(std::int64_t value, std::int64_t peak, int height)
{
    const long percent = std::lround(100.0 * static_cast<double>(value) / static_cast<double>(peak));
    return static_cast<int>(std::lround(height * 0.9 * static_cast<double>(percent) / 100.0));
}

} // namespace

void MeterModel::addReceived(std::int64_t bytes)
{
    addTo(m_rxBytes, bytes);
}

void MeterModel::addSent(std::int64_t bytes)
{
    addTo(m_txBytes, bytes);
}

bool MeterModel::sample(double secondsSinceLast)
{
    const double elapsed = secondsSinceLast < 0 ? 1.0 : secondsSinceLast;
    if (!(elapsed > 0.9))
        return false;
    m_rx[static_cast<std::size_t>(m_writeIndex)] = std::llround(static_cast<double>(m_rxBytes) / elapsed);
    m_tx[static_cast<std::size_t>(m_writeIndex)] = std::llround(static_cast<double>(m_txBytes) / elapsed);
    m_writeIndex = (m_writeIndex + 1) % kSlots;
    m_rxBytes = 0;
    m_txBytes = 0;
    return true;
}

void MeterModel::reset()
{
    m_rx.fill(0);
    m_tx.fill(0);
    m_writeIndex = 0;
}

std::int64_t MeterModel::at(const Ring &ring, int k) const
{
    const int slot = ((m_writeIndex - 1 - k) % kSlots + kSlots) % kSlots;
    return ring[static_cast<std::size_t>(slot)];
}

std::int64_t MeterModel::smoothed(const Ring &ring, int k) const
{
    std::int64_t sum = 0;
    for (int i = 0; i < kSmoothing; ++i)
        sum += at(ring, k + i);
    return sum / kSmoothing;
}

MeterModel::Frame MeterModel::frame(int width, int height) const
{
    Frame f;
    if (width < 1 || height < 1)
        return f;
    f.width = width;
    f.height = height;
    std::vector<std::int64_t> rx(static_cast<std::size_t>(width)), tx(static_cast<std::size_t>(width));
    std::int64_t rxSum = 0, txSum = 0;
    for (int x = 0; x < width; ++x) {
        const int k = width - 1 - x;
        rx[static_cast<std::size_t>(x)] = smoothedReceived(k);
        tx[static_cast<std::size_t>(x)] = smoothedSent(k);
        f.peak = std::max({f.peak, rx[static_cast<std::size_t>(x)], tx[static_cast<std::size_t>(x)]});
        rxSum += rx[static_cast<std::size_t>(x)];
        txSum += tx[static_cast<std::size_t>(x)];
    }
    f.rxNow = std::max<std::int64_t>(rx.back(), 1);
    f.txNow = std::max<std::int64_t>(tx.back(), 1);
    f.rxAverage = rxSum / width;
    f.txAverage = txSum / width;
    f.rxHeight.resize(static_cast<std::size_t>(width));
    f.txHeight.resize(static_cast<std::size_t>(width));
    for (std::size_t x = 0; x < rx.size(); ++x) {
        f.rxHeight[x] = columnHeight(rx[x], f.peak, height);
        f.txHeight[x] = columnHeight(tx[x], f.peak, height);
    }
    return f;
}
