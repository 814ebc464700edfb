// The PABX clock against the host clock: re-stamps a call whose end time is
// implausible and leaves the verdict that the status line shows.
#include "timecheck.h"

#include "settings.h"

clockcheck timecheck;

// Bounds in ticks.
constexpr uint32_t AHEAD = 1350;      // 90 minutes after now
constexpr uint32_t BEHIND = 64800;    // 72 hours before now
constexpr uint32_t BACKWARDS = 10800; // 12 hours before the previous call's end

// All arithmetic is unsigned 32-bit and every bound is strict: a call that
// ends exactly on a bound passes.
// "Now" is when the call's own line arrived, not when the line that released
// it did: a call followed by a quiet night is still judged by its own time.
void checkcalltime(callrec* rec, const datetime* arrived)
{
    timecheck.verdict = 0;
    uint32_t now = toticks(arrived);
    uint32_t dur = getduration(rec);
    uint32_t end;
    if (opt.hosttime) {
        end = now;
        setstart(rec, now - dur);
    } else {
        end = getstart(rec) + dur;
    }
    uint32_t& lastend = timecheck.lastend;
    if (lastend == 0)
        lastend = now - BEHIND;
    if (!opt.checktime) {
        lastend = end;
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
    if (!verdict && end + BACKWARDS < lastend) {
        verdict = '?';
        end = lastend;
    }
    if (verdict)
        ++(verdict == '>' ? timecheck.ahead : verdict == '<' ? timecheck.behind : timecheck.backwards);
    if (verdict) {
        // The text first, so a status line never pairs a new verdict with an old mark.
        timecheck.text[5] = verdict;
        timecheck.verdict = verdict;
        setstart(rec, end - dur);
    }
    lastend = end;
}
