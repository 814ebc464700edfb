// The CDR store: each call's line goes to stdout or is appended to the
// hourly file CDRDIR/MM_YYYY/DD_MM_YYYY/DD_MM_YYYY:HH of the call's end.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cdrstore.h"
#include "cdrformat.h"
#include "runloop.h"
#include "settings.h"
#include "signals.h"

static bool firstline = true;   // no line taken since the start or the last close
static datetime filehour;       // the hour of the open hourly file

static int outfd = -1;        // the CDR output, -1 until the first call
static bool outsocket;        // stdout is a socket: written without waiting
static bool outpolled;        // stdout could not be made our own: polled
// Lines handed to the store and lines wholly written: what a failure lost.
static uint32_t accepted, written, burstlines;
static storefigures figures;   // for monitoring: never started afresh
static char* path;            // directory path, then the open hourly file's path
static size_t pathcap;
static dev_t opendev;         // what the open hourly file is, to see it go
static ino_t openino;
// Set when a write failed: the call drained at exit must not land after the
// lost line, or the output would no longer be the stream's calls in order.
static bool writefailed;
// The directories of the day of the last open, as far as we know, exist: an
// hour of the same day opens without making them, unless the open says they
// are gone.
static bool dayknown;
static datetime madeday;
// The hourly file was opened for a new hour since the last burst: nobody
// has had the time to move it, so the burst goes out without looking.
static bool freshopen;

// The root plus the three levels, every number at its widest (a byte as
// three digits, the year as four): 9 + 12 + 15 characters and the NUL.
constexpr size_t PATHEXTRA = 40;

// Makes one directory of the tree; an entry already there is accepted
// whatever it is, the open after it tells.
static void makedir(const char* dir)
{
    while (mkdir(dir, 0755) != 0) {
        int e = errno;
        if (e == EEXIST)
            return;
        if (e != EINTR)
            fatal(e, "ERROR: can't mkdir [%s] errno=%d\n", dir, e);
        if (opt.trace)
            fprintf(stderr, "\nmkdir(%s) EINTR\n", dir);
    }
}

// Opens the hourly file of the given hour, making its directories, in
// place of the one open so far. Leaves its path in path. The open never
// waits: a FIFO or a device in the file's place is refused like any other
// unusable path.
static void openhour(const datetime& hour)
{
    if (!path) {
        pathcap = strlen(opt.cdrdir) + PATHEXTRA;
        path = static_cast<char*>(malloc(pathcap));
        if (!path)
            fatal(ENOMEM, "ERROR: can't open cdrfile [%s] errno=%d\n", opt.cdrdir, ENOMEM);
    }
    int mon = hour.month + 1, day = hour.date + 1, year = hour.year + 1984;
    bool made = dayknown && madeday.year == hour.year && madeday.month == hour.month &&
                madeday.date == hour.date;

    size_t mondir = size_t(snprintf(path, pathcap, "%s/%02d_%04d", opt.cdrdir, mon, year));
    size_t daydir = mondir + size_t(snprintf(path + mondir, pathcap - mondir, "/%02d_%02d_%04d", day, mon, year));
    snprintf(path + daydir, pathcap - daydir, "/%02d_%02d_%04d:%02d", day, mon, year, int(hour.hour));

    int fd;
    struct stat st;
    for (;;) {
        if (!made) {
            // Each directory in turn, its path cut out of the file's.
            const size_t ends[2] = {mondir, daydir};
            for (size_t end : ends) {
                char c = path[end];
                path[end] = '\0';
                makedir(path);
                path[end] = c;
            }
            made = true;
        }
        fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY, 0666);
        if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            break;
        int e = fd < 0 || fstat(fd, &st) != 0 ? errno : EINVAL;
        if (fd >= 0)
            close(fd);
        if (e == ENOENT && dayknown) {
            dayknown = false;   // moved away since: make them again
            made = false;
            continue;
        }
        if (e != EINTR)
            fatal(e, "ERROR: can't open cdrfile [%s] errno=%d\n", path, e);
        if (opt.trace)
            fprintf(stderr, "\nfopen(%s) EINTR\n", path);
    }
    if (outfd >= 0)
        close(outfd);
    outfd = fd;
    dayknown = true;
    madeday = hour;
    opendev = st.st_dev;
    openino = st.st_ino;
}

// A collector may move or delete the hour's file while it is open; lines
// written on would vanish with it. When the path no longer names the open
// file, open the path afresh (making the directories again if need be):
// the file of the hour the waiting lines belong to.
static void checkhour()
{
    struct stat st;
    if (stat(path, &st) != 0 || st.st_dev != opendev || st.st_ino != openino)
        openhour(filehour);
}

// The lines of the current destination wait here and go out in one write:
// before the program waits for input, before a status line, before another
// hourly file opens, at the raw-log toggle and at exit (cdrstore_flush), and
// at once under the traces, so that they interleave with the output.
static char burst[64 * 1024];
static size_t burstlen;

