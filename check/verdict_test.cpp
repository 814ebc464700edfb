// The verdicts of morva-check, one row per condition or boundary, in UTC
// at Monday 7 December 2026, 10:00, unless a row moves the clock back.
#include <gtest/gtest.h>

#include <functional>

#include "verdict.h"

namespace {

constexpr double now = 1796637600;  // 2026-12-07 10:00:00 UTC, a Monday
constexpr double min = 60;
const char* const fine = "MORVA OK - ttyS0, loader ttyS0";

TEST(Verdict, Conditions)
{
    struct Row {
        std::function<void(FileFigures& p, FileFigures& l)> change;
        double back;  // minutes before Monday 10:00 at which the check runs
        Status status;
        const char* text;
    };
    auto silentsince = [](double t) { return [t](FileFigures& p, FileFigures&) { p.lastrecord = t; }; };
    const Row table[] = {
        {[](auto&, auto&) {}, 0, OK, fine},
        {[](auto& p, auto&) { p.lastrecord = now - 30 * min; }, 0, OK, fine},
        // Silent since Friday: 10 and 40 minutes into Monday's hours, and on Saturday.
        {silentsince(now - 3 * 86400), 110, OK, fine},
        {silentsince(now - 3 * 86400), 80, CRITICAL,
         "MORVA CRITICAL - ttyS0: exchange silent for 40 min in business hours"},
        {silentsince(now - 3 * 86400), 2 * 1440, OK, fine},
        {[](auto& p, auto&) { p.lastrecord = -1, p.start = now - 60 * min; }, 0, CRITICAL,
         "MORVA CRITICAL - ttyS0: exchange silent for 1 h 0 min in business hours"},
        {[](auto& p, auto&) { p.mtime = now - 6 * min; }, 0, CRITICAL,
         "MORVA CRITICAL - ttyS0: metrics not written for 6 min (packer stopped or hung)"},
        {[](auto& p, auto&) { p.ahead = 3, p.backwards = 1; }, 0, WARNING,
         "MORVA WARNING - ttyS0: 4 calls re-stamped, exchange clock wrong (ahead 3, behind 0, "
         "backwards 1)"},
        {[](auto& p, auto&) { p.rejected = 11; }, 0, WARNING,
         "MORVA WARNING - ttyS0: 1.1 % of records rejected (11 of 1000)"},
        {[](auto& p, auto&) { p.records = p.rejected = 99; }, 0, OK, fine},
        {[](auto& p, auto&) { p.writeerrors = 1; }, 0, CRITICAL,
         "MORVA CRITICAL - ttyS0: 1 CDR write error (calls not stored)"},
        {[](auto&, auto& l) { l.lastsuccess = now - 130 * min; }, 0, CRITICAL,
         "MORVA CRITICAL - loader ttyS0: no successful load for 2 h 10 min"},
        {[](auto&, auto& l) { l.lastsuccess = -1, l.failures = 2; }, 0, CRITICAL,
         "MORVA CRITICAL - loader ttyS0: no successful load yet, 2 failed runs"},
        {[](auto&, auto& l) { l.mtime = now - 16 * min; }, 0, CRITICAL,
         "MORVA CRITICAL - loader ttyS0: metrics not written for 16 min (timer stopped)"},
        {[](auto& p, auto& l) { p.ahead = 1, l.lastsuccess = now - 3 * 3600; }, 0, CRITICAL,
         "MORVA CRITICAL - loader ttyS0: no successful load for 3 h 0 min; ttyS0: 1 call "
         "re-stamped, exchange clock wrong (ahead 1, behind 0, backwards 0)"},
    };
    for (const Row& r : table) {
        FileFigures p, l;
        p.name = "ttyS0", p.mtime = now - 30, p.start = now - 86400, p.lastrecord = now - 300;
        p.records = 1000, p.rejected = 10;
        l.name = "loader ttyS0", l.loader = true, l.mtime = l.lastsuccess = now - 120, l.rows = 16;
        r.change(p, l);
        Verdict v = judge({p, l}, {}, CheckSettings(), time_t(now - r.back * min));
        EXPECT_EQ(v.status, r.status) << r.text;
        EXPECT_EQ(v.line.substr(0, v.line.find(" |")), r.text);
        if (&r == table) {
            EXPECT_EQ(v.line.substr(v.line.find(" |")),
                      " | 'ttyS0 last record'=300s 'ttyS0 records'=1000c 'ttyS0 rejected'=10c "
                      "'ttyS0 re-stamped'=0c 'ttyS0 write errors'=0c 'loader ttyS0 last "
                      "success'=120s;;7200 'loader ttyS0 rows loaded'=16c 'loader ttyS0 bad "
                      "lines'=0c");
        }
        // A file that could not be read is UNKNOWN, outranked by a warning.
        Verdict u = judge({p, l}, {"m.prom: not a regular file"}, CheckSettings(),
                          time_t(now - r.back * min));
        EXPECT_EQ(u.status, r.status == OK ? UNKNOWN : r.status) << r.text;
    }
}

}  // namespace
