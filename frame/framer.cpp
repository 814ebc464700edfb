// Records out of the SMDR byte stream, and the raw log: an exact copy of
// every byte taken from the input while logging is on.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framer.h"
#include "clock.h"
#include "runloop.h"
#include "settings.h"
#include "signals.h"

static int inputfd = -1;
static uint8_t endbyte = '\n';   // the decoder's, from setrecordend
static int minend;

// The record framed last.
static uint8_t record[256];

// Input is read in blocks of 64 KiB: the signals that came meanwhile are
// let in at each (signals.cpp), so a block is also how long they may wait.
static uint8_t inbuf[64 * 1024];
static size_t inpos, inlen;

// Raw-log bytes wait here until they are written: a block as it is read,
// before any of its records is decoded (so one write per block); under -X,
// where bytes are taken one by one, each record before it is decoded. Also
// before every wait and when the log is closed.
static uint8_t logbuf[sizeof inbuf];
static size_t logn;
static int rawfd = -1;

// What the open raw log is, to see it moved away (rotated), and when we
// last looked.
static dev_t rawdev;
static ino_t rawino;
static time_t rawlooked;
// The log's reader stalled and logging is being switched off: what comes
// until the log is closed is counted, not kept.
static bool rawgivenup;
static unsigned long rawdropped;

static void rawlogfail(int err)
{
    logn = 0;
    close(rawfd);
    rawfd = -1;
    fatal(1, "Error writing to raw data file %s  errno=%d\n", opt.rawpath, err);
}

// A raw log on a FIFO whose reader stopped reading waits here, in a wait
// that signals end; switched off meanwhile, it gives up the bytes it holds.
static bool rawlog_write()
{
    size_t done = 0;
    while (done < logn) {
        ssize_t n = write(rawfd, logbuf + done, logn - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (toggleasked()) {
                rawgivenup = true;
                rawdropped += logn - done;
                logn = 0;
                return false;
            }
            if (waitoutput(rawfd) == 0)
                continue;
        }
        rawlogfail(n < 0 ? errno : ENOSPC);
    }
    logn = 0;
    return true;
}

void rawlog_flush()
{
    if (rawfd < 0 || rawgivenup)
        return;
    if (!rawlog_write() || clocksecs() == rawlooked)
        return;
    // Once a second at most: when the path no longer names the open file
    // (moved away by a rotation, or deleted), the next byte opens the path.
    rawlooked = clocksecs();
    struct stat st;
    if (stat(opt.rawpath, &st) != 0 || st.st_dev != rawdev || st.st_ino != rawino) {
        close(rawfd);
        rawfd = -1;
    }
}

void rawlog_close()
{
    if (rawfd < 0)
        return;
    if (!rawgivenup)
        rawlog_write();
    if (rawgivenup)
        fprintf(stderr, "Raw data file %s: %lu bytes not written\n", opt.rawpath, rawdropped + logn);
    rawgivenup = false;
    rawdropped = 0;
    logn = 0;
    int fd = rawfd;
    rawfd = -1;
    if (close(fd) < 0 && errno != EINTR)
        fatal(1, "Error writing to raw data file %s  errno=%d\n", opt.rawpath, errno);
}

