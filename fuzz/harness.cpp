// The fuzz harness both programs' targets share: option bytes to settings
// and a fixed host clock, the rest of the input through the real record path
// (framer, decoder, time check, filter, CDR line, store), the invariants of
// what that wrote, and all state back to a fresh start for the next input.
//
// Input: byte 0 options, byte 1 host clock, byte 2 the program's own
// setting, then the SMDR stream.
//   byte 0: 0x01 -m (else -c), 0x02 -s, 0x04 -v, 0x08 -M, 0x10 hourly tree
//           (else stdout), bits 5-7 an exclusion setting from `exclusions`
//   byte 1: bits 0-2 the start instant, bits 3-4 the zone, bits 5-7 the
//           seconds the clock moves on at each reading
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "cdrcheck.h"
#include "cdrstore.h"
#include "clock.h"
#include "framer.h"
#include "harness.h"
#include "linedecoder.h"
#include "runloop.h"
#include "settings.h"
#include "timecheck.h"

// ---------------------------------------------------------------------------
// The host clock. This time() takes the C library's place for the frame's
// readclock, so every run sees the same instants.
static time_t clocknow, clockstep, clockfirst, clocklast;
static bool clockread;

extern "C" time_t time(time_t* t) noexcept
{
    time_t now = clocknow;
    clocknow += clockstep;
    if (!clockread)
        clockfirst = now;
    clockread = true;
    clocklast = now;
    if (t)
        *t = now;
    return now;
}

// Local start instants: an ordinary day (the samples' dates), the turn of a
// year, the end of 2099 and the first minutes of 2100, and the daylight-saving
// changes of the zones below.
struct instant {
    int year, month, day, hour, minute;
};
static const instant instants[8] = {
    {2026, 12, 7, 10, 0},  {2026, 12, 31, 23, 50}, {2027, 1, 1, 0, 5},  {2099, 12, 31, 23, 50},
    {2100, 1, 1, 0, 5},    {2026, 3, 29, 1, 55},   {2026, 10, 25, 2, 50}, {2026, 4, 5, 1, 50},
};
static const char* const zones[4] = {"UTC", "Europe/Berlin", "Australia/Lord_Howe",
                                     "America/St_Johns"};
static const time_t steps[8] = {0, 1, 7, 45, 300, 1800, 3600, 43200};
static int zonenow = -1;

static void setclock(uint8_t b)
{
    int zone = (b >> 3) & 3;
    if (zone != zonenow) {
        // The frame measures its ticks from 1 March 1984 in the local zone.
        setenv("TZ", zones[zone], 1);
        tzset();
        clocksetup();
        zonenow = zone;
    }
    const instant& at = instants[b & 7];
    clocknow = localsecs(at.year, at.month, at.day, at.hour, at.minute, 0);
    clockstep = steps[b >> 5];
    clockread = false;
}

// ---------------------------------------------------------------------------
// Exclusion settings: code and station range (decimal here; the frame gets
// them in BCD, as -e, -l and -h give them).
struct exclusion {
    uint8_t code;
    uint32_t lo, hi;
};
static const exclusion exclusions[8] = {
    {0x00, 0, 0},           // off
    {0x14, 2101, 2105},     // exclude inside: some sample stations
    {0x18, 3101, 3105},     // exclude outside
    {0x14, 3110, 3101},     // inside, range given high end first
    {0x18, 2110, 2101},     // outside, reversed
    {0x1c, 2101, 2105},     // mode 3: excludes nothing
    {0x08, 2101, 2105},     // a mode, but the filter is off
    {0x14, 0, 999999},      // every station excluded
};

static void tobcd(uint8_t* bcd, uint32_t n)
{
    for (int i = 2; i >= 0; i--) {
        bcd[i] = uint8_t(n % 10 | (n / 10 % 10) << 4);
        n /= 100;
    }
}

// ---------------------------------------------------------------------------
// Descriptors and the CDR root, set up once.
static int infd = -1;       // the SMDR stream
static int capfd = -1;      // takes fd 1 while the record path runs
static int savedout = -1;   // the real stdout
static char root[256];      // the hourly tree's root, emptied after each input
static bool inrun;
static bool show;           // MORVA_FUZZ_SHOW set: each run's output on stderr
static std::vector<char> captured;

