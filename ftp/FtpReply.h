#pragma once

#include <QByteArray>
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
// The number after the reply code (the size in a 213 reply to SIZE); 64-bit, as files
// over 4 GiB are ordinary.
int64_t FtpSizeResult(const QString &line);
// The first double-quoted text after the code; "" inside stands for one quote. No opening
// quote gives an empty text.
QString FtpDirResult(const QString &line);
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
    void clear() { m_data.clear(); }
    bool isEmpty() const { return m_data.isEmpty(); }

private:
    QByteArray m_data;
};
