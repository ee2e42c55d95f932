#include "status/ReadableColor.h"

#include <algorithm>
#include <cmath>

namespace ReadableColor {

namespace {

constexpr double kWanted = 4.5;

double channel(double c)
{
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool isDark(const QColor &background)
{
    return luminance(background) < 0.18;
}

QColor on(const QColor &wanted, const QColor &background)
{
    if (contrast(wanted, background) >= kWanted)
        return wanted;
    const bool lighten = isDark(background);
    float h = 0, s = 0, l = 0, a = 0;
    wanted.toHsl().getHslF(&h, &s, &l, &a);
    // Twenty steps toward white or black: the first that reads well.
    QColor best = wanted;
    for (int step = 1; step <= 20; ++step) {
        const float t = static_cast<float>(step) / 20.0f;
        const float nl = lighten ? l + (1.0f - l) * t : l * (1.0f - t);
        best = QColor::fromHslF(h, s, nl, a);
        if (contrast(best, background) >= kWanted)
            break;
    }
    return best;
}

QColor shade(const QColor &background, double amount)
{
    const QColor towards = isDark(background) ? QColor(255, 255, 255) : QColor(0, 0, 0);
    const auto mix = [amount](int from, int to) { return static_cast<int>(std::lround(from + (to - from) * amount)); };
    const QColor b = background.toRgb();
    return QColor(mix(b.red(), towards.red()), mix(b.green(), towards.green()), mix(b.blue(), towards.blue()));
}

} // namespace ReadableColor
