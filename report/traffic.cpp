// Quarter-hour traffic, busy hours and simultaneous calls.
#include "traffic.h"

#include <algorithm>

#include "civil.h"

void Quarters::add(long long start, long long end)
{
    long long lo = std::max(start, from_);
    long long hi = std::min(end, from_ + (long long)secs_.size() * QUARTER);
    while (lo < hi) {
        long long q = (lo - from_) / QUARTER;
        long long qend = from_ + (q + 1) * QUARTER;
        long long part = std::min(hi, qend) - lo;
        secs_[size_t(q)] += part;
        lo += part;
    }
}

BusyHours busyhours(const std::vector<long long>& secs)
{
    constexpr int HOURS = QUARTERS - 3;  // hours starting 00:00 to 23:00
    BusyHours b;
    std::vector<long long> sum(HOURS, 0);
    long long peaks = 0;  // seconds in each day's busiest hour, added up
    for (size_t day = 0; day + QUARTERS <= secs.size(); day += QUARTERS) {
        const long long* q = &secs[day];
        if (std::all_of(q, q + QUARTERS, [](long long s) { return s == 0; }))
            continue;
        b.days++;
        long long best = 0;
        for (int h = 0; h < HOURS; h++) {
            long long s = q[h] + q[h + 1] + q[h + 2] + q[h + 3];
            sum[size_t(h)] += s;
            best = std::max(best, s);
        }
        peaks += best;
    }
    if (b.days == 0)
        return b;
    b.start = int(std::max_element(sum.begin(), sum.end()) - sum.begin());
    b.tcbh = double(sum[size_t(b.start)]) / 3600 / b.days;
    b.adph = double(peaks) / 3600 / b.days;
    return b;
}

void Occupancy::add(long long start, long long end)
{
    if (end <= start)
        return;
    starts_.push(start);
    ends_.push(end);
    // No later call can start before end - maxlen: what lies before is final.
    flush(end - maxlen_, false);
}

// Takes in the events before `before` (all with all), in time order, an end
// before a start at the same instant: a trunk freed and taken again at once
// never holds two calls.
void Occupancy::flush(long long before, bool all)
{
    for (;;) {
        bool end = !ends_.empty() && (starts_.empty() || ends_.front() <= starts_.top());
        if (!end && starts_.empty())
            return;
        long long t = end ? ends_.front() : starts_.top();
        if (!all && t >= before)
            return;
        if (up_ > 0)
            at_[size_t(up_)] += t - last_;
        last_ = t;
        if (end) {
            ends_.pop();
            up_--;
        } else {
            starts_.pop();
            if (++up_ >= int(at_.size()))
                at_.push_back(0);
        }
    }
}

long long Occupancy::atleast(int n) const
{
    long long s = 0;
    for (size_t k = size_t(std::max(n, 1)); k < at_.size(); k++)
        s += at_[k];
    return s;
}
