// Tests of the tick clock: conversions in UTC and in a zone with daylight
// saving, the display texts and the exact -t trace lines.
#include "clock.h"
#include "settings.h"
#include "zonecache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Switches the process's zone for one test and sets the clock up anew.
class Zone {
public:
    explicit Zone(const char* tz)
    {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
        clocksetup();
    }
    ~Zone()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        clocksetup();
    }

private:
    bool had_;
    std::string old_;
};

datetime mk(int y, int mon, int date, int h, int m, int s)
{
    return datetime{uint8_t(y - 1984), uint8_t(mon - 1), uint8_t(date - 1), 0,
                uint8_t(h), uint8_t(m), uint8_t(s)};
}

bool same(const datetime& a, const datetime& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

// Fields out of range count on through mktime; the decoders turn durations
// of up to 99 hours into ticks this way. Both zones have no clock change in
// the days these touch.
TEST(Clock, FromJulTicksAndNormalisation)
{
    struct {
        datetime t;
        uint32_t want;
    } cases[] = {
        {mk(1984, 3, 1, 0, 0, 3), 0},
        {mk(1984, 3, 1, 0, 0, 4), 1},
        {mk(1984, 3, 1, 1, 0, 0), 900},
        {mk(1984, 3, 2, 0, 0, 0), 21600},
        {mk(1984, 3, 1, 30, 0, 0), 27000},
        {mk(1984, 3, 1, 99, 0, 0), 89100},
        {mk(1984, 3, 1, 99, 59, 59), 89100 + 899},
        {mk(1984, 2, 30, 0, 0, 0), 0},               // 30 February 1984 is 1 March
        {mk(1984, 2, 29, 23, 59, 56), uint32_t(-1)}, // before the epoch wraps
        {mk(1984, 2, 29, 0, 0, 0), uint32_t(-21600)},
    };
    for (const char* tz : {"UTC", "Europe/Berlin"}) {
        Zone z(tz);
        for (const auto& c : cases)
            EXPECT_EQ(toticks(&c.t), c.want) << tz << " hour " << int(c.t.hour);
        // 30 February of a common year is 2 March.
        datetime feb30 = mk(1985, 2, 30, 0, 0, 0);
        datetime mar2 = mk(1985, 3, 2, 0, 0, 0);
        EXPECT_EQ(toticks(&feb30), toticks(&mar2)) << tz;
    }
}

TEST(Clock, KnownDateInUtc)
{
    Zone z("UTC");
    datetime t = mk(2026, 12, 6, 2, 55, 56);
    EXPECT_EQ(toticks(&t), 337394639u);
    datetime back;
    fromticks(337394639u, &back);
    t.day = 3;   // a Sunday
    EXPECT_TRUE(same(back, t));
}

TEST(Clock, Weekdays)
{
    Zone z("UTC");
    struct tm tm{};
    tm.tm_wday = 4;   // Thursday
    datetime t;
    fromtm(&tm, &t);
    EXPECT_EQ(t.day, 0);
    tm.tm_wday = 3;   // Wednesday
    fromtm(&tm, &t);
    EXPECT_EQ(t.day, 6);
    datetime th{0, 2, 0, 0, 0, 0, 0};
    totm(&th, &tm);
    EXPECT_EQ(tm.tm_wday, 4);
}

// Round trips in a zone with daylight saving, well past 2038. The repeated
// hour when the clocks go back converts either way, so 02:xx is left out.
TEST(Clock, RoundTripsInBerlin)
{
    Zone z("Europe/Berlin");
    int checked = 0;
    for (uint64_t ticks = 0; ticks < 0xFFFFFFFFu; ticks += 1000003) {
        datetime t;
        fromticks(uint32_t(ticks), &t);
        if (t.year > 200)
            break;
        if (t.hour == 2)
            continue;
        ASSERT_EQ(toticks(&t), ticks) << datetext(uint32_t(ticks));
        checked++;
    }
    EXPECT_GT(checked, 1500);

    struct {
        datetime in;
        uint8_t day;
    } cases[] = {
        {mk(1984, 3, 1, 0, 0, 3), 0},      // Thursday
        {mk(2026, 7, 15, 14, 33, 27), 6},  // Wednesday, summer time
        {mk(2026, 1, 15, 14, 33, 27), 0},  // Thursday, winter time
        {mk(2040, 1, 1, 23, 59, 59), 3},   // Sunday, past 2038
        {mk(2100, 2, 28, 12, 0, 2), 3},    // Sunday
    };
    for (const auto& c : cases) {
        datetime back;
        fromticks(toticks(&c.in), &back);
        datetime want = c.in;
        want.second = uint8_t(want.second & ~3);
        want.day = c.day;
        EXPECT_TRUE(same(back, want)) << datetext(toticks(&c.in));
    }
}

// The quick conversions give what the C library gives, around every change
// of offset and for fields out of range, in the same order of calls: so
// also the times that occur twice or not at all, which mktime settles by
// its previous answer.
TEST(Clock, QuickConversionsAgreeWithTheCLibrary)
{
    struct zonecase { const char* tz; int y, mon, d; };   // a day the clock changes
    const zonecase zones[] = {
        {"Europe/Berlin", 2026, 3, 29},       {"Europe/Berlin", 2026, 10, 25},
        {"America/St_Johns", 2026, 3, 8},     {"America/St_Johns", 2026, 11, 1},
        {"Australia/Lord_Howe", 2026, 4, 5},  {"Australia/Lord_Howe", 2026, 10, 4},
        {"Australia/Lord_Howe", 1984, 3, 4},  {"UTC", 2026, 12, 7},
    };
    for (const zonecase& z : zones) {
        Zone zone(z.tz);
        // Times every 7 minutes and 13 seconds over two days, each followed by
        // a duration on the tick epoch's day, as a decoder converts them.
        std::vector<struct tm> in;
        for (int k = 0; k < 2 * 24 * 3600 / 433; k++) {
            int t = k * 433;
            struct tm a {};
            a.tm_year = z.y - 1900;
            a.tm_mon = z.mon - 1;
            a.tm_mday = z.d - 1;
            a.tm_hour = t / 3600;   // past 23 on purpose: normalised by both
            a.tm_min = t / 60 % 60;
            a.tm_sec = t % 60;
            a.tm_isdst = -1;
            if (a.tm_hour >= 24) {
                a.tm_hour -= 24;
                a.tm_mday++;
            }
            in.push_back(a);
            struct tm d {};
            d.tm_year = 84;
            d.tm_mon = 2;
            d.tm_mday = 1;
            d.tm_hour = k % 100;
            d.tm_min = k * 7 % 100;
            d.tm_sec = k * 13 % 100;
            d.tm_isdst = -1;
            in.push_back(d);
        }
        struct tm start = in[0];
        std::vector<time_t> want, got;
        mktime(&start);
        for (struct tm t : in)
            want.push_back(mktime(&t));
        zoneforget();
        start = in[0];
        mktime(&start);
        for (struct tm t : in)
            got.push_back(zonemktime(&t));
        for (size_t i = 0; i < in.size(); i++)
            ASSERT_EQ(got[i], want[i]) << z.tz << " input " << i;

        for (time_t u = want[0] - 7200; u < want[0] + 2 * 86400; u += 599) {
            struct tm a, b;
            localtime_r(&u, &a);
            zonelocaltime(u, &b);
            auto fields = [](const struct tm& t) {
                return std::vector<long>{t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min,
                                         t.tm_sec, t.tm_wday, t.tm_yday, t.tm_isdst, t.tm_gmtoff};
            };
            ASSERT_EQ(fields(a), fields(b)) << z.tz << " at " << u;
        }
    }
}

// The host's zone changes while the program runs: after the next refresh
// every conversion is what a program started in the new zone gives,
// durations included.
TEST(Clock, ZoneChangeActsAsAFreshStart)
{
    // A five-minute call and its start, as a decoder converts them, and
    // the host's local hour at 10:00 UTC.
    auto convert = [] {
        datetime dur = mk(1984, 3, 1, 0, 5, 0), start = mk(2026, 12, 7, 9, 55, 0), back;
        uint32_t s = toticks(&start);
        fromticks(s, &back);
        struct tm host;
        zonelocaltime(1796637600, &host);
        return std::vector<uint32_t>{toticks(&dur), s, back.hour, back.date, uint32_t(host.tm_hour)};
    };
    Zone zone("UTC");
    std::vector<uint32_t> before = convert();
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    zonerefresh();
    std::vector<uint32_t> after = convert();
    clocksetup();
    std::vector<uint32_t> fresh = convert();
    EXPECT_EQ(before[0], 75u);
    EXPECT_NE(before[4], fresh[4]);
    EXPECT_EQ(after, fresh);
}

TEST(Clock, DateText)
{
    Zone z("UTC");
    struct {
        uint32_t ticks;
        const char* want;
    } cases[] = {
        {0, "            0:00"},
        {900, "            1:00"},
        {21599, "           23:59"},
        {21600, " 2-MAR-84   0:00"},
        {337394639u, " 6-DEC-26   2:55"},
        {(2208988800u - 446947200u) / 4, " 1-JAN-40   0:00"},   // past 2038
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(datetext(c.ticks), c.want) << c.ticks;
        EXPECT_EQ(strlen(datetext(c.ticks)), 16u);
    }
}

TEST(Clock, DurationText)
{
    struct {
        uint32_t ticks;
        const char* want;
    } cases[] = {
        {0, " 0:00"},        {15, " 1:00"},          {899, "59:56"},
        {900, " 1:00:00"},   {65535, "72:49:00"},    {899999, "999:59:56"},
        // 4294967292 s are 1193046 h, of which the low 16 bits are kept.
        {0x3FFFFFFFu, "13398:28:12"},
        {0x40000000u, " 0:00"},   // only the low 30 bits count
    };
    for (const auto& c : cases)
        EXPECT_STREQ(durationtext(c.ticks), c.want) << c.ticks;
}

TEST(Clock, MonthNames)
{
    std::string all;
    for (int16_t m = -1; m <= 12; m++)
        all += monthname(m);
    EXPECT_EQ(all, "HUHJANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDECHUH");
}

TEST(Clock, TraceLines)
{
    Zone z("UTC");
    bool saved = opt.tracetime;
    opt.tracetime = true;

    testing::internal::CaptureStderr();
    clocksetup();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              " nurt year=0 month=2 date=0 day=0 hour=0 minute=0 second=0\n"
              " tm sec=0 min=0 hour=0 mday=1 mon=2 year=84 wday=4 yday=-1 isdst=-1\n"
              "tm_trec_basediff = 446947200\n");

    datetime t = mk(1984, 3, 1, 1, 0, 7);
    testing::internal::CaptureStderr();
    toticks(&t);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              " nurt year=0 month=2 date=0 day=0 hour=1 minute=0 second=7\n"
              " tm sec=7 min=0 hour=1 mday=1 mon=2 year=84 wday=4 yday=-1 isdst=-1\n"
              "NUR time_t = 446950807  Base = 0\n"
              "dbltime = 446950807.000000 retval = 901\n");

    datetime out;
    testing::internal::CaptureStderr();
    fromticks(337394639u, &out);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              " tm sec=56 min=55 hour=2 mday=6 mon=11 year=126 wday=0 yday=339 isdst=0\n"
              " nurt year=42 month=11 date=5 day=3 hour=2 minute=55 second=56\n");

    opt.tracetime = saved;
}

TEST(Clock, ReadclockReadsHostClock)
{
    Zone z("UTC");
    time_t before = time(nullptr);
    datetime now;
    readclock(&now);
    EXPECT_GE(clocksecs(), before);
    EXPECT_LE(clocksecs(), before + 2);
    EXPECT_EQ(clocktm().tm_min, now.minute);
    EXPECT_EQ(toticks(&now), uint32_t((clocksecs() - 446947200) / 4));
}