// An exit inside the record path (endrun, or anything else) would end a
// real program too: a finding, so it must crash here.
static void exitguard()
{
    if (inrun) {
        fputs("\nexit called inside the record path\n", stderr);
        abort();
    }
    if (*root)
        rmdir(root);
}

static void fail(const char* what)
{
    perror(what);
    abort();
}

static bool setup()
{
    infd = memfd_create("smdr", MFD_CLOEXEC);
    capfd = memfd_create("cdrout", MFD_CLOEXEC);
    savedout = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (infd < 0 || capfd < 0 || savedout < 0)
        fail("fuzz harness set-up");
    // Memory-backed when the host has it: a disk file system spends far
    // longer making and dropping the hourly tree than the record path does.
    const char* tmp = getenv("TMPDIR");
    if (access("/dev/shm", W_OK) == 0)
        tmp = "/dev/shm";
    snprintf(root, sizeof root, "%s/morvafuzz.XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(root))
        fail("fuzz harness CDR root");
    atexit(exitguard);
    usedecoder(prog_decoder());
    show = getenv("MORVA_FUZZ_SHOW") != nullptr;
    return true;
}

static void feed(const uint8_t* data, size_t size)
{
    if (ftruncate(infd, 0) != 0)
        fail("smdr memfd");
    size_t done = 0;
    while (done < size) {
        ssize_t k = pwrite(infd, data + done, size - done, off_t(done));
        if (k <= 0)
            fail("smdr memfd");
        done += size_t(k);
    }
    lseek(infd, 0, SEEK_SET);
    setinput(infd);
}

static size_t capturedlen()
{
    off_t len = lseek(capfd, 0, SEEK_END);
    captured.resize(size_t(len));
    if (len > 0 && pread(capfd, captured.data(), size_t(len), 0) != len)
        fail("cdrout memfd");
    return size_t(len);
}

// Everything a run leaves behind, back as the program starts.
static void reset()
{
    linereset();
    prog_reset();
    timecheck = clockcheck{};
    rejectedlines = 0;
    opt = settings{};
    setinput(-1);
    if (ftruncate(infd, 0) != 0 || ftruncate(capfd, 0) != 0)
        fail("fuzz harness reset");
    lseek(capfd, 0, SEEK_SET);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = setup();
    (void)ready;
    if (size < 3)
        return 0;

    uint8_t o = data[0];
    opt.longcodes = !(o & 0x01);
    opt.hosttime = o & 0x02;
    opt.checktime = !(o & 0x04);
    opt.maskparity = o & 0x08;
    bool tree = o & 0x10;
    opt.cdrdir = tree ? root : "";
    const exclusion& ex = exclusions[o >> 5];
    opt.exclusion = ex.code;
    tobcd(opt.stationlow, ex.lo);
    tobcd(opt.stationhigh, ex.hi);
    setclock(data[1]);
    prog_options(data[2]);
    feed(data + 3, size - 3);

    // The record path as run() takes it, and the drain endrun does.
    inrun = true;
    if (dup2(capfd, 1) < 0)
        fail("stdout capture");
    uint32_t before = storedcalls();
    while (takerecord()) {
    }
    int drained = drainheld();
    size_t expect = storedcalls() - before;
    cdrstore_close();
    inrun = false;
    dup2(savedout, 1);

    runfacts facts{ex.code, ex.lo, ex.hi, opt.checktime || opt.hosttime, clockfirst, clocklast};
    size_t len = capturedlen();
    size_t got;
    if (tree) {
        if (len)
            broken("CDR lines on stdout with a CDR tree", captured.data(), len);
        got = checktree(root, facts, show);
    } else {
        got = checkstream(captured.data(), len, facts);
    }
    if (drained > 1)
        broken("the held call was delivered more than once", nullptr, 0);
    if (got != expect) {
        char why[96];
        snprintf(why, sizeof why, "%zu CDR lines written for %zu calls output", got, expect);
        broken(why, captured.data(), len);
    }
    if (show)
        fprintf(stderr, "%zu CDR lines%s\n%.*s", got, tree ? " in the tree" : "", int(len),
                captured.data());
    reset();
    return 0;
}
