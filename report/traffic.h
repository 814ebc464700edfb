// Carried traffic of a trunk group in one direction: seconds per quarter
// hour of the period, the busy hours of ITU-T E.500 from them, and the
// simultaneous calls.
#pragma once

#include <cstddef>
#include <queue>
#include <vector>

// Seconds of calls in each quarter hour of a period of whole days.
class Quarters {
public:
    Quarters(long long from, int days) : from_(from), secs_(size_t(days) * 96, 0) {}
    // Spreads the call [start, end) over the quarter hours it spans; the
    // part outside the period is left out.
    void add(long long start, long long end);
    const std::vector<long long>& secs() const { return secs_; }

private:
    long long from_;
    std::vector<long long> secs_;
};

struct BusyHours {
    int days = 0;          // days with traffic
    int start = -1;        // first quarter of the time-consistent busy hour, -1 without traffic
    double tcbh = 0;       // its traffic in erlangs, averaged over those days
    double adph = 0;       // the average daily peak hour, in erlangs
};

// From the seconds per quarter hour of whole days (96 a day): the
// time-consistent busy hour is the hour of four consecutive quarter hours
// within the day, at the same time every day, whose traffic averaged over
// the days with traffic is highest (the earliest of equals); the average
// daily peak hour averages each such day's busiest such hour.
BusyHours busyhours(const std::vector<long long>& secs);

// Simultaneous calls: fed calls in the order of their ends, each starting
// at most maxlen seconds before it ends, it keeps how long each number of
// calls was up at once. Memory holds the calls of the last maxlen seconds.
class Occupancy {
public:
    explicit Occupancy(long long maxlen) : maxlen_(maxlen) {}
    void add(long long start, long long end);
    // Takes in the calls still pending: after the last add.
    void finish() { flush(-1, true); }
    int peak() const { return int(at_.size()) - 1; }
    // Seconds during which n or more calls were up at once.
    long long atleast(int n) const;

private:
    void flush(long long before, bool all);
    long long maxlen_;
    std::priority_queue<long long, std::vector<long long>, std::greater<long long>> starts_;
    std::queue<long long> ends_;  // in order already
    int up_ = 0;
    long long last_ = 0;          // time of the last event taken in
    std::vector<long long> at_{0};  // seconds with exactly k calls up
};
