#include "status/TransferStats.h"

#include "base/TextUtil.h"

#include <algorithm>

namespace TransferStats {

namespace {

QString placeholder(std::int64_t seconds)
{
    // "?" after one second, one more ".?" for each further second up to four.
    QString text = QStringLiteral("?");
    for (std::int64_t i = 1; i < std::min<std::int64_t>(seconds, 4); ++i)
        text += QStringLiteral(".?");
    return text;
}

} // namespace

std::int64_t divideRounded(std::int64_t a, std::int64_t b)
{
    if (b <= 0)
        return 0;
    const bool negative = a < 0;
    const std::uint64_t ua = negative ? 0 - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
    const std::uint64_t ub = static_cast<std::uint64_t>(b);
    std::uint64_t q = ua / ub;
    const std::uint64_t r = ua % ub;
    if (r * 2 > ub || (r * 2 == ub && (q % 2) == 1))
        ++q;
    const auto result = static_cast<std::int64_t>(q);
    return negative ? -result : result;
}

int percentDone(std::int64_t done, std::int64_t size)
{
    if (size <= 0)
        return 100;
    done = std::clamp<std::int64_t>(done, 0, size);
    // 100 × done overflows for sizes near 2^63 / 100; the quotient first keeps it exact enough.
    if (done > INT64_MAX / 100)
        return static_cast<int>(divideRounded(done, size / 100));
    return static_cast<int>(divideRounded(done * 100, size));
}

QString percentDoneText(std::int64_t done, std::int64_t size, const QLocale &locale)
{
    if (size <= 0)
        return QStringLiteral("0,0% done");
    const double share = 100.0 * static_cast<double>(std::max<std::int64_t>(done, 0)) / static_cast<double>(size);
    return locale.toString(share, 'f', 1) + QStringLiteral("% done");
}

Figures compute(std::int64_t byteCount, std::int64_t resumeAt, std::int64_t elapsedMs, std::int64_t size,
                const QLocale &locale)
{
    byteCount = std::max<std::int64_t>(byteCount, 0);
    resumeAt = std::max<std::int64_t>(resumeAt, 0);
    const std::int64_t done = byteCount + resumeAt;
    // Whole seconds, rounded; the first half second counts as one so nothing divides by 0.
    const std::int64_t elapsed = std::max<std::int64_t>(divideRounded(std::max<std::int64_t>(elapsedMs, 0), 1000), 1);
    const std::int64_t rate = byteCount / elapsed;

    Figures f;
    f.statusText = formatKilobytes(done, true) + QStringLiteral("KB @ ") +
                   locale.toString(static_cast<double>(rate) / 1024.0, 'f', 1) + QStringLiteral("KB/s");
    if (elapsed > 4) {
        if (rate > 0) {
            const std::int64_t remaining = std::max<std::int64_t>(size - done, 0) / rate;
            f.timeLeftText = QStringLiteral("%1m %2s").arg(remaining / 60).arg(remaining % 60);
        }
    } else {
        f.timeLeftText = placeholder(elapsed);
    }
    f.percent = percentDone(done, size);
    return f;
}

} // namespace TransferStats
