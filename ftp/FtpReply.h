#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>

// Reply reading for the FTP control connection: line framing and the numbers and paths
// taken out of reply lines. Pure: the engine feeds received bytes in.

struct FtpReplyCode {
    bool beginsWithDigit = false; // only such lines can be final replies
    bool continuation = false;    // the number is directly followed by "-"
    int32_t code = 0;
    bool isFinal() const { return beginsWithDigit && !continuation; }
};

// Reads the number at the start of a line: blanks, tabs, CR and LF skipped, an optional
// sign, decimal digits; the character after the digits tells continuation from final.
FtpReplyCode FtpReadCode(const QString &line);
// How a reply line reads under RFC 959: three digits and a blank (or nothing) end a reply,
// three digits and "-" open a multi-line one. Anything else is text inside a reply.
struct FtpReplyLine {
    enum class Kind { Text, Final, Opening };
    Kind kind = Kind::Text;
    int code = 0; // the three digits, when not Text
    bool inRange() const { return code >= 100 && code <= 599; }
};
FtpReplyLine FtpClassifyLine(const QByteArray &line);
// True when a line (its end already taken off) holds a byte no reply may carry: NUL or any
// other control byte except TAB. A CR left inside a line is one of them.
bool FtpHasControlByte(const QByteArray &line);
// The size in a 213 reply to SIZE: one plain non-negative number that fits 63 bits, or -1
// (unknown) for anything else, "213 -1" and absurdly long numbers included.
int64_t FtpSizeResult(const QString &line);
// The time in a 213 reply to MDTM, "213 YYYYMMDDHHMMSS" with an optional fraction ".sss",
// in UTC; an invalid QDateTime for anything else.
QDateTime FtpMdtmResult(const QString &line);
// The first double-quoted text after the code; "" inside stands for one quote. No opening
// quote gives an empty text.
QString FtpDirResult(const QString &line);
// The same, strictly: false when the closing quote is missing or the path holds a control
// character, so no such text can become a folder name.
bool FtpParseDirResult(const QString &line, QString &path);
// The size a 150 reply announces as "(N bytes)", or -1.
int64_t FtpAnnouncedSize(const QString &line);
// Reply bytes as text: UTF-8 when valid, else Windows-1252.
QString FtpDecodeLine(const QByteArray &bytes);

// The receive buffer of the control connection: a fixed 30720 bytes, one kept free for
// a terminating zero. A line longer than that can never complete: room() reaches 0.
class FtpReplyBuffer {
public:
    static constexpr int Size = 30720;

    int room() const { return Size - 1 - static_cast<int>(m_data.size()); }
    void append(const char *bytes, int count) { m_data.append(bytes, count); }
    // Takes the next complete line (without its end, trailing CR and LF stripped). With
    // acceptLF a line ends at the first LF, otherwise at the first CR LF pair.
    bool takeLine(QByteArray &line, bool acceptLF);
    // The same, telling how many bytes of the buffer the line used (its end included).
    bool takeLine(QByteArray &line, bool acceptLF, qsizetype &used);
    void clear() { m_data.clear(); }
    qsizetype size() const { return m_data.size(); }
    bool isEmpty() const { return m_data.isEmpty(); }

private:
    QByteArray m_data;
};
