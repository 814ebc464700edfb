// The signals, and every wait they must be able to end. Handlers only set a
// flag; the work (status line, raw-log switch, the end of the run) is done
// in the main flow, after every wait and once per input block.
#pragma once

// Installs the handlers and blocks their signals outside the waits.
void installsignals();
// Lets pending signals in and does their work; cheap when none is pending.
void takesignals();
// Waits until fd is readable, handling signals that arrive meanwhile or that
// are pending when it is. Writes out the CDR lines and the raw log first.
// Returns 1 when readable, 0 when a signal woke the wait (already handled),
// -1 on a failure of the wait itself (errno tells).
int waitinput(int fd);
// Waits, signals let in, until fd takes output again (fd < 0: a short pause
// before another try). Signals are only recorded here. Returns 0 to try
// again; -1 with errno ETIMEDOUT once a stop was asked for and the output
// has had its few seconds' grace, or with the wait's own errno.
int waitoutput(int fd);
// Takes an exclusive lock on fd, waiting as waitoutput does; 0 or -1.
int lockwait(int fd);
// Opens path without a wait that no signal could end: the open itself never
// waits, and a FIFO without a reader yet gives -1 with errno EINTR after a
// short wait in which signals were handled. Other failures: -1 and errno.
int openwait(const char* path, int flags, unsigned mode);
// True while a raw-log switch waits to be done: a raw log that waits for
// its reader then gives up the bytes it holds.
bool toggleasked();
