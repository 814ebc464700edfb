// The run loop, the status line, the orderly exit and the signals.
// Handlers only record a signal. The signals stay blocked in the normal flow
// and are let in while the program waits (ppoll with the saved mask), so none
// slips in between the test of a flag and the wait; and once per input block,
// because ppoll returns at once for a ready descriptor and would never let a
// signal in while input keeps coming. The main flow does the work: status
// line, raw-log toggle, exit.
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "morva.h"

static volatile sig_atomic_t gotalarm, gottoggle, gotterm;
static sigset_t blockset;   // the signals whose handlers only set a flag
static sigset_t waitmask;   // the mask in force while waiting: those let in

void do_alarm(int) { gotalarm = 1; }
void do_toglograw(int sig) { gottoggle = sig; }
void do_terminate(int sig) { gotterm = sig; }

static void catchsig(int sig, void (*fn)(int))
{
    struct sigaction sa = {};
    sa.sa_handler = fn;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;   // no restart: a wait must come back to the main flow
    sigaction(sig, &sa, nullptr);
}

void installsignals()
{
    signal(SIGCHLD, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    signal(SIGTRAP, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    // A reader of stdout that goes away must show as a failed CDR write,
    // not end the program without a word.
    signal(SIGPIPE, SIG_IGN);
    // Likewise a file-size limit: the write fails with EFBIG and the store
    // says so, with whole lines left in the file.
    signal(SIGXFSZ, SIG_IGN);
    catchsig(SIGINT, do_terminate);
    catchsig(SIGTERM, do_terminate);
    catchsig(SIGUSR1, do_toglograw);
    catchsig(SIGALRM, do_alarm);

    sigemptyset(&blockset);
    sigaddset(&blockset, SIGINT);
    sigaddset(&blockset, SIGTERM);
    sigaddset(&blockset, SIGUSR1);
    sigaddset(&blockset, SIGALRM);
    sigprocmask(SIG_BLOCK, &blockset, &waitmask);
    sigdelset(&waitmask, SIGINT);
    sigdelset(&waitmask, SIGTERM);
    sigdelset(&waitmask, SIGUSR1);
    sigdelset(&waitmask, SIGALRM);
}

// The work of the handlers, in a fixed order: status line, raw-log toggle,
// termination.
static void handlesignals()
{
    if (gotalarm) {
        gotalarm = 0;
        alarm(60);
        zonerefresh();
        dostats();
    }
    if (gottoggle) {
        int sig = gottoggle;
        cdrstore_flush();
        if (opt.rawlog) {
            rawlog_close();   // with the toggle still asked: a stalled log gives up
            opt.rawlog = false;
            fprintf(stderr, "Closed raw data file %s\n", opt.rawpath);
        } else {
            opt.rawlog = true;   // the file opens with the next byte logged
        }
        gottoggle = 0;
        fprintf(stderr, "\ndo_toglograw() sig=%d  now dolograw=%d\n", sig, opt.rawlog);
        fflush(stderr);
    }
    if (gotterm) {
        fprintf(stderr, "\ndo_terminate() sig=%d\n", static_cast<int>(gotterm));
        fflush(stderr);
        my_exit(0);
    }
}

void takesignals()
{
    // A signal let in by a wait for output is only recorded there: its
    // flag may be set with nothing pending.
    sigset_t pending;
    if (sigpending(&pending) == 0) {
        sigandset(&pending, &pending, &blockset);
        if (!sigisemptyset(&pending)) {
            sigprocmask(SIG_SETMASK, &waitmask, nullptr);   // the handlers run here
            sigprocmask(SIG_BLOCK, &blockset, nullptr);
        }
    }
    if (gotalarm || gottoggle || gotterm)
        handlesignals();
}

// After SIGTERM or SIGINT, output that waits for a reader gets this long
// before the program gives up on it: a stalled reader must not keep the
// packer from ending until the service manager kills it.
constexpr time_t STOPGRACE = 5;
static struct timespec stopby;   // when that time runs out; zero before

// Once a stop was asked for: the time left until stopby, at least zero.
// The kernel's clock is asked directly: a replay under a frozen clock
// (a preloaded clock shim) must still see the grace run out.
static bool stopping(struct timespec* left)
{
    if (!gotterm && !stopby.tv_sec)
        return false;
    struct timespec now;
    syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &now);
    if (!stopby.tv_sec)
        stopby = {now.tv_sec + STOPGRACE, now.tv_nsec};
    int64_t ns = (stopby.tv_sec - now.tv_sec) * 1000000000LL + (stopby.tv_nsec - now.tv_nsec);
    if (ns < 0)
        ns = 0;
    *left = {time_t(ns / 1000000000LL), long(ns % 1000000000LL)};
    return true;
}

int waitoutput(int fd)
{
    struct timespec left, *timeout = nullptr;
    if (stopping(&left)) {
        if (!left.tv_sec && !left.tv_nsec) {
            errno = ETIMEDOUT;
            return -1;
        }
        timeout = &left;
    }
    struct timespec pause = {0, 10 * 1000 * 1000};
    if (fd < 0 && (!timeout || left.tv_sec || left.tv_nsec > pause.tv_nsec))
        timeout = &pause;
    // Only the flags are set here; their work is done once the output is
    // out, at the next look at the signals.
    struct pollfd p = {fd, POLLOUT, 0};
    if (ppoll(&p, fd >= 0 ? 1 : 0, timeout, &waitmask) < 0 && errno != EINTR)
        return -1;
    return 0;
}

bool toggleasked() { return gottoggle != 0; }

int lockwait(int fd)
{
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return -1;
        if (waitoutput(-1) < 0)
            return -1;
    }
    return 0;
}

