// Taking in one call: its cost, its extension, its destination, its hour,
// its trunks' traffic and the watch list.
#include "tally.h"

#include <algorithm>
#include <cstring>

#include "civil.h"

namespace {

// The costly-calls heap keeps its cheapest (of equal cost, its latest) on top.
bool cheaper(const CallLine& a, const CallLine& b)
{
    return a.cost != b.cost ? a.cost > b.cost : a.seq < b.seq;
}

}  // namespace

Tally::Tally(const Settings& s, const Tariff& tariff, Trunks& trunks, int nsites)
    : extensions(size_t(nsites)), bycalls(s.topcapacity, TopKeys::By::Calls),
      bycost(s.topcapacity, TopKeys::By::Cost),
      labels(tariff.labels().size()), s_(s), tariff_(tariff), trunks_(trunks),
      days_(int((s.to - s.from) / DAY)), nsites_(nsites)
{
    perday.resize(size_t(days_));
    costly.reserve(s.top + 1);
    for (auto& w : watch)
        w.reserve(s.watchshown);
}

std::string_view Tally::masked(std::string_view dialled)
{
    dialled = dialled.substr(0, TopKeys::KEYLEN);
    if (dialled.empty())  // a NULL column: no data at all, not even to copy none of
        return {};
    std::memcpy(maskbuf_, dialled.data(), dialled.size());
    size_t keep = dialled.size() > size_t(s_.mask) ? dialled.size() - size_t(s_.mask) : 0;
    std::memset(maskbuf_ + keep, 'x', dialled.size() - keep);
    return {maskbuf_, dialled.size()};
}

CallLine Tally::line(const Call& c, long long start, std::string_view ext, const Rate* r, Money cost)
{
    CallLine l;
    l.start = start;
    l.end = c.end;
    l.extension = ext;
    l.parties = std::string(c.first.empty() ? "0" : c.first) + " > " +
                std::string(c.second.empty() ? "0" : c.second);
    l.number = masked(c.dialled);
    l.label = r ? tariff_.labels()[size_t(r->label)] : std::string();
    l.seconds = c.duration;
    l.cost = cost;
    l.dir = c.dir;
    l.seq = seq_;
    l.site = c.site;
    l.kind = WatchKind::Long;
    return l;
}

void Tally::watchcall(WatchKind k, const Call& c, long long start, std::string_view ext,
                      const Rate* r, Money cost)
{
    size_t i = size_t(k);
    watchcount[i]++;
    if (!onwatch && watch[i].size() >= s_.watchshown)
        return;
    CallLine l = line(c, start, ext, r, cost);
    l.kind = k;
    if (onwatch)
        onwatch(l);
    if (watch[i].size() < s_.watchshown)
        watch[i].push_back(std::move(l));
}

