#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

class QueueItem;

// What the user chooses when a transfer's target file already exists; the numbers are the
// item's transferAction values.
enum class OverwriteChoice { Overwrite = 0, Resume = 1, Skip = 2 };

// The question the overwrite prompt asks about one item, made without any window: the
// message with both sizes, whether "Resume" may be chosen, the default button and the
// countdown that picks the default by itself.
struct OverwriteQuestion {
    QString message;
    // Both files' modification times, the newer one named ("Server copy: 2026-12-10 14:03,
    // local copy: 2026-12-11 09:12 (the local copy is newer)"); empty when neither is known.
    QString dates;
    bool resumeEnabled = false;
    OverwriteChoice defaultChoice = OverwriteChoice::Skip;
    // Whether the countdown runs when the prompt opens, and the number it starts from: the
    // first step shows one less, and the default is taken when it reaches 0.
    bool autoClose = true;
    int countdownStart = 61;

    // The countdown box's caption for `seconds` left.
    static QString countdownText(int seconds);
    // The countdown the setting gives: seconds + 1, at least 6.
    static int countdownFor(std::int64_t settingSeconds);
};

struct OverwriteAnswer {
    OverwriteChoice choice = OverwriteChoice::Skip;
    bool applyToAll = false;
};

// The question for a "getfile" (local file exists) or a "putfile" (remote file exists). The
// sizes are those of the source and of the existing target; resume is offered only when the
// target is smaller than the source. Any other verb gives the message of an unknown
// direction and offers no resume. The times (local time; invalid when unknown) fill `dates`.
OverwriteQuestion overwriteQuestion(const QueueItem &item, std::int64_t localSize, std::int64_t remoteSize,
                                    const QDateTime &localModified = {}, const QDateTime &remoteModified = {});
