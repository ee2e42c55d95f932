#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The bandwidth meter's figures: bytes counted since the last sample, two rings of one
// sample per second, and the smoothed columns a graph of a given size shows. Pure: the
// controller passes the monotonic time between samples; the widget draws a Frame.
class MeterModel {
public:
    static constexpr int kSlots = 2048;
    // A column shows the mean of this many samples ending at its own.
    static constexpr int kSmoothing = 9;
    static constexpr std::int64_t kMinimumPeak = 1024;

    void addReceived(std::int64_t bytes);
    void addSent(std::int64_t bytes);
    std::int64_t pendingReceived() const { return m_rxBytes; }
    std::int64_t pendingSent() const { return m_txBytes; }

    // Stores one sample per direction when more than 0.9 s passed since the last one
    // (`secondsSinceLast` < 0: there was none, counts as 1 s); the pending counts are
    // divided by that time and cleared. Otherwise nothing changes and the counts keep
    // growing. Returns whether a sample was stored.
    bool sample(double secondsSinceLast);
    // Every slot of both rings to 0, the next sample into slot 0.
    void reset();

    int writeIndex() const { return m_writeIndex; }
    // The sample k seconds before the newest one (k >= 0, wrapping).
    std::int64_t received(int k) const { return at(m_rx, k); }
    std::int64_t sent(int k) const { return at(m_tx, k); }
    // The integer mean of the kSmoothing samples ending k seconds before the newest one.
    std::int64_t smoothedReceived(int k) const { return smoothed(m_rx, k); }
    std::int64_t smoothedSent(int k) const { return smoothed(m_tx, k); }

    // What a graph width × height shows. Column x shows k = width - 1 - x.
    struct Frame {
        int width = 0;
        int height = 0;
        std::vector<int> rxHeight, txHeight; // column heights in pixels, left to right
        std::int64_t peak = kMinimumPeak;
        std::int64_t rxNow = 1, txNow = 1; // newest smoothed values, at least 1
        std::int64_t rxAverage = 0, txAverage = 0;
        bool empty() const { return width <= 0 || height <= 0; }
    };
    // A graph narrower or lower than one pixel gets an empty frame (nothing to draw).
    Frame frame(int width, int height) const;

private:
    using Ring = std::array<std::int64_t, kSlots>;
    std::int64_t at(const Ring &ring, int k) const;
    std::int64_t smoothed(const Ring &ring, int k) const;

    std::int64_t m_rxBytes = 0;
    std::int64_t m_txBytes = 0;
    Ring m_rx{};
    Ring m_tx{};
    int m_writeIndex = 0;
};
