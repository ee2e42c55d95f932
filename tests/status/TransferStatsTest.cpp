// The transfer statistics and status texts: rates, times left and percentages from 64-bit
// byte counts and a monotonic elapsed time, and the caption and title texts.
#include "status/TransferStats.h"
#include "status/StatusTexts.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t GiB = 1024LL * 1024 * 1024;

struct StatsRow {
    const char *name;
    std::int64_t byteCount, resumeAt, elapsedMs, size;
    const char *status, *timeLeft;
    int percent;
};

class TransferStatsTable : public ::testing::TestWithParam<StatsRow> {};

TEST_P(TransferStatsTable, GivesStatusTimeLeftAndPercent)
{
    const StatsRow &r = GetParam();
    const TransferStats::Figures f = TransferStats::compute(r.byteCount, r.resumeAt, r.elapsedMs, r.size, QLocale::c());
    EXPECT_EQ(f.statusText, QString::fromUtf8(r.status));
    EXPECT_EQ(f.timeLeftText, QString::fromUtf8(r.timeLeft));
    EXPECT_EQ(f.percent, r.percent);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TransferStatsTable,
    ::testing::Values(StatsRow{"mebibyte-after-10s", 1048576, 0, 10000, 2500000, "1.024KB @ 102.4KB/s", "0m 13s", 42},
                      StatsRow{"three-seconds-placeholder", 3000, 0, 3000, 10000, "2KB @ 1.0KB/s", "?.?.?", 30},
                      StatsRow{"four-seconds-placeholder", 4000, 0, 4000, 10000, "3KB @ 1.0KB/s", "?.?.?.?", 40},
                      StatsRow{"65s-at-1000-per-second", 65000, 0, 65000, 70000, "63KB @ 1.0KB/s", "0m 5s", 93},
                      StatsRow{"minutes-left", 60000, 0, 60000, 60000 + 125000, "58KB @ 1.0KB/s", "2m 5s", 32},
                      StatsRow{"zero-elapsed-counts-as-one-second", 512, 0, 0, 1024, "1KB @ 0.5KB/s", "?", 50},
                      StatsRow{"clock-set-back-never-negative", 512, 0, -5000, 1024, "1KB @ 0.5KB/s", "?", 50},
                      StatsRow{"nothing-moved-time-left-unknown", 0, 0, 10000, 1000, "0KB @ 0.0KB/s", "", 0},
                      StatsRow{"zero-size", 2048, 0, 10000, 0, "2KB @ 0.2KB/s", "0m 0s", 100},
                      StatsRow{"more-than-recorded-size", 2000, 0, 10000, 1000, "1KB @ 0.2KB/s", "0m 0s", 100},
                      StatsRow{"over-4GiB", 5 * GiB, 0, 100000, 6 * GiB, "5.242.880KB @ 52428.8KB/s", "0m 20s", 83},
                      StatsRow{"resumed-at-4GiB-rate-counts-new-bytes", GiB, 4 * GiB, 10000, 6 * GiB,
                               "5.242.880KB @ 104857.6KB/s", "0m 10s", 83},
                      StatsRow{"half-second-rounds-to-even", 1000, 0, 2500, 100000, "1KB @ 0.5KB/s", "?.?", 1}),
    [](const auto &info) {
        std::string n = info.param.name;
        for (char &c : n)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

TEST(TransferStats, PercentTextUsesTheLocaleAndAZeroSizeNeverDivides)
{
    EXPECT_EQ(TransferStats::percentDoneText(0, 0, QLocale::c()), QStringLiteral("0,0% done"));
    EXPECT_EQ(TransferStats::percentDoneText(50, 100, QLocale(QLocale::German)), QStringLiteral("50,0% done"));
    EXPECT_EQ(TransferStats::percentDoneText(5 * GiB, 8 * GiB, QLocale::c()), QStringLiteral("62.5% done"));
    EXPECT_EQ(TransferStats::percentDone(INT64_MAX - 1, INT64_MAX), 100);
    EXPECT_EQ(TransferStats::percentDone(-5, 100), 0);
}

TEST(TransferStats, DivisionRoundsHalvesToEven)
{
    EXPECT_EQ(TransferStats::divideRounded(512, 1024), 0);
    EXPECT_EQ(TransferStats::divideRounded(1536, 1024), 2);
    EXPECT_EQ(TransferStats::divideRounded(2560, 1024), 2);
    EXPECT_EQ(TransferStats::divideRounded(2561, 1024), 3);
    EXPECT_EQ(TransferStats::divideRounded(7, 0), 0);
}

TEST(StatusTexts, CaptionsSwitchUnitsAboveOneMebibyteAndCountBeyond4GiB)
{
    EXPECT_EQ(StatusTexts::localCaption({3, 0, 1048576}),
              QStringLiteral("my computer  -  3 files (1024 kb)  -  0 folders"));
    EXPECT_EQ(StatusTexts::localCaption({3, 0, 1048577}),
              QStringLiteral("my computer  -  3 files (1 mb)  -  0 folders"));
    EXPECT_EQ(StatusTexts::remoteCaption(StatusTexts::RemoteState::Shown, {2, 5, 5 * GiB}),
              QStringLiteral("ftp server  -  2 files (5120 mb)  -  5 folders"));
    EXPECT_EQ(StatusTexts::remoteCaption(StatusTexts::RemoteState::Connecting, {}),
              QStringLiteral("ftp server  -  connecting, please wait ..."));
    EXPECT_EQ(StatusTexts::remoteCaption(StatusTexts::RemoteState::Closed, {}),
              QStringLiteral("ftp server  -  not connected"));
    EXPECT_EQ(StatusTexts::queueCaption({2, 5 * GiB, 1, 1536}, StatusTexts::WhenEmpty::Disconnect),
              QStringLiteral(" ftp queue  -  3 files in queue (5242882 kb)  -  2 from ftp (5242880 kb)  -  1 to ftp "
                             "(2 kb)  -  [disconnects when empty]"));
}

TEST(StatusTexts, StatusLineForEachState)
{
    using A = StatusTexts::StatusInput::Activity;
    StatusTexts::StatusInput in;
    EXPECT_EQ(StatusTexts::title(StatusTexts::statusLine(in)), QStringLiteral("Not connected - Kestrin FTP Pro 2.8"));
    in.reconnect = std::pair<std::int64_t, int>{12, 3};
    EXPECT_EQ(
        StatusTexts::statusLine(in),
        QStringLiteral("Retry #3 in 12 seconds - Retrying to connect to server in 12 seconds. 3 attempts so far"));
    in.reconnect.reset();
    in.siteName = QStringLiteral("site");
    in.hostName = QStringLiteral("host");
    in.activity = A::Idle;
    EXPECT_EQ(StatusTexts::statusLine(in), QStringLiteral("site - site (host)"));
    in.activity = A::Transferring;
    in.size = 0;
    EXPECT_EQ(StatusTexts::statusLine(in), QStringLiteral("0,0% done - site (host)"));
    in.activity = A::Stopping;
    EXPECT_EQ(StatusTexts::statusLine(in), QStringLiteral("Stopping - site (host)"));
    in.hostName = QStringLiteral("2001:db8::1"); // an IPv6 address shows in brackets
    EXPECT_EQ(StatusTexts::statusLine(in), QStringLiteral("Stopping - site ([2001:db8::1])"));
}

} // namespace