// True when fd is the very file the input is read from.
static bool isinput(int fd)
{
    struct stat a, b;
    return fstat(fd, &a) == 0 && fstat(inputfd, &b) == 0 && S_ISREG(a.st_mode) &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

static void rawlog_append(size_t len, const uint8_t* bytes)
{
    if (rawgivenup) {
        rawdropped += len;
        return;
    }
    if (rawfd < 0) {
        for (;;) {
            // Kept non-blocking: a FIFO's stalled reader must not hold us.
            rawfd = openwait(opt.rawpath, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, 0666);
            if (rawfd >= 0)
                break;
            if (errno != EINTR)
                fatal(1, "Can't open raw output file %s  errno=%d\n", opt.rawpath, errno);
            if (!opt.rawlog)
                return;   // switched off while the log waited for its reader
        }
        struct stat st;
        if (isinput(rawfd)) {
            // Appending what is read to the file being read never ends: the
            // input grows as fast as it is read, until the disk is full.
            close(rawfd);
            rawfd = -1;
            fatal(1, "Can't log raw data to the input file %s\n", opt.rawpath);
        }
        if (fstat(rawfd, &st) == 0) {
            rawdev = st.st_dev;
            rawino = st.st_ino;
        }
        rawlooked = clocksecs();
        fprintf(stderr, "Opened raw data file %s\n", opt.rawpath);
    }
    while (len > 0) {
        if (logn == sizeof logbuf)
            rawlog_flush();
        size_t n = std::min(len, sizeof logbuf - logn);
        memcpy(logbuf + logn, bytes, n);
        logn += n;
        bytes += n;
        len -= n;
    }
}

static inputfigures counts;

inputfigures inputcounts() { return counts; }

// Refills the input block. Returns 0 at the end of the input.
static int refill(int fd)
{
    for (;;) {
        int w = waitinput(fd);
        if (w == 0) {
            if (opt.trace)
                fputs("\ngetrawbyte() EINTR\n", stderr);
            continue;
        }
        ssize_t n = w > 0 ? read(fd, inbuf, sizeof inbuf) : -1;
        if (n > 0) {
            inpos = 0;
            inlen = static_cast<size_t>(n);
            counts.bytes += inlen;
            if (opt.rawlog && !opt.tracerecords) {
                rawlog_append(inlen, inbuf);
                rawlog_flush();
            }
            return 1;
        }
        if (n == 0) {
            takesignals();   // a signal that came with the end is still obeyed
            return 0;
        }
        if (errno == EINTR) {
            if (opt.trace)
                fputs("\ngetrawbyte() EINTR\n", stderr);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            // A failing line (an unplugged adapter gives EIO) is not the end
            // of the input: say so and stop with an error. EAGAIN only means
            // that another reader of a shared descriptor was first.
            fatal(1, "Can't read input %s   errno=%d\n", *opt.input ? opt.input : "stdin", errno);
        }
    }
}

// The next input byte, traced; -1 at the end of the input.
static int nextbyte(int fd)
{
    if (inpos == inlen && !refill(fd))
        return -1;
    uint8_t c = inbuf[inpos++];
    fprintf(stderr, " %02x", c);
    if (opt.rawlog)
        rawlog_append(1, &c);
    return c;
}

// Frames a record into buf byte by byte: the way of the -X trace, whose
// bytes interleave with the framing's own messages. Returns its length, 0
// at the end of the input.
static int framebybyte(int fd, uint8_t* buf)
{
    int i = 0;
    for (;;) {
        int b = nextbyte(fd);
        if (b < 0)
            return 0;
        uint8_t c = static_cast<uint8_t>(b);
        buf[i] = c;
        if (c == endbyte) {
            if (i >= minend)
                return i + 1;
            fputs("\n - ETX before expected\n", stderr);
            i = 0;
            continue;
        }
        if (++i > 255)
            i = 0;   // an overlong line: start again from the buffer's head
    }
}

// Places n bytes at index *i of the record buffer, going back to its head
// each time the index reaches 256, as the byte-wise framing does.
static void place(uint8_t* buf, int* i, const uint8_t* p, size_t n)
{
    while (n > 0) {
        size_t k = std::min(n, size_t(256 - *i));
        memcpy(buf + *i, p, k);
        *i += int(k);
        if (*i == 256)
            *i = 0;
        p += k;
        n -= k;
    }
}

// The same framing a block at a time: the next end byte is found with
// memchr, the bytes before it are placed in one piece (the block is in the
// raw log already).
static int framebyblock(int fd, uint8_t* buf)
{
    int i = 0;
    for (;;) {
        if (inpos == inlen && !refill(fd))
            return 0;
        const uint8_t* p = inbuf + inpos;
        size_t avail = inlen - inpos;
        const uint8_t* end = static_cast<const uint8_t*>(memchr(p, endbyte, avail));
        size_t take = end ? size_t(end - p) + 1 : avail;
        inpos += take;
        place(buf, &i, p, end ? take - 1 : take);
        if (!end)
            continue;
        buf[i] = endbyte;
        if (i >= minend)
            return i + 1;
        i = 0;   // too short for a record: dropped
    }
}

// The record as -X shows it: printable bytes, dots for the others.
static void tracerecord()
{
    char line[1 + 78 + 1 + 256 + 2];
    size_t n = 0;
    line[n++] = '\n';
    memset(line + n, '-', 78);
    n += 78;
    line[n++] = '\n';
    for (int i = 0; i < 256 && record[i] != endbyte; i++)
        line[n++] = (record[i] >= 0x20 && record[i] <= 0x7d) ? static_cast<char>(record[i]) : '.';
    line[n++] = '\n';
    line[n] = '\0';
    fputs(line, stderr);
}

void setinput(int fd)
{
    inputfd = fd;
    inpos = inlen = 0;
}

void closeinput()
{
    if (inputfd >= 0) {
        close(inputfd);
        inputfd = -1;
    }
}

void setrecordend(uint8_t end, int lowest)
{
    endbyte = end;
    minend = lowest;
}

const uint8_t* framerecord(datetime* arrived)
{
    if (opt.tracerecords)
        fputs("** (HEX record):", stderr);
    int len = opt.tracerecords ? framebybyte(inputfd, record) : framebyblock(inputfd, record);
    if (len == 0)
        return nullptr;
    counts.records++;
    readclock(arrived);
    if (opt.tracerecords) {
        rawlog_flush();
        tracerecord();
    }
    return record;
}
