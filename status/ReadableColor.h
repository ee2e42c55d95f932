#pragma once

#include <QColor>

// Colours chosen for a light window (the log's line colours, shaded rows) made to work on
// whatever palette the desktop gives, dark ones included.
namespace ReadableColor {

// WCAG contrast ratio of two colours, 1 (none) to 21 (black on white).
double contrast(const QColor &a, const QColor &b);
// The wanted text colour when it reads well on the background (ratio 4.5 or more);
// otherwise the same hue made lighter on a dark background or darker on a light one,
// just as far as needed.
QColor on(const QColor &wanted, const QColor &background);
// True for backgrounds darker than middle grey.
bool isDark(const QColor &background);
// A faint shade of the background (shaded columns, washes): darker on light backgrounds,
// lighter on dark ones. amount 0..1.
QColor shade(const QColor &background, double amount);

} // namespace ReadableColor
