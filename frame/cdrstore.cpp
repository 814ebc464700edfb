// The CDR store: each call's line goes to stdout or is appended to the
// hourly file cdrdir/MM_YYYY/DD_MM_YYYY/DD_MM_YYYY:HH of the call's end.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "morva.h"

int firstoutcall = 1;
trec lasttrec;

static int outfd = -1;        // the CDR output, -1 until the first call
static char* path;            // directory path, then the open hourly file's path
static size_t pathcap;
static char line[128];        // the CDR line being written
static dev_t opendev;         // what the open hourly file is, to see it go
static ino_t openino;
// Set when a write failed: the call drained at exit must not land after the
// lost line, or the output would no longer be the stream's calls in order.
static bool writefailed;
// The directories of the day of the last open, as far as we know, exist: an
// hour of the same day opens without making them, unless the open says they
// are gone.
static bool dayknown;
static trec madeday;
// The hourly file was opened since the program last waited: nobody has had
// the time to move it, so the burst goes out without looking.
static bool freshopen;

// cdrdir plus the three levels, every number at its widest (a byte as
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
        if (e != EINTR) {
            fprintf(stderr, "ERROR: can't mkdir [%s] errno=%d\n", dir, e);
            fflush(stderr);
            my_exit(e);
        }
        if (dodebug) {
            fprintf(stderr, "\nmkdir(%s) EINTR\n", dir);
            fflush(stderr);
        }
    }
}

// Opens the hourly file of gnurt, making its directories, in place of the
// one open so far. Leaves its path in path.
static void openhour()
{
    if (!path) {
        pathcap = strlen(cdrdir) + PATHEXTRA;
        path = static_cast<char*>(malloc(pathcap));
        if (!path) {
            fprintf(stderr, "ERROR: can't open cdrfile [%s] errno=%d\n", cdrdir, ENOMEM);
            fflush(stderr);
            my_exit(ENOMEM);
        }
    }
    int mon = gnurt.month + 1, day = gnurt.date + 1, year = gnurt.year + 1984;
    bool made = dayknown && madeday.year == gnurt.year && madeday.month == gnurt.month &&
                madeday.date == gnurt.date;

    size_t mondir = size_t(snprintf(path, pathcap, "%s/%02d_%04d", cdrdir, mon, year));
    size_t daydir = mondir + size_t(snprintf(path + mondir, pathcap - mondir, "/%02d_%02d_%04d", day, mon, year));
    snprintf(path + daydir, pathcap - daydir, "/%02d_%02d_%04d:%02d", day, mon, year, int(gnurt.hour));

    int fd;
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
        fd = open(path, O_WRONLY | O_APPEND | O_CREAT, 0666);
        if (fd >= 0)
            break;
        int e = errno;
        if (e == ENOENT && dayknown) {
            dayknown = false;   // moved away since: make them again
            made = false;
            continue;
        }
        if (e != EINTR) {
            fprintf(stderr, "ERROR: can't open cdrfile [%s] errno=%d\n", path, e);
            fflush(stderr);
            my_exit(e);
        }
        if (dodebug) {
            fprintf(stderr, "\nfopen(%s) EINTR\n", path);
            fflush(stderr);
        }
    }
    if (outfd >= 0)
        close(outfd);
    outfd = fd;
    dayknown = true;
    madeday = gnurt;
    freshopen = true;
    struct stat st;
    if (fstat(fd, &st) == 0) {
        opendev = st.st_dev;
        openino = st.st_ino;
    }
}

// A collector may move or delete the hour's file while it is open; lines
// written on would vanish with it. When the path no longer names the open
// file, open the path afresh (making the directories again if need be).
static void checkhour()
{
    struct stat st;
    if (stat(path, &st) != 0 || st.st_dev != opendev || st.st_ino != openino)
        openhour();
}

// The lines of the current destination wait here and go out in one write:
// before the program waits for input, before a status line, before another
// hourly file opens, at the raw-log toggle and at exit (cdrstore_flush), and
// at once under the traces, so that they interleave with the output.
static char burst[64 * 1024];
static size_t burstlen;

// Writes the burst or ends the program. A pipe may take it in pieces; a file
// that takes only part of it (disk full, size limit) is cut back to the end
// of the last whole line written, so a file holds whole lines only.
static void writeburst()
{
    size_t done = 0;
    while (done < burstlen) {
        ssize_t k = write(outfd, burst + done, burstlen - done);
        if (k > 0) {
            done += size_t(k);
            continue;
        }
        if (k < 0 && errno == EINTR)
            continue;
        int e = k < 0 ? errno : EIO;
        const void* nl = done ? memrchr(burst, '\n', done) : nullptr;
        size_t whole = nl ? size_t(static_cast<const char*>(nl) - burst) + 1 : 0;
        if (done > whole) {
            // Fails harmlessly on a pipe, which has nothing to cut back.
            off_t cut = off_t(done - whole);
            off_t end = lseek(outfd, 0, SEEK_CUR);
            if (end >= cut && ftruncate(outfd, end - cut) == 0)
                lseek(outfd, end - cut, SEEK_SET);
        }
        burstlen = 0;
        fprintf(stderr, "ERROR: can't write to cdrfile [%s] errno=%d\n",
                *cdrdir ? path : "stdout", e);
        fflush(stderr);
        writefailed = true;
        my_exit(1);
    }
    burstlen = 0;
}

void cdrstore_flush()
{
    // The file may fail to open again here, and the exit that follows
    // flushes too: it must not try again, and again.
    static bool flushing;
    bool look = *cdrdir && !freshopen;
    freshopen = false;
    if (burstlen == 0 || flushing)
        return;
    flushing = true;
    if (look)
        checkhour();
    writeburst();
    flushing = false;
}

void output_call(const callrec* rec)
{
    if (writefailed)
        return;
    formcall(line, rec);

    if (!*cdrdir) {
        if (firstoutcall) {
            outfd = 1;
            firstoutcall = 0;
        }
    } else if (firstoutcall || gnurt.year != lasttrec.year || gnurt.month != lasttrec.month ||
               gnurt.date != lasttrec.date || gnurt.hour != lasttrec.hour) {
        if (doXdebug) {
            fprintf(stderr, "trec hour change  lasttrec=%02d%02d%02d%02d\n", lasttrec.year,
                    lasttrec.month, lasttrec.date, lasttrec.hour);
            fprintf(stderr, "                     gnurt=%02d%02d%02d%02d\n", gnurt.year,
                    gnurt.month, gnurt.date, gnurt.hour);
            fflush(stderr);
        }
        cdrstore_flush();   // the lines of the hour that is closing
        openhour();
        lasttrec = gnurt;
        firstoutcall = 0;
    }
    size_t len = strlen(line);
    if (burstlen + len > sizeof burst)
        cdrstore_flush();
    memcpy(burst + burstlen, line, len);
    burstlen += len;
    if (dodebug || dodumpt)
        cdrstore_flush();
}

// Writes what is still in the burst and closes the CDR output. A later
// output_call starts afresh.
void cdrstore_close()
{
    cdrstore_flush();   // nothing is left after a failed burst
    if (outfd >= 0)
        close(outfd);
    outfd = -1;
    firstoutcall = 1;
    lasttrec = trec{};
    dayknown = false;
    freshopen = false;
    free(path);
    path = nullptr;
    writefailed = false;
}