void Tally::add(const Call& c)
{
    long long start = c.end - c.duration;
    if (c.end < s_.from)
        return;  // a source keeps to the period; this guards the day tables
    if (c.end >= s_.to) {
        traffic(c, start, false);
        return;
    }
    seq_++;
    if (first < 0)
        first = c.end;
    last = c.end;

    // The cost: outgoing and tandem calls seize an outgoing trunk, and only
    // they carry dialled digits.
    bool priced = c.dir == Dir::Out || c.dir == Dir::Tandem;
    const Rate* r = priced ? tariff_.match(c.dialled) : nullptr;
    Money cost = 0;
    if (priced) {
        if (s_.pulseprice >= 0 && c.meter > 0) {
            cost = Money(c.meter) * s_.pulseprice;
            pulsepriced.calls++;
            pulsepriced.seconds += c.duration;
            addmoney(pulsepriced.cost, cost);
        } else if (r) {
            cost = callcost(*r, c.duration);
        } else {
            unrated.calls++;
            unrated.seconds += c.duration;
            std::string_view lead = masked(c.dialled).substr(0, 4);
            auto at = unratedprefix.find(lead);
            if (at == unratedprefix.end())
                at = unratedprefix.emplace(std::string(lead), Totals{}).first;
            at->second.calls++;
            at->second.seconds += c.duration;
        }
    }
    Totals& d = bydir[size_t(c.dir)];
    d.calls++;
    d.seconds += c.duration;
    addmoney(d.cost, cost);

    // The station's totals.
    std::string_view ext = c.dir == Dir::Out ? c.first : c.dir == Dir::In ? c.second : std::string_view();
    if (c.dir == Dir::Out || c.dir == Dir::In) {
        auto& site = extensions[size_t(c.site)];
        auto at = site.find(ext);
        if (at == site.end())
            at = site.emplace(std::string(ext), ExtTotals{}).first;
        ExtTotals& e = at->second;
        if (c.dir == Dir::Out) {
            e.calls_out++;
            e.seconds_out += c.duration;
        } else {
            e.calls_in++;
            e.seconds_in += c.duration;
        }
        addmoney(e.cost, cost);
    }
    if (cost > 0 && (costly.size() < s_.top || cost > costly.front().cost)) {
        costly.push_back(line(c, start, ext, r, cost));
        std::push_heap(costly.begin(), costly.end(), cheaper);
        if (costly.size() > s_.top) {
            std::pop_heap(costly.begin(), costly.end(), cheaper);
            costly.pop_back();
        }
    }

    // Destinations.
    if (priced && !c.dialled.empty()) {
        std::string_view key = masked(c.dialled);
        bycalls.add(key, c.duration, cost);
        bycost.add(key, c.duration, cost);
    }
    if (r) {
        Totals& l = labels[size_t(r->label)];
        l.calls++;
        l.seconds += c.duration;
        addmoney(l.cost, cost);
    }

    // When.
    long long day = floordiv(c.end, DAY);
    weekhours[size_t(weekday(day))][size_t((c.end - day * DAY) / 3600)]++;
    perday[size_t((c.end - s_.from) / DAY)][size_t(c.dir)]++;

    traffic(c, start, true);

    // The watch list.
    if (c.dir == Dir::Out && r && r->watch != Watch::None) {
        long long sday = floordiv(start, DAY);
        int wd = weekday(sday);
        long long hour = (start - sday * DAY) / 3600;
        if (wd < s_.bizday1 || wd > s_.bizday2 || hour < s_.bizfrom || hour >= s_.bizto)
            watchcall(WatchKind::AfterHours, c, start, ext, r, cost);
    }
    if (c.duration > s_.longcall)
        watchcall(WatchKind::Long, c, start, ext, r, cost);
    if (priced && !c.dialled.empty() &&
        std::find(s_.emergency.begin(), s_.emergency.end(), c.dialled) != s_.emergency.end())
        watchcall(WatchKind::Emergency, c, start, ext, r, cost);
}

// The call's trunks: the second party of an outgoing call, the first of an
// incoming one, both of a tandem call, none of an internal one.
void Tally::traffic(const Call& c, long long start, bool inperiod)
{
    std::string_view trunk[2];
    int n = 0;
    if (c.dir == Dir::Out || c.dir == Dir::Tandem)
        trunk[n++] = c.second;
    if (c.dir == Dir::In || c.dir == Dir::Tandem)
        trunk[n++] = c.first;
    int d = c.dir == Dir::Out ? 0 : c.dir == Dir::In ? 1 : 2;
    long long lo = std::max(start, s_.from), hi = std::min(c.end, s_.to);
    // A call read for its traffic in the period that had none there seized
    // no trunk in it: it makes no group and adds no trunk to a group's size.
    if (!inperiod && lo >= hi)
        return;
    for (int i = 0; i < n; i++) {
        size_t g = size_t(trunks_.group(trunk[i], c.site));
        while (series.size() < (g + 1) * SERIES)
            series.push_back(std::make_unique<Series>(s_.from, days_));
        for (size_t k : {g * SERIES + size_t(d), g * SERIES + 3}) {
            Series& s = *series[k];
            s.quarters.add(lo, hi);
            s.occupancy.add(lo, hi);
            s.calls += inperiod;
        }
    }
}

void Tally::finish()
{
    for (auto& s : series)
        s->occupancy.finish();
    trunks_.settle(nsites_);
    std::sort_heap(costly.begin(), costly.end(), cheaper);
}
