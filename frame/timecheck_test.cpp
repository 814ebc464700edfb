// Tests of checkcalltime: the three bounds at their exact edges, the first call of a
// run, PC-time mode, validation off and the verdict state the status line shows.
#include "settings.h"
#include "timecheck.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr uint32_t NOW = 337394639;   // 6 December 2026 02:55:56 UTC
datetime hostnow;                     // NOW as the host clock gives it

class Timecheck : public testing::Test {
protected:
    void SetUp() override
    {
        clocksetup();
        fromticks(NOW, &hostnow);
        timecheck = clockcheck{};
        opt.hosttime = false;
        opt.checktime = true;
    }
    void TearDown() override
    {
        opt.hosttime = false;
        opt.checktime = true;
    }

    // Validates a call ending at `end` with the given duration; returns its
    // start as checkcalltime left it.
    static uint32_t call(uint32_t end, uint32_t dur)
    {
        callrec rec{};
        setduration(&rec, dur);
        setstart(&rec, end - dur);
        checkcalltime(&rec, &hostnow);
        EXPECT_EQ(getduration(&rec), dur);
        return getstart(&rec);
    }
};

} // namespace

TEST_F(Timecheck, BoundsAgainstNow)
{
    struct {
        uint32_t end;
        char verdict;
        uint32_t wantend;
    } cases[] = {
        {NOW + 1350, 0, NOW + 1350},
        {NOW + 1351, '>', NOW},
        {NOW + 365 * 21600, '>', NOW},   // dated with the host's new year
        {NOW - 64800, 0, NOW - 64800},   // first call: the previous end is now - 64800
        {NOW - 64801, '<', NOW},
        {NOW - 80 * 900, '<', NOW},      // first call of a run, 80 hours behind
        {NOW, 0, NOW},
    };
    for (const auto& c : cases) {
        timecheck.lastend = 0;
        uint32_t start = call(c.end, 300);
        EXPECT_EQ(timecheck.verdict, c.verdict) << c.end - NOW;
        EXPECT_EQ(start, c.wantend - 300) << c.end - NOW;
        EXPECT_EQ(timecheck.lastend, c.wantend) << c.end - NOW;
    }
    EXPECT_STREQ(timecheck.text, "PABX < SYSTEM TIME");
}

TEST_F(Timecheck, BackwardsAgainstPreviousCall)
{
    struct {
        uint32_t back;
        char verdict;
    } cases[] = {{10800, 0}, {10801, '?'}};
    for (const auto& c : cases) {
        timecheck.lastend = NOW;
        uint32_t start = call(NOW - c.back, 450);
        EXPECT_EQ(timecheck.verdict, c.verdict) << c.back;
        uint32_t end = c.verdict ? NOW : NOW - c.back;
        EXPECT_EQ(start, end - 450);
        EXPECT_EQ(timecheck.lastend, end);
    }
}

TEST_F(Timecheck, VerdictMarksTheTextUntilNextGoodCall)
{
    call(NOW + 2000, 100);
    EXPECT_EQ(timecheck.verdict, '>');
    EXPECT_STREQ(timecheck.text, "PABX > SYSTEM TIME");

    call(NOW - 100, 100);
    EXPECT_EQ(timecheck.verdict, 0);
    EXPECT_STREQ(timecheck.text, "PABX > SYSTEM TIME");   // never set back
    EXPECT_EQ(timecheck.lastend, NOW - 100);

    timecheck.lastend = NOW + 20000;
    call(NOW, 100);
    EXPECT_EQ(timecheck.verdict, '?');
    EXPECT_STREQ(timecheck.text, "PABX ? SYSTEM TIME");
}

TEST_F(Timecheck, PcTimeModeEndsAtNow)
{
    opt.hosttime = true;
    uint32_t start = call(NOW - 90000, 750);   // the PABX's own time is ignored
    EXPECT_EQ(start, NOW - 750);
    EXPECT_EQ(timecheck.verdict, 0);
    EXPECT_EQ(timecheck.lastend, NOW);

    // Only a host clock gone back more than 12 hours gives a verdict.
    timecheck.lastend = NOW + 10801;
    start = call(0, 750);
    EXPECT_EQ(timecheck.verdict, '?');
    EXPECT_EQ(start, NOW + 10801 - 750);
}

TEST_F(Timecheck, ValidationOffKeepsEveryTime)
{
    opt.checktime = false;
    for (uint32_t end : {NOW + 100000, NOW - 100000, NOW}) {
        uint32_t start = call(end, 60);
        EXPECT_EQ(timecheck.verdict, 0);
        EXPECT_EQ(start, end - 60);
        EXPECT_EQ(timecheck.lastend, end);
    }
    opt.hosttime = true;
    uint32_t start = call(NOW - 100000, 60);
    EXPECT_EQ(start, NOW - 60);
    EXPECT_EQ(timecheck.verdict, 0);
    EXPECT_EQ(timecheck.lastend, NOW);
    EXPECT_STREQ(timecheck.text, "PABX * SYSTEM TIME");
}
