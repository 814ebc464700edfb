// Tests of tvalid: the three bounds at their exact edges, the first call of a
// run, PC-time mode, validation off and the verdict state the status line shows.
#include "morva.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr uint32_t NOW = 337394639;   // 6 December 2026 02:55:56 UTC

class Tvalid : public testing::Test {
protected:
    void SetUp() override
    {
        clocksetup();
        to_jul(NOW, &real_time_rec);
        prvetime = 0;
        pabxerr = 0;
        std::strcpy(errmsg, "PABX * SYSTEM TIME");
        opt.hosttime = false;
        opt.checktime = true;
    }
    void TearDown() override
    {
        opt.hosttime = false;
        opt.checktime = true;
    }

    // Validates a call ending at `end` with the given duration; returns its
    // start as tvalid left it.
    static uint32_t call(uint32_t end, uint32_t dur)
    {
        callrec rec{};
        setduration(&rec, dur);
        setstart(&rec, end - dur);
        tvalid(&rec, &real_time_rec);
        EXPECT_EQ(getduration(&rec), dur);
        return maketime(&rec);
    }
};

} // namespace

TEST_F(Tvalid, BoundsAgainstNow)
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
        prvetime = 0;
        uint32_t start = call(c.end, 300);
        EXPECT_EQ(pabxerr, c.verdict) << c.end - NOW;
        EXPECT_EQ(start, c.wantend - 300) << c.end - NOW;
        EXPECT_EQ(prvetime, c.wantend) << c.end - NOW;
    }
    EXPECT_STREQ(errmsg, "PABX < SYSTEM TIME");
}

TEST_F(Tvalid, BackwardsAgainstPreviousCall)
{
    struct {
        uint32_t back;
        char verdict;
    } cases[] = {{10800, 0}, {10801, '?'}};
    for (const auto& c : cases) {
        prvetime = NOW;
        uint32_t start = call(NOW - c.back, 450);
        EXPECT_EQ(pabxerr, c.verdict) << c.back;
        uint32_t end = c.verdict ? NOW : NOW - c.back;
        EXPECT_EQ(start, end - 450);
        EXPECT_EQ(prvetime, end);
    }
}

TEST_F(Tvalid, VerdictMarksErrmsgUntilNextGoodCall)
{
    call(NOW + 2000, 100);
    EXPECT_EQ(pabxerr, '>');
    EXPECT_STREQ(errmsg, "PABX > SYSTEM TIME");

    call(NOW - 100, 100);
    EXPECT_EQ(pabxerr, 0);
    EXPECT_STREQ(errmsg, "PABX > SYSTEM TIME");   // never set back
    EXPECT_EQ(prvetime, NOW - 100);

    prvetime = NOW + 20000;
    call(NOW, 100);
    EXPECT_EQ(pabxerr, '?');
    EXPECT_STREQ(errmsg, "PABX ? SYSTEM TIME");
}

TEST_F(Tvalid, PcTimeModeEndsAtNow)
{
    opt.hosttime = true;
    uint32_t start = call(NOW - 90000, 750);   // the PABX's own time is ignored
    EXPECT_EQ(start, NOW - 750);
    EXPECT_EQ(pabxerr, 0);
    EXPECT_EQ(prvetime, NOW);

    // Only a host clock gone back more than 12 hours gives a verdict.
    prvetime = NOW + 10801;
    start = call(0, 750);
    EXPECT_EQ(pabxerr, '?');
    EXPECT_EQ(start, NOW + 10801 - 750);
}

TEST_F(Tvalid, ValidationOffKeepsEveryTime)
{
    opt.checktime = false;
    for (uint32_t end : {NOW + 100000, NOW - 100000, NOW}) {
        uint32_t start = call(end, 60);
        EXPECT_EQ(pabxerr, 0);
        EXPECT_EQ(start, end - 60);
        EXPECT_EQ(prvetime, end);
    }
    opt.hosttime = true;
    uint32_t start = call(NOW - 100000, 60);
    EXPECT_EQ(start, NOW - 60);
    EXPECT_EQ(pabxerr, 0);
    EXPECT_EQ(prvetime, NOW);
    EXPECT_STREQ(errmsg, "PABX * SYSTEM TIME");
}
