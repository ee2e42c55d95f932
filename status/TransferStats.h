#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

// The per-transfer figures of the queue list's "Status" and "Time left" columns and the
// percentages of the status line and the progress bar. Pure: the caller passes the byte
// counts and a monotonic elapsed time, so a clock set back or a daylight-saving change can
// never make a rate or a time left negative.
namespace TransferStats {

struct Figures {
    QString statusText;   // "1.024KB @ 102.4KB/s"
    QString timeLeftText; // "0m 5s", "?.?" in the first seconds, empty when unknown
    int percent = 0;      // 0..100
};

// byteCount: bytes moved by this transfer (without the resumed part); resumeAt: where it
// resumed; elapsedMs: monotonic time since the transfer started; size: the recorded size
// of the file (0 or less when unknown). Negative inputs count as 0.
Figures compute(std::int64_t byteCount, std::int64_t resumeAt, std::int64_t elapsedMs, std::int64_t size,
                const QLocale &locale = QLocale());

// round(100 × done / size), within 0..100; 100 when the size is unknown (0 or less).
int percentDone(std::int64_t done, std::int64_t size);

// "%.1f%% done" with the locale's decimal separator; "0,0% done" for an unknown size.
QString percentDoneText(std::int64_t done, std::int64_t size, const QLocale &locale = QLocale());

// a / b rounded to the nearest integer, halves to even; 0 for b <= 0.
std::int64_t divideRounded(std::int64_t a, std::int64_t b);

} // namespace TransferStats
