#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Reads an HTTP/1.0 reply as it arrives, in pieces of any size: the status line, the
// header lines it needs (location, content-length) and the body, which it keeps only up
// to a limit. Pure: the socket code feeds it.
class HttpReplyReader {
public:
    enum class State {
        Header,   // still reading the header
        Body,     // header complete, body arriving
        Redirect, // header complete with a "location": the body is not wanted
        TooLarge, // more body (or a longer header line) than allowed
        Malformed,
    };

    explicit HttpReplyReader(std::int64_t bodyLimit) : m_bodyLimit(bodyLimit) {}

    // Returns the state after taking the bytes. Once the state is TooLarge, Malformed or
    // Redirect, further bytes are ignored.
    State feed(const QByteArray &bytes);
    State state() const { return m_state; }

    int status() const { return m_status; }
    QString location() const { return m_location; }
    const QByteArray &body() const { return m_body; }

    // A header line may be at most this long.
    static constexpr int kMaxLineLength = 8192;

private:
    void headerLine(QByteArray line);

    std::int64_t m_bodyLimit;
    State m_state = State::Header;
    QByteArray m_pending;
    bool m_firstLine = true;
    int m_status = 0;
    QString m_location;
    QByteArray m_body;
};