// Before every wait: the CDR lines made and the bytes logged so far go out.
static void beforewait()
{
    cdrstore_flush();
    rawlog_flush();
}

// Every wait for input or for the key goes through here.
int waitinput(int fd)
{
    beforewait();
    struct pollfd p = {fd, POLLIN, 0};
    if (ppoll(&p, 1, nullptr, &waitmask) >= 0) {
        takesignals();
        return 1;
    }
    if (errno != EINTR)
        return -1;
    handlesignals();
    return 0;
}

int openwait(const char* path, int flags, unsigned mode)
{
    int fd = open(path, flags | O_NONBLOCK, mode);
    if (fd >= 0) {
        int fl = fcntl(fd, F_GETFL);
        if (fl >= 0 && !(flags & O_NONBLOCK))
            fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
        return fd;
    }
    int err = errno;
    struct stat st;
    if (err != ENXIO || stat(path, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        errno = err;
        return -1;
    }
    // A FIFO that nobody reads yet: look again shortly, signals let in.
    beforewait();
    const struct timespec pause = {0, 50 * 1000 * 1000};
    if (ppoll(nullptr, 0, &pause, &waitmask) < 0 && errno == EINTR)
        handlesignals();
    errno = EINTR;
    return -1;
}

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
    fflush(stderr);
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
            my_exit(1);
        return;
    }
}

void morva(const char* path)
{
    if (*opt.cdrdir)
        checkcdrdir();
    cdrfp = *path ? openinput(path) : 0;
    clocksetup();
    pabxdep_init();
    pakrop.rejcnt = 0;
    alarm(60);
    if (!opt.trace)
        dostats();
    for (;;) {
        if (opt.trace)
            dostats();
        if (opt.pause)
            pausekey();
        handlerawrec();
        int packed = packrec(&pkcall);
        postpacker(packed == 0);
    }
}

int postpacker(int notpacked)
{
    reccount++;
    if (opt.trace)
        fprintf(stderr, "\n- %s - %s - rejcnt %lu%s\n", opt.longcodes ? "kal" : "nur",
                notpacked ? "Not packed" : "Packed", static_cast<unsigned long>(pakrop.rejcnt),
                flushingpacker ? " [flushingpacker]" : "");
    if (notpacked)
        return 0;
    int excluded = rejcall(&pkcall);
    if (opt.trace)
        fprintf(stderr, "-e%02x %02x%02x%02x %02x%02x%02x -call %s-\n", opt.exclusion, opt.stationlow[0], opt.stationlow[1],
                opt.stationlow[2], opt.stationhigh[0], opt.stationhigh[1], opt.stationhigh[2], excluded ? "Excluded" : "Included");
    if (excluded)
        return 0;
    if (opt.tracerecords)
        dumppak(&pkcall);
    output_call(&pkcall);
    return 1;
}

void dostats()
{
    cdrstore_flush();   // the status line counts no line that is not out
    getcurtime(&real_time_rec);
    const char* text = "";
    if (pabxerr)
        text = errmsg;
    else if (prvetime)
        text = rptbin2asc(prvetime);
    char when[32];
    asctime_r(&tm_now, when);
    fprintf(stderr, " %-18.18s  Rec: %-10lu Rej: %-10lu  %s", text, static_cast<unsigned long>(reccount),
            static_cast<unsigned long>(pakrop.rejcnt), when);
    fflush(stderr);
    pabxdep_status(reccount != lastreccount);
    lastreccount = reccount;
    if (opt.rawlog) {
        fprintf(stderr, "Logging raw smdr to %s.\n", opt.rawpath);
        fflush(stderr);
    }
}

void flushpackerqueue()
{
    if (opt.trace)
        fputs("flushingpacker: start\n", stderr);
    flushingpacker = 1;
    while (dequeue(&pkcall)) {
        if (opt.trace)
            fputs("flushingpacker: loop\n", stderr);
        postpacker(0);
    }
    flushingpacker = 0;
    if (opt.trace)
        fputs("flushingpacker: finish\n", stderr);
}

void fatal(int code, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    my_exit(code);
}

void my_exit(int code)
{
    dostats();
    fprintf(stderr, "\n\nmy_exit: errcode = %d\n", code);
    fflush(stderr);
    flushpackerqueue();
    if (cdrfp >= 0) {
        close(cdrfp);
        cdrfp = -1;
    }
    cdrstore_close();
    rawlog_close();
    exit(code);
}
