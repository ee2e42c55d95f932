// Reply framing and what is read out of reply lines.
#include "ftp/FtpReply.h"

#include <QStringList>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <limits>

namespace {

QStringList frame(const QByteArray &input, int piece, bool acceptLF)
{
    FtpReplyBuffer buffer;
    QStringList lines;
    QByteArray line;
    for (qsizetype at = 0; at < input.size(); at += piece) {
        const QByteArray part = input.mid(at, piece);
        buffer.append(part.constData(), static_cast<int>(part.size()));
        while (buffer.takeLine(line, acceptLF))
            lines << QString::fromLatin1(line);
    }
    return lines;
}

TEST(FtpReplyBuffer, FramesLinesTheSameWayInAnyFragments)
{
    const QByteArray input = QByteArrayLiteral("230-Welcome\r\n230-bare\n\r\n230 done\r\n220 partial");
    for (int piece : {1, 2, 7, 100}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(frame(input, piece, true), (QStringList{QStringLiteral("230-Welcome"), QStringLiteral("230-bare"),
                                                          QString(), QStringLiteral("230 done")}));
        // Without ftpAcceptLF a bare LF does not end a line (it is stripped at the end).
        EXPECT_EQ(frame(input, piece, false),
                  (QStringList{QStringLiteral("230-Welcome"), QStringLiteral("230-bare"), QStringLiteral("230 done")}));
    }
    FtpReplyBuffer buffer;
    EXPECT_EQ(buffer.room(), 30719);
}

TEST(FtpReplyCode, ReadsCodesContinuationsAndResults)
{
    const struct {
        const char *line;
        bool digit;
        bool continuation;
        int code;
    } rows[] = {
        {"230 ok", true, false, 230}, {"230-more", true, true, 230}, {"  331 x", false, false, 331},
        {"", false, false, 0},        {"hello", false, false, 0},    {"99999999999 big", true, false, 2147483647},
    };
    for (const auto &r : rows) {
        const FtpReplyCode c = FtpReadCode(QString::fromLatin1(r.line));
        EXPECT_EQ(c.beginsWithDigit, r.digit) << r.line;
        EXPECT_EQ(c.continuation, r.continuation) << r.line;
        EXPECT_EQ(c.code, r.code) << r.line;
    }
    EXPECT_EQ(FtpSizeResult(QStringLiteral("213 123456")), 123456);
    EXPECT_EQ(FtpSizeResult(QStringLiteral("213 5368709120")), 5368709120LL); // past 4 GiB
    EXPECT_EQ(FtpDirResult(QStringLiteral("257 \"/a \"\"b\"\" c\" is current")), QStringLiteral("/a \"b\" c"));
    EXPECT_EQ(FtpDirResult(QStringLiteral("257 \"/x\"y\"")), QStringLiteral("/x"));
    EXPECT_EQ(FtpDirResult(QStringLiteral("250 CWD ok")), QString());
    EXPECT_EQ(FtpDecodeLine(QByteArray("257 \"/caf\xc3\xa9\"")), QStringLiteral("257 \"/caf\u00e9\""));
    EXPECT_EQ(FtpDecodeLine(QByteArray("257 \"/caf\xe9\"")), QStringLiteral("257 \"/caf\u00e9\""));
}

TEST(FtpReplyCode, SizeIsOnePlainNumberOrUnknown)
{
    const std::pair<const char *, int64_t> rows[] = {
        {"213 4096", 4096},
        {"213 9223372036854775807", std::numeric_limits<int64_t>::max()},
        {"213 -1", -1},
        {"213 9223372036854775808", -1},
        {"213 1234567890123456789012345", -1},
        {"213 12 bytes", -1},
        {"213 ", -1},
        {"213 +5", -1},
    };
    for (const auto &[line, size] : rows)
        EXPECT_EQ(FtpSizeResult(QString::fromLatin1(line)), size) << line;
    EXPECT_EQ(FtpAnnouncedSize(QStringLiteral("150 Opening BINARY mode data connection for f (4000 bytes).")), 4000);
    EXPECT_EQ(FtpAnnouncedSize(QStringLiteral("150 Here it comes.")), -1);
}

TEST(FtpReplyCode, MdtmIsAUtcTimeOrInvalid)
{
    const struct {
        const char *line;
        QDateTime time;
    } cases[] = {
        {"213 20240110140359", QDateTime(QDate(2024, 1, 10), QTime(14, 3, 59), QTimeZone::utc())},
        {"213 20240110140359.123", QDateTime(QDate(2024, 1, 10), QTime(14, 3, 59), QTimeZone::utc())},
        {"213 20240110140359\r", QDateTime(QDate(2024, 1, 10), QTime(14, 3, 59), QTimeZone::utc())},
        {"550 20240110140359", {}},      // refused
        {"213 2024011014035", {}},       // a digit short
        {"213 20241310140359", {}},      // month 13
        {"213 20240110146059", {}},      // minute 60
        {"213 2024-01-10 14:03:59", {}}, // not the MDTM form
        {"213-20240110140359", {}},      // not a final line
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const QDateTime got = FtpMdtmResult(QString::fromLatin1(c.line));
        EXPECT_EQ(got.isValid(), c.time.isValid());
        if (c.time.isValid()) {
            EXPECT_EQ(got, c.time);
        }
    }
}

TEST(FtpReplyCode, LinesAreFinalOpeningOrText)
{
    const struct {
        const char *line;
        FtpReplyLine::Kind kind;
        int code;
    } rows[] = {
        {"250 done", FtpReplyLine::Kind::Final, 250},   {"250", FtpReplyLine::Kind::Final, 250},
        {"250-more", FtpReplyLine::Kind::Opening, 250}, {" 250 x", FtpReplyLine::Kind::Text, 0},
        {"2500 x", FtpReplyLine::Kind::Text, 0},        {"", FtpReplyLine::Kind::Text, 0},
        {"abc def", FtpReplyLine::Kind::Text, 0},
    };
    for (const auto &r : rows) {
        const FtpReplyLine l = FtpClassifyLine(QByteArray(r.line));
        EXPECT_EQ(l.kind, r.kind) << r.line;
        EXPECT_EQ(l.code, r.code) << r.line;
    }
    EXPECT_TRUE(FtpHasControlByte(QByteArray("a\0b", 3)));
    EXPECT_TRUE(FtpHasControlByte(QByteArray("a\rb")));
    EXPECT_FALSE(FtpHasControlByte(QByteArray("a\tb")));
}

} // namespace
