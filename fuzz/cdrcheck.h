// The invariants of what one run of the record path wrote: the CDR line
// grammar, the hourly tree's layout, the exclusion filter and the time check.
// A break prints its reason and the offending text, then aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// What the checks need to know of the run, told independently of the frame.
struct runfacts {
    uint8_t exclusion;       // exclusion code in force
    uint32_t lo, hi;         // the station range ends as decimal numbers
    bool timed;              // each call's end must lie near the host times seen
    time_t tmin, tmax;       // earliest and latest host time the frame was told
};

// Checks the CDR lines in buf[0..len) (whole lines only); returns their count.
size_t checkstream(const char* buf, size_t len, const runfacts& f);
// Checks the hourly tree under root, each file's lines against its hour, and
// empties root; returns the count of lines in it. With show, each file's name
// and lines go to stderr too.
size_t checktree(const char* root, const runfacts& f, bool show);
// mktime of a local date and time, the fields counted as people write them.
time_t localsecs(int year, int month, int day, int hour, int minute, int second);
// Reports a broken invariant and aborts.
[[noreturn]] void broken(const char* what, const char* text, size_t len);
