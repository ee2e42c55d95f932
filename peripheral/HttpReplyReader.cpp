#include "peripheral/HttpReplyReader.h"

HttpReplyReader::State HttpReplyReader::feed(const QByteArray &bytes)
{
    if (m_state == State::Body) {
        if (m_body.size() + bytes.size() > m_bodyLimit)
            m_state = State::TooLarge;
        else
            m_body += bytes;
        return m_state;
    }
    if (m_state != State::Header)
        return m_state;
    m_pending += bytes;
    while (m_state == State::Header) {
        const qsizetype eol = m_pending.indexOf('\n');
        if (eol < 0) {
            if (m_pending.size() > kMaxLineLength)
                m_state = State::TooLarge;
            // A reply without a header starts straight with the document.
            else if (m_firstLine && m_pending.size() >= 6 && m_pending.left(6).toUpper() == "<HTML>")
                m_state = State::Body;
            break;
        }
        if (eol > kMaxLineLength) {
            m_state = State::TooLarge;
            break;
        }
        QByteArray line = m_pending.left(eol);
        if (m_firstLine && line.left(6).toUpper() == "<HTML>") {
            m_state = State::Body;
            break;
        }
        m_pending.remove(0, eol + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        headerLine(line);
    }
    if (m_state == State::Body) {
        const QByteArray rest = m_pending;
        m_pending.clear();
        return feed(rest);
    }
    return m_state;
}

void HttpReplyReader::headerLine(QByteArray line)
{
    if (m_firstLine) {
        m_firstLine = false;
        // "HTTP/1.x ddd reason"
        if (!(line.startsWith("HTTP/1.0 ") || line.startsWith("HTTP/1.1 ")) || line.size() < 12) {
            m_state = State::Malformed;
            return;
        }
        bool ok = false;
        m_status = line.mid(9, 3).toInt(&ok);
        if (!ok || m_status < 100 || m_status > 599)
            m_state = State::Malformed;
        return;
    }
    if (line.isEmpty()) {
        m_state = m_location.isEmpty() ? State::Body : State::Redirect;
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "location")
        m_location = QString::fromLatin1(value);
}
