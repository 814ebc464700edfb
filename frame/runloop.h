// The run: records framed, decoded and stored until the input ends or a
// signal ends it; the status line; the orderly exit and the one way to fail.
#pragma once

#include <cstdint>
#include <ctime>

#include "decoder.h"

// Hands the program's decoder to the frame, first thing in main: even a bad
// option ends the run through the decoder's status hook and drain.
void usedecoder(const decoder& dec);
[[noreturn]] void run();
// The status line on standard error: the last call's end or the exchange
// clock's verdict, the counts, the host's date and time.
void statusline();
// The status line of the minute (or of SIGALRM): also the metrics file and
// the service manager's watchdog.
void timedstatus();
// Ends the run in order: the status line, the call still held written, the
// input and the outputs closed.
[[noreturn]] void endrun(int status);
// Prints the message and ends the run in order with the status.
[[noreturn]] void fatal(int status, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The pieces of a run, for a driver of its own (the fuzz harness): one
// record's whole way, framer to store (false at the end of the input); the
// drain at exit (how many calls the decoder released); and the count of
// calls handed to the store since the start.
bool takerecord();
int drainheld();
uint32_t storedcalls();
// For monitoring: calls left out by the exclusion settings, and the host
// time the last record arrived at.
uint32_t excludedcalls();
time_t lastrecordtime();