// Writes n bytes or fails with errno set. Output that waits for a slow
// reader waits in a wait that signals end; after a stop was asked for, it
// waits a few seconds at most.
static ssize_t writeout(const char* p, size_t n)
{
    size_t done = 0;
    while (done < n) {
        size_t k = n - done;
        ssize_t w;
        if (outsocket) {
            w = send(outfd, p + done, k, MSG_DONTWAIT | MSG_NOSIGNAL);
        } else {
            if (outpolled) {
                // POLLOUT on a pipe promises room for PIPE_BUF bytes.
                if (waitoutput(outfd) < 0)
                    return ssize_t(done) ? ssize_t(done) : -1;
                k = k < PIPE_BUF ? k : PIPE_BUF;
            }
            w = write(outfd, p + done, k);
        }
        if (w > 0) {
            done += size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitoutput(outfd) < 0)
                break;
            continue;
        }
        if (w == 0)
            errno = EIO;
        break;
    }
    return ssize_t(done);
}

static uint32_t countlines(const char* p, size_t n)
{
    uint32_t lines = 0;
    for (const char* e = p + n; (p = static_cast<const char*>(memchr(p, '\n', size_t(e - p)))); p++)
        lines++;
    return lines;
}

// Writes the burst or ends the program. A file that takes only part of it
// (disk full, size limit) is cut back to the end of the last whole line
// written, so a file holds whole lines only. Every packer holds the file's
// lock while it writes and cuts: another packer's lines appended meanwhile
// would otherwise be cut away too.
static void writeburst()
{
    bool lock = *opt.cdrdir;
    if (lock && lockwait(outfd) != 0)
        fatal(1, "ERROR: can't lock cdrfile [%s] errno=%d\n", path, errno);
    ssize_t k = writeout(burst, burstlen);
    int e = errno;
    size_t done = k > 0 ? size_t(k) : 0;
    uint32_t before = written;
    if (done == burstlen) {
        written += burstlines;
    } else {
        const void* nl = done ? memrchr(burst, '\n', done) : nullptr;
        size_t whole = nl ? size_t(static_cast<const char*>(nl) - burst) + 1 : 0;
        written += countlines(burst, whole);
        if (done > whole) {
            // Fails harmlessly on a pipe, which has nothing to cut back.
            off_t cut = off_t(done - whole);
            off_t end = lseek(outfd, 0, SEEK_CUR);
            if (end >= cut && ftruncate(outfd, end - cut) == 0)
                lseek(outfd, end - cut, SEEK_SET);
        }
    }
    if (lock)
        flock(outfd, LOCK_UN);
    bool failed = done != burstlen;
    burstlen = 0;
    burstlines = 0;
    figures.written += written - before;
    if (failed) {
        figures.errors++;
        writefailed = true;
        fatal(1, "ERROR: can't write to cdrfile [%s] errno=%d\n", *opt.cdrdir ? path : "stdout", e);
    }
}

void cdrstore_flush()
{
    // The file may fail to open again here, and the exit that follows
    // flushes too: it must not try again, and again.
    static bool flushing;
    bool look = *opt.cdrdir && !freshopen;
    if (burstlen == 0 || flushing)
        return;
    freshopen = false;
    flushing = true;
    if (look)
        checkhour();
    writeburst();
    flushing = false;
}

// Standard output is shared with whoever started us; a reader that stops
// reading must not block us where no signal gets in. A pipe, FIFO or
// terminal is opened again as our own description, which may then be
// non-blocking without touching anyone else's; a socket is written with
// sends that do not wait; anything else is polled before each write.
static void ownstdout()
{
    struct stat st;
    outfd = 1;
    outsocket = outpolled = false;
    if (fstat(1, &st) != 0 || S_ISREG(st.st_mode))
        return;
    if (S_ISSOCK(st.st_mode)) {
        outsocket = true;
        return;
    }
    int fd = open("/proc/self/fd/1", O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0)
        outfd = fd;
    else
        outpolled = true;
}

storefigures cdrstore_counts() { return figures; }

void cdrstore_add(const callrec* rec)
{
    accepted++;
    figures.anycall = true;
    figures.lastend = getstart(rec) + getduration(rec);
    if (writefailed)
        return;
    const cdrline line = formatcdr(rec);
    const datetime& end = line.end;

    if (!*opt.cdrdir) {
        if (firstline) {
            ownstdout();
            firstline = false;
        }
    } else if (firstline || end.year != filehour.year || end.month != filehour.month ||
               end.date != filehour.date || end.hour != filehour.hour) {
        if (opt.tracerecords) {
            fprintf(stderr, "trec hour change  lasttrec=%02d%02d%02d%02d\n", filehour.year,
                    filehour.month, filehour.date, filehour.hour);
            fprintf(stderr, "                     gnurt=%02d%02d%02d%02d\n", end.year,
                    end.month, end.date, end.hour);
        }
        cdrstore_flush();   // the lines of the hour that is closing
        openhour(end);
        filehour = end;
        freshopen = true;
        firstline = false;
    }
    size_t len = line.len;
    if (burstlen + len > sizeof burst)
        cdrstore_flush();
    memcpy(burst + burstlen, line.text, len);
    burstlen += len;
    burstlines++;
    if (opt.trace || opt.tracetime)
        cdrstore_flush();
}

void cdrstore_close()
{
    cdrstore_flush();   // nothing is left after a failed burst
    if (accepted != written)
        fprintf(stderr, "ERROR: CDR lines not written: %lu\n",
                static_cast<unsigned long>(accepted - written));
    accepted = written = burstlines = 0;
    burstlen = 0;
    if (outfd >= 0)
        close(outfd);
    outfd = -1;
    firstline = true;
    filehour = datetime{};
    dayknown = false;
    freshopen = false;
    free(path);
    path = nullptr;
    writefailed = false;
}
