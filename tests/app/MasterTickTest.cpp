#include "app/MasterTick.h"
#include "base/Errors.h"
#include "base/Guard.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <limits>

namespace {

// Installs recording handlers on every periodic action; the meter also records whether
// the tick itself was its sender.
class MasterTickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setBugReporter(
            [this](const QString &site, const QString &message) { bugs << site + QLatin1Char(':') + message; });
        Command *all[] = {&tick.timer_startup,      &tick.timer_fancycolors,       &tick.timer_updateinterface,
                          &tick.timer_xferstats,    &tick.timer_checkQueue,        &tick.timer_threads,
                          &tick.timer_retryConnect, &tick.timer_checkclipboard,    &tick.timer_meter,
                          &tick.timer_antitimeout,  &tick.timer_checkForNewVersion};
        for (Command *c : all) {
            c->setHandler([this, c](QObject *sender) {
                QString name = c->objectName().mid(6); // without "timer_"
                if (c == &tick.timer_meter && sender == &tick.timer())
                    name += QStringLiteral("(sample)");
                ran << name;
                if (name == failing)
                    throw KestrinError(QStringLiteral("boom"));
            });
        }
    }
    void TearDown() override { setBugReporter({}); }

    QString tickAt(std::int32_t n)
    {
        tick.setTag(n - 1);
        ran.clear();
        tick.timerTimer();
        return ran.join(QLatin1Char(','));
    }

    MasterTick tick;
    QStringList ran;
    QStringList bugs;
    QString failing;
};

TEST_F(MasterTickTest, RunsTheDueActionsInOrder)
{
    struct Row {
        std::int32_t tick;
        const char *expected;
    };
    const Row rows[] = {
        {1, "startup,fancycolors"},
        {2, "fancycolors"},
        {4, "fancycolors,updateinterface"},
        {8, "fancycolors,updateinterface,xferstats"},
        {10, "fancycolors,checkQueue,threads,retryConnect"},
        {20, "fancycolors,updateinterface,checkQueue,threads,retryConnect,checkclipboard,meter(sample),antitimeout"},
        {40, "fancycolors,updateinterface,xferstats,checkQueue,threads,retryConnect,checkclipboard,meter(sample),"
             "antitimeout"},
        {100, "fancycolors,updateinterface,checkQueue,threads,retryConnect,checkclipboard,meter(sample),antitimeout,"
              "checkForNewVersion"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(tickAt(r.tick), QString::fromLatin1(r.expected)) << "tick " << r.tick;
}

TEST_F(MasterTickTest, CounterWrapsToTwoAndStartupNeverRunsAgain)
{
    tick.setTag(std::numeric_limits<std::int32_t>::max());
    ran.clear();
    tick.timerTimer();
    EXPECT_EQ(tick.tag(), 2);
    EXPECT_EQ(ran.join(QLatin1Char(',')), QStringLiteral("fancycolors"));
}

TEST_F(MasterTickTest, RunningAnActionDirectlyRedrawsTheMeterWithoutSampling)
{
    tick.timer_meter.execute();
    EXPECT_EQ(ran, QStringList{QStringLiteral("meter")});
}

TEST_F(MasterTickTest, AnEscapedErrorSkipsOnlyTheRestOfThatTick)
{
    failing = QStringLiteral("updateinterface");
    EXPECT_EQ(tickAt(20), QStringLiteral("fancycolors,updateinterface"));
    EXPECT_EQ(bugs, QStringList{QStringLiteral("nnbbasj:boom")});
    EXPECT_EQ(tickAt(21), QStringLiteral("fancycolors"));
    failing.clear();
    EXPECT_EQ(tickAt(40).count(QLatin1Char(',')), 8);
}

TEST_F(MasterTickTest, TimerRunsTicksEvery50ms)
{
    EXPECT_FALSE(tick.isEnabled());
    EXPECT_EQ(tick.timer().interval(), 50);
    tick.setEnabled(true);
    EXPECT_TRUE(tick.isEnabled());
    tick.setEnabled(false);
    EXPECT_FALSE(tick.isEnabled());
}

} // namespace
