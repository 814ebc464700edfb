// The signals and the waits. The signals stay blocked in the normal flow and
// are let in while the program waits (ppoll with the saved mask), so none
// slips in between the test of a flag and the wait; and once per input block,
// because ppoll returns at once for a ready descriptor and would never let a
// signal in while input keeps coming.
#include "signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "cdrstore.h"
#include "clock.h"
#include "framer.h"
#include "runloop.h"
#include "settings.h"

static volatile sig_atomic_t gotalarm, gottoggle, gotterm;
static sigset_t blockset;   // the signals whose handlers only set a flag
static sigset_t waitmask;   // the mask in force while waiting: those let in

static void onalarm(int) { gotalarm = 1; }
static void ontoggle(int sig) { gottoggle = sig; }
static void onterm(int sig) { gotterm = sig; }

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
    catchsig(SIGINT, onterm);
    catchsig(SIGTERM, onterm);
    catchsig(SIGUSR1, ontoggle);
    catchsig(SIGALRM, onalarm);

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
        timedstatus();
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
    }
    if (gotterm) {
        fprintf(stderr, "\ndo_terminate() sig=%d\n", static_cast<int>(gotterm));
        endrun(0);
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
