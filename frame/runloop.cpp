// The run loop, the status line, the orderly exit and the one way to fail.
#include "runloop.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cdrformat.h"
#include "cdrstore.h"
#include "clock.h"
#include "filter.h"
#include "framer.h"
#include "metrics.h"
#include "notify.h"
#include "settings.h"
#include "signals.h"
#include "timecheck.h"

uint32_t rejectedlines;   // decoder.h

static const decoder* dec;     // the program's, from usedecoder; none in the frame's tests
static callrec call;           // the call the decoder released last
static datetime arrived;       // the host time when the last record was framed
static uint32_t records;       // records framed, and calls drained at exit
static uint32_t lastrecords;   // records at the last status line
static uint32_t stored;        // calls handed to the store
static bool draining;          // the held call is being drained at exit
static uint32_t excludedcount; // calls the exclusion settings left out
static time_t lastrecord;      // the host time the last record arrived at

// A serial line or FIFO read by two packers gives each half the bytes and
// both garbled calls: the first to open it holds an exclusive lock, and a
// second is turned away before it reads a byte. A file is never locked: a
// replay may read it while a packer still appends to it; nor is a device
// that is no line (/dev/zero), which any number may read.
static int openinput(const char* path)
{
    int fd;
    for (;;) {
        fd = openwait(path, O_RDONLY | O_NOCTTY, 0);
        if (fd >= 0)
            break;
        if (errno != EINTR)
            fatal(1, "Can't open input %s   errno=%d\n", path, errno);
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && (isatty(fd) || S_ISFIFO(st.st_mode)) &&
        flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            fatal(1, "ERROR: input %s is locked: another packer reads it\n", path);
        fatal(1, "Can't lock input %s   errno=%d\n", path, errno);
    }
    return fd;
}

// The CDR tree's root must be a directory we can write and search, or
// every record read before the first call would be lost with the run.
static void checkcdrdir()
{
    struct stat st;
    int err = 0;
    if (stat(opt.cdrdir, &st) != 0)
        err = errno;
    else if (!S_ISDIR(st.st_mode))
        err = ENOTDIR;
    else if (faccessat(AT_FDCWD, opt.cdrdir, W_OK | X_OK, AT_EACCESS) != 0)
        err = errno;
    if (err)
        fatal(err, "ERROR: can't use cdrdir [%s] errno=%d\n", opt.cdrdir, err);
}

// Waits for the operator's key between records; code 3 ends the run.
static void pausekey()
{
    fputs("Hit Return Key.", stderr);
    for (;;) {
        int w = waitinput(0);
        if (w == 0)
            continue;
        if (w < 0)
            return;
        unsigned char c;
        ssize_t n = read(0, &c, 1);
        // A descriptor shared with another process may have lost the key
        // to it: that is no key at all, so wait again.
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n == 1 && c == 3)
            endrun(1);
        return;
    }
}

// A record's way after the decoder: counted, and a call the decoder
// released filtered, listed under -X and stored.
static void passon(const callrec* released)
{
    records++;
    if (opt.trace)
        fprintf(stderr, "\n- %s - %s - rejcnt %lu%s\n", opt.longcodes ? "kal" : "nur",
                released ? "Packed" : "Not packed", static_cast<unsigned long>(rejectedlines),
                draining ? " [flushingpacker]" : "");
    if (!released)
        return;
    bool excluded = isexcluded(released);
    if (opt.trace)
        fprintf(stderr, "-e%02x %02x%02x%02x %02x%02x%02x -call %s-\n", opt.exclusion,
                opt.stationlow[0], opt.stationlow[1], opt.stationlow[2], opt.stationhigh[0],
                opt.stationhigh[1], opt.stationhigh[2], excluded ? "Excluded" : "Included");
    if (excluded) {
        excludedcount++;
        return;
    }
    if (opt.tracerecords)
        listcall(released);
    cdrstore_add(released);
    stored++;
}

void usedecoder(const decoder& d)
{
    dec = &d;
    setrecordend(d.endbyte, d.minend);
    cdrformat_start(d.version);
}

bool takerecord()
{
    const uint8_t* record = framerecord(&arrived);
    if (!record)
        return false;
    lastrecord = clocksecs();
    passon(dec->pack(record, &arrived, &call) ? &call : nullptr);
    return true;
}

uint32_t storedcalls() { return stored; }
uint32_t excludedcalls() { return excludedcount; }
time_t lastrecordtime() { return lastrecord; }

void run()
{
    if (*opt.cdrdir)
        checkcdrdir();
    setinput(*opt.input ? openinput(opt.input) : 0);
    clocksetup();
    dec->init();
    rejectedlines = 0;
    alarm(60);
    if (!opt.trace)
        statusline();
    metrics_write();
    notify_ready();
    for (;;) {
        if (opt.trace)
            statusline();
        if (opt.pause)
            pausekey();
        if (!takerecord()) {
            if (opt.tracerecords)
                fputs("\nEOF reached.\n", stderr);
            endrun(0);
        }
    }
}

void statusline()
{
    cdrstore_flush();   // the status line counts no line that is not out
    datetime now;
    readclock(&now);
    const char* text = "";
    if (timecheck.verdict)
        text = timecheck.text;
    else if (timecheck.lastend)
        text = datetext(timecheck.lastend);
    char when[32];
    asctime_r(&clocktm(), when);
    fprintf(stderr, " %-18.18s  Rec: %-10lu Rej: %-10lu  %s", text, static_cast<unsigned long>(records),
            static_cast<unsigned long>(rejectedlines), when);
    if (dec)
        dec->status(records != lastrecords);
    lastrecords = records;
    if (opt.rawlog)
        fprintf(stderr, "Logging raw smdr to %s.\n", opt.rawpath);
}

void timedstatus()
{
    statusline();
    metrics_write();
    notify_alive(records, rejectedlines);
}

int drainheld()
{
    if (opt.trace)
        fputs("flushingpacker: start\n", stderr);
    draining = true;
    int released = 0;
    while (dec && dec->drain(&call)) {
        if (opt.trace)
            fputs("flushingpacker: loop\n", stderr);
        released++;
        passon(&call);
    }
    draining = false;
    if (opt.trace)
        fputs("flushingpacker: finish\n", stderr);
    return released;
}

void fatal(int status, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    endrun(status);
}

void endrun(int status)
{
    notify_stopping();
    statusline();
    fprintf(stderr, "\n\nmy_exit: errcode = %d\n", status);
    drainheld();
    closeinput();
    cdrstore_close();
    rawlog_close();
    metrics_write();   // the figures as the run leaves them
    exit(status);
}
