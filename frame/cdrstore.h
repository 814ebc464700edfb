// The CDR store: each call's line to standard output, or appended to the
// hourly file of the call's end under the CDR directory. Lines wait in one
// burst for their destination and go out in one write.
#pragma once

#include "record.h"

// Takes a call's line; it goes out with the next flush, or at once when
// the burst is full, its hour's file changes or a trace is on.
void cdrstore_add(const callrec* rec);
// Writes out the lines taken so far: before every wait, before a status
// line, at the raw-log switch and at exit.
void cdrstore_flush();
// What the store has done since the start.
struct storefigures {
    uint64_t written;    // CDR lines wholly written
    uint32_t errors;     // writes that failed
    bool anycall;        // a call was taken, and lastend is its end
    uint32_t lastend;    // the end of the last call taken, in ticks
};
storefigures cdrstore_counts();
// Writes them out, says how many lines were lost when a write failed, and
// closes the CDR output. A later cdrstore_add starts afresh.
void cdrstore_close();
