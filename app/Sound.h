#pragma once

#include <QString>
#include <QStringList>

// Plays a sound file without waiting, through the desktop's command-line player
// (paplay, then aplay) when one is installed. A missing player, device or file never
// fails anything: the sound is then simply not heard. The players run as child processes
// of the program, so shut-down can end them.
void playSoundFile(const QString &path) noexcept;
// Ends every sound still playing (shut-down), each within a bounded wait.
void stopSounds() noexcept;
// The players running now.
int playingSounds();
// The player programs tried in order, by name (searched on PATH) or path. Tests replace
// them; an empty list restores paplay and aplay.
void setSoundPlayers(const QStringList &programs);
