// The data side's texts: reading 227 replies, PORT lines, the statistics line.
#include "ftp/FtpTransferText.h"

#include <gtest/gtest.h>

namespace {

struct PasvCase {
    const char *name;
    const char *reply;
    const char *host; // nullptr: no address
    int port;
};

void PrintTo(const PasvCase &c, std::ostream *os)
{
    *os << c.name;
}

class FtpPasvParse : public ::testing::TestWithParam<PasvCase> {};

TEST_P(FtpPasvParse, ReadsSixNumbersBetweenBrackets)
{
    const PasvCase &c = GetParam();
    const auto got = FtpParsePasv(QString::fromLatin1(c.reply));
    if (!c.host) {
        EXPECT_FALSE(got.has_value());
        return;
    }
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->host, QString::fromLatin1(c.host));
    EXPECT_EQ(got->port, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpPasvParse,
    ::testing::Values(PasvCase{"usual", "227 Entering Passive Mode (192,168,1,20,195,80).", "192.168.1.20", 50000},
                      PasvCase{"blanks", "227 Entering Passive Mode ( 10, 0, 0, 1, 0, 21 )", "10.0.0.1", 21},
                      PasvCase{"top-port", "227 =(127,0,0,1,255,255)", "127.0.0.1", 65535},
                      PasvCase{"no-brackets", "227 Entering Passive Mode 127,0,0,1,4,1", nullptr, 0},
                      PasvCase{"no-closing", "227 Entering Passive Mode (127,0,0,1,4,1", nullptr, 0},
                      PasvCase{"five-numbers", "227 (127,0,0,1,4)", nullptr, 0},
                      PasvCase{"seven-numbers", "227 (127,0,0,1,4,1,2)", nullptr, 0},
                      PasvCase{"above-255", "227 (127,0,0,1,256,1)", nullptr, 0},
                      PasvCase{"letters", "227 (127,0,0,x,4,1)", nullptr, 0},
                      PasvCase{"negative", "227 (127,0,0,1,-4,1)", nullptr, 0},
                      PasvCase{"empty-number", "227 (127,0,,1,4,1)", nullptr, 0},
                      PasvCase{"empty", "227 ()", nullptr, 0}),
    [](const auto &info) {
        std::string n = info.param.name;
        for (char &ch : n)
            if (ch == '-')
                ch = '_';
        return n;
    });

TEST(FtpPortLine, NamesAddressAndPortBytes)
{
    EXPECT_EQ(FtpPortLine(0x7F000001u, 50000), QStringLiteral("PORT 127,0,0,1,195,80"));
    EXPECT_EQ(FtpPortLine(0xC0A80114u, 21), QStringLiteral("PORT 192,168,1,20,0,21"));
}

TEST(FtpTransferStats, BothArithmeticBranchesAndNoRateWithoutTime)
{
    struct Case {
        int64_t bytes, ms;
        const char *line;
    };
    const Case cases[] = {
        {100000, 2000, "! 100000 bytes received/sent in 2 seconds (50000 Bytes/sec)"}, // divides first
        {20000, 3000, "! 20000 bytes received/sent in 3 seconds (6666 Bytes/sec)"},    // multiplies first
        {40000, 3000, "! 40000 bytes received/sent in 3 seconds (13000 Bytes/sec)"},   // divides first: 13 * 1000
        {5, 0, "! 5 bytes received/sent in 0 seconds"},
        {6LL << 30, 4000, "! 6442450944 bytes received/sent in 4 seconds (1610612000 Bytes/sec)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FtpTransferStatsLine(c.bytes, c.ms), QString::fromLatin1(c.line));
}

} // namespace
