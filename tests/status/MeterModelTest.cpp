// The bandwidth meter's sampling into its rings and the smoothed columns of a graph.
#include "status/MeterModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
    std::int64_t rx, tx;
    double elapsed; // seconds since the last sample; < 0: none yet
    bool stored;
    std::int64_t newestRx, newestTx; // the newest sample after the step
};

struct SamplingRow {
    const char *name;
    std::vector<Step> steps;
};

class MeterSampling : public ::testing::TestWithParam<SamplingRow> {};

TEST_P(MeterSampling, StoresRatesPerSecond)
{
    MeterModel m;
    int i = 0;
    for (const Step &s : GetParam().steps) {
        m.addReceived(s.rx);
        m.addSent(s.tx);
        EXPECT_EQ(m.sample(s.elapsed), s.stored) << "step " << i;
        EXPECT_EQ(m.received(0), s.newestRx) << "step " << i;
        EXPECT_EQ(m.sent(0), s.newestTx) << "step " << i;
        ++i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MeterSampling,
    ::testing::Values(
        SamplingRow{"first-sample-counts-one-second", {{1000, 10, -1, true, 1000, 10}}},
        SamplingRow{"too-soon-keeps-counting",
                    {{1000, 0, 1.0, true, 1000, 0}, {500, 0, 0.5, false, 1000, 0}, {1500, 0, 2.0, true, 1000, 0}}},
        SamplingRow{"exactly-0.9-is-too-soon", {{900, 0, 0.9, false, 0, 0}, {0, 0, 0.91, true, 989, 0}}},
        SamplingRow{"negative-amounts-add-nothing", {{-500, -7, 1.0, true, 0, 0}}},
        SamplingRow{"beyond-4GiB-per-second", {{6LL << 30, 5LL << 30, 1.0, true, 6LL << 30, 5LL << 30}}}),
    [](const auto &info) {
        std::string n = info.param.name;
        for (char &c : n)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

TEST(MeterFrame, NoTrafficIsAnEmptyGraphWithTheMinimumScale)
{
    const MeterModel m;
    const MeterModel::Frame f = m.frame(180, 100);
    EXPECT_EQ(f.peak, 1024);
    EXPECT_EQ(f.rxNow, 1);
    EXPECT_EQ(f.txNow, 1);
    for (int x = 0; x < 180; ++x)
        EXPECT_EQ(f.rxHeight[static_cast<std::size_t>(x)] + f.txHeight[static_cast<std::size_t>(x)], 0);
}

TEST(MeterFrame, SteadyDownloadReachesNinetyPercentAfterNineSeconds)
{
    MeterModel m;
    std::vector<int> newest; // the newest smoothed value after each second
    for (int s = 0; s < 9; ++s) {
        m.addReceived(100 * 1024);
        m.sample(1.0);
        newest.push_back(static_cast<int>(m.smoothedReceived(0)));
    }
    const MeterModel::Frame f = m.frame(60, 100);
    EXPECT_EQ(f.rxNow, 100 * 1024);
    EXPECT_EQ(f.peak, 100 * 1024);
    EXPECT_EQ(f.rxHeight.back(), 90);
    EXPECT_EQ(f.txHeight.back(), 0);
    // The smoothing ramps up over the nine samples: the mean of k+1 full seconds and zeros.
    EXPECT_EQ(m.smoothedReceived(0), 100 * 1024);
    EXPECT_EQ(m.smoothedReceived(1), 8 * 100 * 1024 / 9);
    EXPECT_EQ(newest.front(), 100 * 1024 / 9);
    EXPECT_EQ(newest.back(), 100 * 1024);
    EXPECT_EQ(f.rxAverage, (100 * 1024 * (1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9) / 9) / 60);
}

TEST(MeterFrame, RingWrapsAfter2048SamplesAndWideGraphsRepeatIt)
{
    MeterModel m;
    for (int s = 0; s < MeterModel::kSlots + 3; ++s) {
        m.addSent(s);
        m.sample(1.0);
    }
    EXPECT_EQ(m.writeIndex(), 3);
    EXPECT_EQ(m.sent(0), MeterModel::kSlots + 2);
    // The oldest kept sample is the one 2047 steps back; the first three were overwritten.
    EXPECT_EQ(m.sent(MeterModel::kSlots - 1), 3);
    EXPECT_EQ(m.sent(MeterModel::kSlots), m.sent(0));
    const MeterModel::Frame f = m.frame(MeterModel::kSlots + 10, 50);
    EXPECT_EQ(f.txHeight[9], f.txHeight.back());
    m.reset();
    EXPECT_EQ(m.writeIndex(), 0);
    EXPECT_EQ(m.sent(0), 0);
    EXPECT_EQ(m.sent(5), 0);
}

TEST(MeterFrame, AGraphWithoutAreaHasNothingToDraw)
{
    MeterModel m;
    m.addReceived(5000);
    m.sample(1.0);
    EXPECT_TRUE(m.frame(0, 100).empty());
    EXPECT_TRUE(m.frame(100, 0).empty());
    EXPECT_TRUE(m.frame(-3, -3).empty());
    EXPECT_TRUE(m.frame(0, 100).rxHeight.empty());
}

} // namespace
