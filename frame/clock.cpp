// The tick clock: ticks and datetimes, the host clock, the date and duration
// display texts and the -t time traces.
#include "clock.h"

#include <cstdio>
#include <cstdlib>

#include "settings.h"
#include "zonecache.h"

// Seconds of the tick epoch's local midnight, and mktime of the host time's
// own start, both fixed at set-up: toticks measures from them.
static uint32_t epochsecs;
static time_t basesecs;

// The host time at the last reading.
static time_t readsecs;
static struct tm readtm;

static char datebuf[20];
static char durbuf[12];    // "65535:59:56" is the widest text durationtext can make

// With TZ unset the C library looks at /etc/localtime again at every mktime:
// a file-system call per conversion, several per record. Naming the same file
// in TZ keeps the loaded rules; zonerefresh, called once a minute from the
// status line, lets a changed host zone still take effect.
static bool zonepinned;

// The host time is read at every record, and records come many to a second:
// the second last converted and its datetime.
static time_t cachedsecs = -1;
static datetime cached;

static void tracetm(const struct tm* tm);
static void tracedatetime(const datetime* t);

static void pinzone()
{
    zonepinned = !getenv("TZ");
    if (zonepinned)
        setenv("TZ", ":/etc/localtime", 1);
    tzset();
}

// What the tick epoch's values depend on: the offsets at the start of the
// host's time and around the epoch's local midnight.
struct zoneprint {
    long at0, atmid, atstart;
    bool operator==(const zoneprint&) const = default;
};
static zoneprint derivedin;   // the zone the values below were measured in

static zoneprint printzone()
{
    struct tm mid {}, lt {};
    mid.tm_year = 84;
    mid.tm_mon = 2;
    mid.tm_mday = 1;
    time_t t = timegm(&mid);
    zoneprint p{};
    if (localtime_r(&t, &lt))
        p.atmid = lt.tm_gmtoff;
    t -= p.atmid;
    if (localtime_r(&t, &lt))
        p.atstart = lt.tm_gmtoff;
    t = 0;
    if (localtime_r(&t, &lt))
        p.at0 = lt.tm_gmtoff;
    return p;
}

// The values the conversions measure from, in the zone now in force.
static void clockderive()
{
    derivedin = printzone();
    const datetime epoch = {0, 2, 0, 0, 0, 0, 0};
    struct tm tm;
    totm(&epoch, &tm);
    epochsecs = static_cast<uint32_t>(mktime(&tm));
    if (opt.tracetime)
        fprintf(stderr, "tm_trec_basediff = %ld\n", static_cast<long>(epochsecs));
    time_t zero = 0;
    localtime_r(&zero, &tm);
    basesecs = mktime(&tm);
}

void zonerefresh()
{
    zoneforget();
    cachedsecs = -1;
    if (zonepinned) {
        unsetenv("TZ");
        tzset();   // reloads the default zone if its file changed
        setenv("TZ", ":/etc/localtime", 1);
        tzset();   // same file as now loaded: nothing more is read
    }
    // Another zone: every later line as a program started in it would write
    // it, so the epoch is measured again and nothing remembered stays.
    if (!(printzone() == derivedin)) {
        zonereset();
        clockderive();
    }
}

void clocksetup()
{
    pinzone();
    zoneforget();
    cachedsecs = -1;
    clockderive();
}

void readclock(datetime* t)
{
    readsecs = time(nullptr);
    if (readsecs == cachedsecs && !opt.tracetime) {
        *t = cached;
        return;
    }
    zonelocaltime(readsecs, &readtm);
    fromtm(&readtm, t);
    cachedsecs = readsecs;
    cached = *t;
}

time_t clocksecs() { return readsecs; }

const struct tm& clocktm() { return readtm; }

void totm(const datetime* t, struct tm* tm)
{
    if (opt.tracetime)
        tracedatetime(t);
    tm->tm_year = t->year + 84;
    tm->tm_mon = t->month;
    tm->tm_mday = t->date + 1;
    tm->tm_wday = (t->day + 4) % 7;
    tm->tm_hour = t->hour;
    tm->tm_min = t->minute;
    tm->tm_sec = t->second;
    tm->tm_isdst = -1;
    tm->tm_yday = -1;
    if (opt.tracetime)
        tracetm(tm);
}

