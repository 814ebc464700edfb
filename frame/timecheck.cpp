// The PABX clock against the host clock: re-stamps a call whose end time is
// implausible and leaves the verdict that the status line shows.
#include "morva.h"

uint32_t prvetime = 0;
char pabxerr = 0;
char errmsg[19] = "PABX * SYSTEM TIME";

// Bounds in jul ticks.
constexpr uint32_t AHEAD = 1350;      // 90 minutes after now
constexpr uint32_t BEHIND = 64800;    // 72 hours before now
constexpr uint32_t BACKWARDS = 10800; // 12 hours before the previous call's end

// All arithmetic is unsigned 32-bit and every bound is strict: a call that
// ends exactly on a bound passes.
// "Now" is when the call's own line arrived, not when the line that released
// it did: a call followed by a quiet night is still judged by its own time.
void tvalid(callrec* rec, const trec* arrived)
{
    pabxerr = 0;
    uint32_t now = from_jul(arrived);
    uint32_t dur = getduration(rec);
    uint32_t end;
    if (opt.hosttime) {
        end = now;
        setstart(rec, now - dur);
    } else {
        end = maketime(rec) + dur;
    }
    if (prvetime == 0)
        prvetime = now - BEHIND;
    if (!opt.checktime) {
        prvetime = end;
        return;
    }

    char verdict = 0;
    if (end > now + AHEAD) {
        verdict = '>';
        end = now;
    } else if (now > end + BEHIND) {
        verdict = '<';
        end = now;
    }
    if (!verdict && end + BACKWARDS < prvetime) {
        verdict = '?';
        end = prvetime;
    }
    if (verdict) {
        // errmsg first, so a status line never pairs a new verdict with an old mark.
        errmsg[5] = verdict;
        pabxerr = verdict;
        setstart(rec, end - dur);
    }
    prvetime = end;
}
