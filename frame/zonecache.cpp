// Local-time conversions at the speed of arithmetic. Within an hour whose
// local time maps one to one onto UTC, with the same offset for a day on
// either side, converting is adding minutes and seconds to the hour's start;
// the C library is asked once per hour, and for every time where the answer
// is not that simple (near a change of offset, or fields out of range).
//
// glibc's mktime starts its search from the offset its previous call found,
// and for a local time that occurs twice, or not at all, that guess decides
// the answer. So before such a time goes to mktime, the guess is put back to
// what the previous conversion would have left, had it gone to mktime too:
// results never depend on which conversions took the quick way.
#include "zonecache.h"

#include <cstring>

namespace {

constexpr time_t HOUR = 3600;
constexpr time_t MARGIN = 27 * HOUR;   // no change of offset this near an hour we trust

struct span {
    bool used;
    int year, mon, mday, hour;   // local fields of the hour
    int wday, yday, isdst;
    long gmtoff;
    time_t start;                // UTC of hh:00:00
};

// The hours seen, each in one of the two places of the set of its local
// date and hour: the start times of a day's calls, spread over the hours
// their durations span, the hours of their ends and the host's hour (whose
// set may be that of an hour of the calls) all stay at hand.
constexpr int NSET = 32;
span spans[NSET][2];
bool older[NSET];                // which place of a set to give up next
span* lastlocal;                 // the hour asked for last, each way: calls
span* lastutc;                   // come in runs within an hour

int setof(int year, int mon, int mday, int hour)
{
    return int(unsigned(((year * 12 + mon) * 31 + mday) * 24 + hour) % NSET);
}

bool same(const span& e, const struct tm* tm)
{
    return e.used && e.hour == tm->tm_hour && e.mday == tm->tm_mday && e.mon == tm->tm_mon &&
           e.year == tm->tm_year;
}

// The last conversion that did not go to mktime, for putting the guess back.
struct tm lastquick;
bool guessstale;

// Durations are converted as times of day on the tick epoch's day (hours
// past 23 count on into the next days): from its midnight, how many seconds
// on the offset stays as it is there.
time_t epochstart;
time_t epochreach = -1;   // -1: not yet looked at; -2: no quick way

// Whether the offset is off from MARGIN before from to MARGIN after to
// (sampled hourly: offsets do not change and change back within an hour).
bool steady(time_t from, time_t to, long off)
{
    for (time_t u = from - MARGIN; u <= to + MARGIN; u += HOUR) {
        struct tm x;
        if (!localtime_r(&u, &x) || x.tm_gmtoff != off)
            return false;
    }
    return true;
}

// The local hour of t, when it is steady.
bool steadyhour(time_t t, span* s)
{
    struct tm lt;
    if (!localtime_r(&t, &lt))
        return false;
    time_t start = t - lt.tm_min * 60 - lt.tm_sec;
    long off = lt.tm_gmtoff;
    if (!steady(start, start + HOUR, off))
        return false;
    s->year = lt.tm_year;
    s->mon = lt.tm_mon;
    s->mday = lt.tm_mday;
    s->hour = lt.tm_hour;
    s->wday = lt.tm_wday;
    s->yday = lt.tm_yday;
    s->isdst = lt.tm_isdst;
    s->gmtoff = off;
    s->start = start;
    return true;
}

void keep(const span& s)
{
    int i = setof(s.year, s.mon, s.mday, s.hour);
    span& e = spans[i][older[i]];
    older[i] = !older[i];
    e = s;
    e.used = true;
}

span* bylocal(const struct tm* tm)
{
    if (lastlocal && same(*lastlocal, tm))
        return lastlocal;
    int i = setof(tm->tm_year, tm->tm_mon, tm->tm_mday, tm->tm_hour);
    for (int k = 0; k < 2; k++)
        if (same(spans[i][k], tm)) {
            older[i] = !k;
            return lastlocal = &spans[i][k];
        }
    return nullptr;
}

span* byutc(time_t t)
{
    if (lastutc && t >= lastutc->start && t - lastutc->start < HOUR)
        return lastutc;
    for (auto& set : spans)
        for (span& e : set)
            if (e.used && t >= e.start && t - e.start < HOUR)
                return lastutc = &e;
    return nullptr;
}

bool inrange(const struct tm* tm)
{
    static const int mdays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return tm->tm_mon >= 0 && tm->tm_mon < 12 && tm->tm_mday >= 1 &&
           tm->tm_mday <= mdays[tm->tm_mon] && tm->tm_hour >= 0 && tm->tm_hour < 24 &&
           tm->tm_min >= 0 && tm->tm_min < 60 && tm->tm_sec >= 0 && tm->tm_sec < 60;
}

void fill(const span& s, time_t t, struct tm* tm)
{
    int into = int(t - s.start);
    *tm = {};
    tm->tm_year = s.year;
    tm->tm_mon = s.mon;
    tm->tm_mday = s.mday;
    tm->tm_hour = s.hour;
    tm->tm_min = into / 60;
    tm->tm_sec = into % 60;
    tm->tm_wday = s.wday;
    tm->tm_yday = s.yday;
    tm->tm_isdst = s.isdst;
    tm->tm_gmtoff = s.gmtoff;
}

}  // namespace

