// Quarter-hour traffic, the busy hours and the simultaneous calls on a
// small hand-made period, the sweep against a count second by second, and
// the trunk groups a tally makes of the calls around a period.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "civil.h"
#include "csvfile.h"
#include "tally.h"
#include "traffic.h"
#include "trunks.h"

namespace {

long long at(int day, int h, int m) { return day * DAY + h * 3600 + m * 60; }

struct Span {
    long long start, end;
};

}  // namespace

// Three days of a group of 2 trunks: on the first, 09:00-10:00 with two
// more calls over it (three at once 09:40-09:45); on the second one call
// 14:00-15:00; the third is quiet and does not count.
TEST(Traffic, BusyHoursAndAllBusyOnAHandMadePeriod)
{
    std::vector<Span> calls = {{at(0, 9, 30), at(0, 9, 45)},
                               {at(0, 9, 40), at(0, 9, 50)},
                               {at(0, 9, 0), at(0, 10, 0)},
                               {at(1, 14, 0), at(1, 15, 0)}};
    Quarters q(0, 3);
    Occupancy occ(6 * 3600);
    for (auto& c : calls) {
        q.add(c.start, c.end);
        occ.add(c.start, c.end);
    }
    occ.finish();

    const auto& s = q.secs();
    EXPECT_EQ(s[36], 900);           // 09:00: the long call alone
    EXPECT_EQ(s[38], 900 + 900 + 300);
    EXPECT_EQ(s[39], 900 + 300);
    EXPECT_EQ(s[96 + 56], 900);      // day 2, 14:00

    BusyHours b = busyhours(s);
    EXPECT_EQ(b.days, 2);
    EXPECT_EQ(b.start, 36);                           // 09:00
    EXPECT_NEAR(b.tcbh, (5100.0 + 0) / 3600 / 2, 1e-9);
    EXPECT_NEAR(b.adph, (5100.0 / 3600 + 1.0) / 2, 1e-9);

    EXPECT_EQ(occ.peak(), 3);
    EXPECT_EQ(occ.atleast(2), 20 * 60);               // 09:30 to 09:50
    EXPECT_EQ(occ.atleast(3), 5 * 60);
    EXPECT_EQ(occ.atleast(1), 3600 + 3600);
}

TEST(Traffic, SpreadAcrossMidnightAndClippedToThePeriod)
{
    Quarters q(DAY, 2);              // the period is days 1 and 2
    q.add(at(0, 23, 50), at(1, 0, 20));   // began before the period
    q.add(at(2, 23, 55), at(3, 0, 5));    // ends after it
    EXPECT_EQ(q.secs()[0], 900);
    EXPECT_EQ(q.secs()[1], 300);
    EXPECT_EQ(q.secs()[191], 300);
    long long sum = 0;
    for (long long v : q.secs())
        sum += v;
    EXPECT_EQ(sum, 1200 + 300);
    // Equal hours: the earliest is the busy hour.
    Quarters e(0, 1);
    e.add(at(0, 8, 0), at(0, 9, 0));
    e.add(at(0, 16, 0), at(0, 17, 0));
    EXPECT_EQ(busyhours(e.secs()).start, 32);
}

// Random calls fed in the order of their ends: the peak and the seconds at
// each level agree with a count of the calls up in every second.
TEST(Traffic, SweepAgreesWithACountEverySecond)
{
    std::mt19937 rng(7);
    const long long span = 20000, maxlen = 3000;
    std::vector<Span> calls;
    for (int i = 0; i < 400; i++) {
        long long end = rng() % span;
        long long len = rng() % 5 == 0 ? 0 : 1 + rng() % maxlen;
        calls.push_back({std::max(0LL, end - len), end});
    }
    std::sort(calls.begin(), calls.end(), [](auto& a, auto& b) { return a.end < b.end; });
    Occupancy occ(maxlen);
    std::vector<int> up(size_t(span), 0);
    for (auto& c : calls) {
        occ.add(c.start, c.end);
        for (long long t = c.start; t < c.end; t++)
            up[size_t(t)]++;
    }
    occ.finish();
    EXPECT_EQ(occ.peak(), *std::max_element(up.begin(), up.end()));
    for (int n = 1; n <= occ.peak() + 1; n++)
        EXPECT_EQ(occ.atleast(n), std::count_if(up.begin(), up.end(), [n](int k) { return k >= n; }))
            << n << " calls at once";
}

TEST(Trunks, GroupsFromTheFileAndByNumber)
{
    std::istringstream in("first,last,group,size\n4000,4029,\"City, out\",30\n"
                          "4100,4109,Mobile,12\n4050,4059,\"City, out\",30\n");
    Trunks t;
    t.load(in, "trunks.csv");
    EXPECT_EQ(t.groups()[size_t(t.group("4029"))].name, "City, out");
    EXPECT_EQ(t.groups()[size_t(t.group("4055"))].name, "City, out");
    EXPECT_EQ(t.groups()[size_t(t.group("4100"))].name, "Mobile");
    EXPECT_EQ(t.groups()[size_t(t.group("4030"))].name, "-");  // in no range
    t.settle();
    EXPECT_EQ(t.groups()[size_t(t.group("4100"))].size, 12);

    Trunks rule;
    int g = rule.group("4012");
    EXPECT_EQ(rule.group("4999"), g);
    EXPECT_NE(rule.group("14012"), g);
    EXPECT_EQ(rule.groups()[size_t(rule.group("12"))].name, "0");
    rule.settle();
    EXPECT_EQ(rule.groups()[size_t(g)].size, 2);

    for (const char* bad : {"first,last,group,size\n4000,4010,A,5\n4010,4020,B,5\n",
                            "first,last,group,size\n4000,4010,A,5\n4020,4030,A,6\n"}) {
        std::istringstream b(bad);
        Trunks x;
        try {
            x.load(b, "t.csv");
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const InputError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, 6), "t.csv:") << e.what();
        }
    }
}

// A day's calls on trunks 4001 and 4002; the next day's, read for their
// traffic in the period, on 4003 to 4005 and 7001 count nowhere.
TEST(Tally, CallsAfterThePeriodWithoutTrafficInItCountNowhere)
{
    Settings set;
    set.from = DAY;
    set.to = 2 * DAY;
    Tariff tariff;
    Trunks trunks;
    Tally t(set, tariff, trunks);
    for (auto [trunk, day] : {std::pair{"4001", 1}, {"4002", 1}, {"4003", 2}, {"4004", 2},
                              {"4005", 2}, {"7001", 2}})
        t.add(Call{"2101", trunk, "0711", at(day, 8, 0), 60, 0, 0x01, Dir::Out, 0});
    t.finish();
    ASSERT_EQ(trunks.groups().size(), 1u);
    EXPECT_EQ(trunks.groups()[0].size, 2);
    EXPECT_EQ(t.bydir[size_t(Dir::Out)].calls, 2);
    EXPECT_EQ(t.series[3]->calls, 2);
}
