#pragma once

#include <array>
#include <cstddef>
#include <deque>

struct iovec;

// The send queue of a socket: fixed 1460-byte chunks (one Ethernet TCP segment each), so
// that Send copies any amount of data without ever blocking. Chunks are filled at the back
// and drained from the front; a fully sent chunk is reused when it is the only one.
class TBuffer {
public:
    static constexpr int Size = 1460;

    int Write(const char *data, int length); // appends as much as fits, returns the count
    int Remove(int count);                   // drops count sent bytes from the front
    const char *Peek(int &length) const;     // the unsent bytes of this chunk
    bool Empty() const { return m_rd == m_wr; }
    bool Full() const { return m_wr == Size; }
    int Count() const { return m_wr - m_rd; }
    void Reset() { m_rd = m_wr = 0; }

private:
    std::array<char, Size> m_data{};
    int m_wr = 0;
    int m_rd = 0;
};

class TSendQueue {
public:
    void Append(const char *data, int length);
    // The unsent bytes at the front, or nullptr with length 0 when the front chunk is empty.
    const char *Front(int &length) const;
    void Consume(int count);
    // Up to max pieces of unsent bytes from the front, for one gathered send; returns the
    // number of pieces filled.
    int Gather(struct iovec *pieces, int max) const;
    // Drops count sent bytes from the front, across chunks.
    void ConsumeBytes(size_t count);
    // Called when the front chunk is empty: frees it when others follow (true), or resets
    // it and reports that nothing is left (false).
    bool DropEmptyFront();
    void Clear()
    {
        m_chunks.clear();
        m_unsent = 0;
    }
    bool HasUnsent() const { return m_unsent > 0; }
    size_t ChunkCount() const { return m_chunks.size(); }
    size_t Unsent() const { return m_unsent; }

private:
    std::deque<TBuffer> m_chunks;
    size_t m_unsent = 0;
};