void fromtm(const struct tm* tm, datetime* t)
{
    if (opt.tracetime)
        tracetm(tm);
    t->year = static_cast<uint8_t>(tm->tm_year - 84);
    t->month = static_cast<uint8_t>(tm->tm_mon);
    t->date = static_cast<uint8_t>(tm->tm_mday - 1);
    t->day = static_cast<uint8_t>((tm->tm_wday + 3) % 7);
    t->hour = static_cast<uint8_t>(tm->tm_hour);
    t->minute = static_cast<uint8_t>(tm->tm_min);
    t->second = static_cast<uint8_t>(tm->tm_sec);
    if (opt.tracetime)
        tracedatetime(t);
}

// mktime normalises fields out of range, so an hour of 99 on the epoch day
// counts on into the following days: the decoders turn durations into ticks
// this way. Integer division truncates toward zero, as the tick count must.
uint32_t toticks(const datetime* t)
{
    struct tm tm;
    totm(t, &tm);
    // Under -t every conversion goes to the C library, as its trace shows.
    time_t secs = opt.tracetime ? mktime(&tm) : zonemktime(&tm);
    if (opt.tracetime)
        fprintf(stderr, "NUR time_t = %ld  Base = %ld\n", static_cast<long>(secs),
                static_cast<long>(basesecs));
    int64_t seconds = static_cast<int64_t>(secs) - static_cast<int64_t>(basesecs);
    uint32_t ret = static_cast<uint32_t>((seconds - static_cast<int64_t>(epochsecs)) / 4);
    if (opt.tracetime)
        fprintf(stderr, "dbltime = %f retval = %ld\n", static_cast<double>(seconds),
                static_cast<long>(ret));
    return ret;
}

time_t tickstime(uint32_t ticks)
{
    return static_cast<time_t>(epochsecs) + 4 * static_cast<time_t>(ticks);
}

// The host time value is 64-bit, so ticks far past 2038 still convert.
void fromticks(uint32_t ticks, datetime* t)
{
    time_t secs = tickstime(ticks);
    struct tm tm;
    if (opt.tracetime)
        localtime_r(&secs, &tm);
    else
        zonelocaltime(secs, &tm);
    fromtm(&tm, t);
}

char* datetext(uint32_t ticks)
{
    datetime t;
    fromticks(ticks, &t);
    if (ticks <= 21599)
        snprintf(datebuf, sizeof datebuf, "%13d:%02d", t.hour, t.minute);
    else
        snprintf(datebuf, sizeof datebuf, "%2d-%3s-%02d  %2d:%02d", t.date + 1, monthname(t.month),
                 (t.year + 84) % 100, t.hour, t.minute);
    return datebuf;
}

char* durationtext(uint32_t ticks)
{
    uint32_t s = 4u * ticks;
    unsigned min = (s / 60) % 60, sec = s % 60;
    if (s <= 3599)
        snprintf(durbuf, sizeof durbuf, "%2u:%02u", min, sec);
    else
        snprintf(durbuf, sizeof durbuf, "%2u:%02u:%02u",
                 static_cast<unsigned>(static_cast<uint16_t>(s / 3600)), min, sec);
    return durbuf;
}

const char* monthname(int16_t month)
{
    static const char* const names[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    return month >= 0 && month < 12 ? names[month] : "HUH";
}

static void tracetm(const struct tm* tm)
{
    fprintf(stderr, " tm sec=%d min=%d hour=%d mday=%d mon=%d year=%d wday=%d yday=%d isdst=%d\n",
            tm->tm_sec, tm->tm_min, tm->tm_hour, tm->tm_mday, tm->tm_mon, tm->tm_year,
            tm->tm_wday, tm->tm_yday, tm->tm_isdst);
}

static void tracedatetime(const datetime* t)
{
    fprintf(stderr, " nurt year=%d month=%d date=%d day=%d hour=%d minute=%d second=%d\n",
            t->year, t->month, t->date, t->day, t->hour, t->minute, t->second);
}
