#pragma once

#include <QColor>

// The caption bars' colour fading: each tick moves a caption's gradient a step toward the
// gradient it should show (active or inactive), each of red, green and blue by at most
// `step`, stopping exactly on the target.
namespace CaptionFade {

struct Gradient {
    QColor from, to;
    bool operator==(const Gradient &o) const { return from == o.from && to == o.to; }
};

inline constexpr int kStep = 25;
// With "disableFancyColors" colours jump at once.
inline constexpr int kJump = 255;

QColor stepColor(const QColor &current, const QColor &target, int step);
Gradient stepGradient(const Gradient &current, const Gradient &target, int step);

} // namespace CaptionFade
