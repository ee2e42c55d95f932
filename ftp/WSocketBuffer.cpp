#include "ftp/WSocketBuffer.h"

#include <algorithm>
#include <cstring>

#include <sys/uio.h>

int TBuffer::Write(const char *data, int length)
{
    const int n = std::min(length, Size - m_wr);
    if (n <= 0)
        return 0;
    std::memcpy(m_data.data() + m_wr, data, static_cast<size_t>(n));
    m_wr += n;
    return n;
}

int TBuffer::Remove(int count)
{
    const int n = std::min(count, Count());
    m_rd += n;
    return n;
}

const char *TBuffer::Peek(int &length) const
{
    length = Count();
    return m_data.data() + m_rd;
}

void TSendQueue::Append(const char *data, int length)
{
    while (length > 0) {
        if (m_chunks.empty() || m_chunks.back().Full())
            m_chunks.emplace_back();
        const int n = m_chunks.back().Write(data, length);
        data += n;
        length -= n;
        m_unsent += static_cast<size_t>(n);
    }
}

const char *TSendQueue::Front(int &length) const
{
    length = 0;
    if (m_chunks.empty())
        return nullptr;
    return m_chunks.front().Peek(length);
}

void TSendQueue::Consume(int count)
{
    if (!m_chunks.empty())
        m_unsent -= static_cast<size_t>(m_chunks.front().Remove(count));
}

bool TSendQueue::DropEmptyFront()
{
    if (m_chunks.empty())
        return false;
    if (m_chunks.size() > 1) {
        m_chunks.pop_front();
        return true;
    }
    m_chunks.front().Reset();
    return false;
}

int TSendQueue::Gather(struct iovec *pieces, int max) const
{
    int n = 0;
    for (const TBuffer &chunk : m_chunks) {
        if (n == max)
            break;
        int length = 0;
        const char *bytes = chunk.Peek(length);
        if (length == 0)
            continue;
        pieces[n].iov_base = const_cast<char *>(bytes);
        pieces[n].iov_len = static_cast<size_t>(length);
        ++n;
    }
    return n;
}

void TSendQueue::ConsumeBytes(size_t count)
{
    while (count > 0 && !m_chunks.empty()) {
        const int removed = m_chunks.front().Remove(static_cast<int>(std::min<size_t>(count, TBuffer::Size)));
        m_unsent -= static_cast<size_t>(removed);
        count -= static_cast<size_t>(removed);
        if (m_chunks.front().Empty() && !DropEmptyFront())
            break;
    }
}
