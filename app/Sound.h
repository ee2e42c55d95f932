#pragma once

#include <QString>

// Plays a sound file without waiting, through the desktop's command-line player
// (paplay, then aplay) when one is installed. A missing player, device or file never
// fails anything: the sound is then simply not heard.
void playSoundFile(const QString &path) noexcept;
