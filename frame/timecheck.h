// The exchange's clock against the host's: a call whose end time is
// implausible is moved to a plausible one, and the verdict kept for the
// status line.
#pragma once

#include <cstdint>

#include "clock.h"
#include "record.h"

// What the check keeps from call to call. Only checkcalltime changes it; the
// status line shows it; tests and the fuzz harness start it afresh.
struct clockcheck {
    uint32_t lastend = 0;   // the end of the last call checked, in ticks; 0 before the first
    char verdict = 0;       // '>', '<' or '?' when the last call's time was moved, else 0
    char text[19] = "PABX * SYSTEM TIME";   // its '*' the latest verdict
    uint32_t ahead = 0, behind = 0, backwards = 0;   // calls moved for each verdict
};
extern clockcheck timecheck;

// Checks the call against the host time at which its own line was framed,
// and moves its start when its end is implausible.
void checkcalltime(callrec* rec, const datetime* arrived);
