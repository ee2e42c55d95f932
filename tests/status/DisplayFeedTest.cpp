#include "status/DisplayFeed.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

class DisplayFeedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        feed.setLogWriter([this](const QString &line) { log << line; });
        feed.setTrafficCounter([this](TrafficDirection d, qint64 n) { traffic.emplace_back(d, n); });
    }

    DisplayFeed feed;
    SessionDisplay fields;
    QStringList log;
    std::vector<std::pair<TrafficDirection, qint64>> traffic;
};

TEST_F(DisplayFeedTest, MainSessionLinesLoseTheBlankAfterTheMarker)
{
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("> USER anna"));
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("< 331 Password required"));
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("! Connected"));
    const QStringList expected = {QStringLiteral(">USER anna"), QStringLiteral("<331 Password required"),
                                  QStringLiteral("!Connected")};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(fields.recentLines, expected);
    EXPECT_TRUE(fields.loginMessages.isEmpty());
}

TEST_F(DisplayFeedTest, TransferSessionLinesAreMarkedSmartTransfer)
{
    feed.display(DisplayFeed::Session::Transfer, fields, true, QStringLiteral("< 226 Transfer complete"));
    EXPECT_EQ(log, QStringList{QStringLiteral("<(SmartTransfer) 226 Transfer complete")});
    // The session's own recent lines keep the plain form.
    EXPECT_EQ(fields.recentLines, QStringList{QStringLiteral("<226 Transfer complete")});
}

TEST_F(DisplayFeedTest, CollectsLoginMessagesOnlyBeforeLogin)
{
    feed.display(DisplayFeed::Session::Main, fields, false, QStringLiteral("< 220 Welcome"));
    feed.display(DisplayFeed::Session::Main, fields, false, QStringLiteral("< 230-Read the rules"));
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("< 257 \"/\""));
    EXPECT_EQ(fields.loginMessages,
              (QStringList{QStringLiteral("< 220 Welcome"), QStringLiteral("< 230-Read the rules")}));
}

TEST_F(DisplayFeedTest, CountsCommandAndReplyLengthsForTheMeter)
{
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("> LIST"));
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("< 150 Here it comes"));
    feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("! Data connection open"));
    ASSERT_EQ(traffic.size(), 2u);
    EXPECT_EQ(traffic[0], std::make_pair(TrafficDirection::Sent, qint64(6)));
    EXPECT_EQ(traffic[1], std::make_pair(TrafficDirection::Received, qint64(19)));
}

TEST_F(DisplayFeedTest, KeepsTheLastThirtyRecentLines)
{
    for (int i = 0; i < 35; ++i)
        feed.display(DisplayFeed::Session::Main, fields, true, QStringLiteral("< line %1").arg(i));
    ASSERT_EQ(fields.recentLines.size(), DisplayFeed::kRecentLines);
    EXPECT_EQ(fields.recentLines.first(), QStringLiteral("<line 5"));
    EXPECT_EQ(fields.recentLines.last(), QStringLiteral("<line 34"));
}

TEST_F(DisplayFeedTest, AnEmptyLineIsNotLogged)
{
    feed.display(DisplayFeed::Session::Main, fields, true, QString());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(fields.recentLines.isEmpty());
    EXPECT_TRUE(traffic.empty());
}

} // namespace
