// Reply framing and what is read out of reply lines.
#include "ftp/FtpReply.h"

#include <QStringList>

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

} // namespace
