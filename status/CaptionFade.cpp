#include "status/CaptionFade.h"

#include <algorithm>

namespace CaptionFade {

namespace {

int toward(int value, int target, int step)
{
    return value < target ? std::min(value + step, target) : std::max(value - step, target);
}

} // namespace

QColor stepColor(const QColor &current, const QColor &target, int step)
{
    return QColor(toward(current.red(), target.red(), step), toward(current.green(), target.green(), step),
                  toward(current.blue(), target.blue(), step));
}

Gradient stepGradient(const Gradient &current, const Gradient &target, int step)
{
    return {stepColor(current.from, target.from, step), stepColor(current.to, target.to, step)};
}

} // namespace CaptionFade
