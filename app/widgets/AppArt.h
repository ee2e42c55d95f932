#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, drawn in code: the window and tray icon (a kestrin in a
// blue disc) and toolbar glyphs.
namespace AppArt {

QPixmap emblem(int size);
QIcon appIcon();
// A funnel (name filters) and a padlock (permissions).
QIcon filterIcon();
QIcon permissionsIcon();

} // namespace AppArt