// Where the tick epoch's midnight is in the zone now in force, found without
// mktime (whose guess must stay as the conversions leave it).
static void epochsteady()
{
    epochreach = -2;
    struct tm mid {};
    mid.tm_year = 84;
    mid.tm_mon = 2;
    mid.tm_mday = 1;
    time_t asutc = timegm(&mid);
    struct tm lt;
    if (!localtime_r(&asutc, &lt))
        return;
    epochstart = asutc - lt.tm_gmtoff;
    if (!localtime_r(&epochstart, &lt) || lt.tm_year != 84 || lt.tm_mon != 2 || lt.tm_mday != 1 ||
        lt.tm_hour || lt.tm_min || lt.tm_sec)
        return;
    // The widest duration field set: 99:99:99.
    const time_t widest = 99 * HOUR + 99 * 60 + 99;
    if (steady(epochstart, epochstart + widest, lt.tm_gmtoff))
        epochreach = widest;
}

time_t zonemktime(struct tm* tm)
{
    if (tm->tm_year == 84 && tm->tm_mon == 2 && tm->tm_mday == 1 && tm->tm_hour >= 0 &&
        tm->tm_min >= 0 && tm->tm_sec >= 0) {
        if (epochreach < 0)
            epochsteady();
        time_t d = tm->tm_hour * HOUR + tm->tm_min * 60 + tm->tm_sec;
        if (d <= epochreach) {
            lastquick = *tm;
            guessstale = true;
            return epochstart + d;
        }
    }
    if (inrange(tm)) {
        if (span* s = bylocal(tm)) {
            // tm is left as it came: its one caller needs only the result.
            lastquick = *tm;
            guessstale = true;
            return s->start + tm->tm_min * 60 + tm->tm_sec;
        }
    }
    if (guessstale) {
        struct tm prime = lastquick;
        mktime(&prime);
        guessstale = false;
    }
    struct tm in = *tm;
    time_t t = mktime(tm);
    // Keep the hour when mktime gave back the very fields asked for and
    // the hour is steady: then no other time has those fields.
    span s{};
    if (t != time_t(-1) && inrange(&in) && tm->tm_year == in.tm_year && tm->tm_mon == in.tm_mon &&
        tm->tm_mday == in.tm_mday && tm->tm_hour == in.tm_hour && tm->tm_min == in.tm_min &&
        tm->tm_sec == in.tm_sec && steadyhour(t, &s))
        keep(s);
    return t;
}

void zonelocaltime(time_t t, struct tm* tm)
{
    if (span* s = byutc(t)) {
        fill(*s, t, tm);
        return;
    }
    localtime_r(&t, tm);
    span s{};
    if (steadyhour(t, &s))
        keep(s);
}

void zoneforget()
{
    std::memset(spans, 0, sizeof spans);
    std::memset(older, 0, sizeof older);
    lastlocal = lastutc = nullptr;
    epochreach = -1;
}

void zonereset()
{
    zoneforget();
    lastquick = {};
    guessstale = false;
}
