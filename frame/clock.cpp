// The tick clock: jul ticks (4 seconds since 1 March 1984 local), trec, the
// host clock, the date and duration display texts and the -t time traces.
#include "morva.h"

#include <cstdio>
#include <cstdlib>

trec trecbase, real_time_rec;
uint32_t tm_trec_basediff;
struct tm tmbase, tm_now;
time_t secs_now;

// mktime of tmbase, fixed at set-up: from_jul measures from it.
static time_t basesecs;

static char rptbuf[20];
static char hmsbuf[12];    // "65535:59:56" is the widest text hh_mm_ss can make

// With TZ unset the C library looks at /etc/localtime again at every mktime:
// a file-system call per conversion, several per record. Naming the same file
// in TZ keeps the loaded rules; zonerefresh, called once a minute from the
// status line, lets a changed host zone still take effect.
static bool zonepinned;

// The host time is read at every record, and records come many to a second.
static time_t nowsecs = -1;
static trec nowrec;

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
    trecbase = trec{0, 2, 0, 0, 0, 0, 0};
    trec_to_tm(&trecbase, &tmbase);
    tm_trec_basediff = static_cast<uint32_t>(mktime(&tmbase));
    if (opt.tracetime) {
        fprintf(stderr, "tm_trec_basediff = %ld\n", static_cast<long>(tm_trec_basediff));
        fflush(stderr);
    }
    time_t zero = 0;
    localtime_r(&zero, &tmbase);
    struct tm scratch = tmbase;
    basesecs = mktime(&scratch);
}

void zonerefresh()
{
    zoneforget();
    nowsecs = -1;
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
    nowsecs = -1;
    clockderive();
}

void getcurtime(trec* t)
{
    secs_now = time(nullptr);
    if (secs_now == nowsecs && !opt.tracetime) {
        *t = nowrec;
        return;
    }
    zonelocaltime(secs_now, &tm_now);
    tm_to_trec(&tm_now, t);
    nowsecs = secs_now;
    nowrec = *t;
}

void trec_to_tm(const trec* t, struct tm* tm)
{
    if (opt.tracetime)
        dumptrec(t);
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
        dumptm(tm);
}

void tm_to_trec(const struct tm* tm, trec* t)
{
    if (opt.tracetime)
        dumptm(tm);
    t->year = static_cast<uint8_t>(tm->tm_year - 84);
    t->month = static_cast<uint8_t>(tm->tm_mon);
    t->date = static_cast<uint8_t>(tm->tm_mday - 1);
    t->day = static_cast<uint8_t>((tm->tm_wday + 3) % 7);
    t->hour = static_cast<uint8_t>(tm->tm_hour);
    t->minute = static_cast<uint8_t>(tm->tm_min);
    t->second = static_cast<uint8_t>(tm->tm_sec);
    if (opt.tracetime)
        dumptrec(t);
}

// mktime normalises fields out of range, so an hour of 99 on the epoch day
// counts on into the following days: the decoders turn durations into ticks
// this way. Integer division truncates toward zero, as the tick count must.
uint32_t from_jul(const trec* t)
{
    struct tm tm;
    trec_to_tm(t, &tm);
    // Under -t every conversion goes to the C library, as its trace shows.
    time_t secs = opt.tracetime ? mktime(&tm) : zonemktime(&tm);
    if (opt.tracetime) {
        fprintf(stderr, "NUR time_t = %ld  Base = %ld\n", static_cast<long>(secs),
                static_cast<long>(basesecs));
        fflush(stderr);
    }
    int64_t seconds = static_cast<int64_t>(secs) - static_cast<int64_t>(basesecs);
    uint32_t ret = static_cast<uint32_t>((seconds - static_cast<int64_t>(tm_trec_basediff)) / 4);
    if (opt.tracetime) {
        fprintf(stderr, "dbltime = %f retval = %ld\n", static_cast<double>(seconds),
                static_cast<long>(ret));
        fflush(stderr);
    }
    return ret;
}

// The host time value is 64-bit, so ticks far past 2038 still convert.
void to_jul(uint32_t ticks, trec* t)
{
    time_t secs = static_cast<time_t>(tm_trec_basediff) + 4 * static_cast<time_t>(ticks);
    struct tm tm;
    if (opt.tracetime)
        localtime_r(&secs, &tm);
    else
        zonelocaltime(secs, &tm);
    tm_to_trec(&tm, t);
}

uint32_t maketime(const callrec* rec)
{
    return rec->start_lo[0] | rec->start_lo[1] << 8 |
           static_cast<uint32_t>(rec->start_lo[2]) << 16 |
           static_cast<uint32_t>(rec->start_hi) << 24;
}

char* rptbin2asc(uint32_t ticks)
{
    trec t;
    to_jul(ticks, &t);
    if (ticks <= 21599)
        snprintf(rptbuf, sizeof rptbuf, "%13d:%02d", t.hour, t.minute);
    else
        snprintf(rptbuf, sizeof rptbuf, "%2d-%3s-%02d  %2d:%02d", t.date + 1, mname(t.month),
                 (t.year + 84) % 100, t.hour, t.minute);
    return rptbuf;
}

char* hh_mm_ss(uint32_t ticks)
{
    uint32_t s = 4u * ticks;
    unsigned min = (s / 60) % 60, sec = s % 60;
    if (s <= 3599)
        snprintf(hmsbuf, sizeof hmsbuf, "%2u:%02u", min, sec);
    else
        snprintf(hmsbuf, sizeof hmsbuf, "%2u:%02u:%02u",
                 static_cast<unsigned>(static_cast<uint16_t>(s / 3600)), min, sec);
    return hmsbuf;
}

const char* mname(int16_t month)
{
    static const char* const names[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    return month >= 0 && month < 12 ? names[month] : "HUH";
}

void dumptm(const struct tm* tm)
{
    fprintf(stderr, " tm sec=%d min=%d hour=%d mday=%d mon=%d year=%d wday=%d yday=%d isdst=%d\n",
            tm->tm_sec, tm->tm_min, tm->tm_hour, tm->tm_mday, tm->tm_mon, tm->tm_year,
            tm->tm_wday, tm->tm_yday, tm->tm_isdst);
    fflush(stderr);
}

void dumptrec(const trec* t)
{
    fprintf(stderr, " nurt year=%d month=%d date=%d day=%d hour=%d minute=%d second=%d\n",
            t->year, t->month, t->date, t->day, t->hour, t->minute, t->second);
    fflush(stderr);
}
