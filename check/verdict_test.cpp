// The verdicts of morva-check, one row per condition and its boundary, at
// fixed moments in UTC: Monday 7 December 2026 at 10:00 unless a row says.
#include <gtest/gtest.h>

#include <functional>

#include "verdict.h"

namespace {

constexpr time_t monday10 = 1796637600;  // 2026-12-07 10:00:00 UTC, a Monday
constexpr time_t min = 60;

FileFigures packer()
{
    FileFigures f;
    f.name = "ttyS0";
    f.mtime = double(monday10 - 30);
    f.start = double(monday10 - 86400);
    f.lastrecord = double(monday10 - 5 * min);
    f.records = 1000;
    f.rejected = 10;
    return f;
}

FileFigures loader()
{
    FileFigures f;
    f.name = "loader ttyS0";
    f.loader = true;
    f.mtime = double(monday10 - 2 * min);
    f.lastsuccess = double(monday10 - 2 * min);
    f.rows = 16;
    return f;
}

// The line without its performance data.
std::string text(const Verdict& v) { return v.line.substr(0, v.line.find(" |")); }

TEST(Verdict, Conditions)
{
    struct Row {
        const char* what;
        std::function<void(FileFigures& p, FileFigures& l)> change;
        time_t now;
        Status status;
        const char* text;
    };
    const Row table[] = {
        {"all well", [](auto&, auto&) {}, monday10, OK, "MORVA OK - ttyS0, loader ttyS0"},
        {"silent 47 min", [](auto& p, auto&) { p.lastrecord = double(monday10 - 47 * min); },
         monday10, CRITICAL, "MORVA CRITICAL - ttyS0: exchange silent for 47 min in business hours"},
        {"silent 30 min: not longer than the limit",
         [](auto& p, auto&) { p.lastrecord = double(monday10 - 30 * min); }, monday10, OK,
         "MORVA OK - ttyS0, loader ttyS0"},
        {"silent since Friday, 10 min into Monday's hours",
         [](auto& p, auto& l) {
             p.lastrecord = double(monday10 - 3 * 86400);
             p.mtime = l.mtime = l.lastsuccess = double(monday10 - 110 * min);
         },
         monday10 - 110 * min, OK, "MORVA OK - ttyS0, loader ttyS0"},
        {"silent since Friday, 40 min into Monday's hours",
         [](auto& p, auto& l) {
             p.lastrecord = double(monday10 - 3 * 86400);
             p.mtime = l.mtime = l.lastsuccess = double(monday10 - 80 * min);
         },
         monday10 - 80 * min, CRITICAL,
         "MORVA CRITICAL - ttyS0: exchange silent for 40 min in business hours"},
        {"silent on a Saturday",
         [](auto& p, auto& l) {
             p.lastrecord = double(monday10 - 3 * 86400);
             p.mtime = l.mtime = l.lastsuccess = double(monday10 - 2 * 86400);
         },
         monday10 - 2 * 86400, OK, "MORVA OK - ttyS0, loader ttyS0"},
        {"no record since the start an hour ago",
         [](auto& p, auto&) { p.lastrecord = -1, p.start = double(monday10 - 60 * min); },
         monday10, CRITICAL, "MORVA CRITICAL - ttyS0: exchange silent for 1 h 0 min in business hours"},
        {"packer's file stale",
         [](auto& p, auto&) { p.mtime = double(monday10 - 6 * min); }, monday10, CRITICAL,
         "MORVA CRITICAL - ttyS0: metrics not written for 6 min (packer stopped or hung)"},
        {"calls re-stamped", [](auto& p, auto&) { p.ahead = 3, p.backwards = 1; }, monday10,
         WARNING,
         "MORVA WARNING - ttyS0: 4 calls re-stamped, exchange clock wrong (ahead 3, behind 0, "
         "backwards 1)"},
        {"rejects above 1 %", [](auto& p, auto&) { p.rejected = 11; }, monday10, WARNING,
         "MORVA WARNING - ttyS0: 1.1 % of records rejected (11 of 1000)"},
        {"rejects of too few records", [](auto& p, auto&) { p.records = p.rejected = 99; },
         monday10, OK, "MORVA OK - ttyS0, loader ttyS0"},
        {"CDR write errors", [](auto& p, auto&) { p.writeerrors = 2; }, monday10, CRITICAL,
         "MORVA CRITICAL - ttyS0: 2 CDR write errors (calls not stored)"},
        {"loader without success for 2 h 10 min",
         [](auto&, auto& l) { l.lastsuccess = double(monday10 - 130 * min), l.failures = 26; },
         monday10, CRITICAL, "MORVA CRITICAL - loader ttyS0: no successful load for 2 h 10 min"},
        {"loader never successful", [](auto&, auto& l) { l.lastsuccess = -1, l.failures = 1; },
         monday10, CRITICAL, "MORVA CRITICAL - loader ttyS0: no successful load yet, 1 failed run"},
        {"loader's file stale", [](auto&, auto& l) { l.mtime = double(monday10 - 16 * min); },
         monday10, CRITICAL, "MORVA CRITICAL - loader ttyS0: metrics not written for 16 min (timer stopped)"},
        {"the worst first",
         [](auto& p, auto& l) { p.ahead = 1, l.lastsuccess = double(monday10 - 3 * 3600); },
         monday10, CRITICAL,
         "MORVA CRITICAL - loader ttyS0: no successful load for 3 h 0 min; ttyS0: 1 call "
         "re-stamped, exchange clock wrong (ahead 1, behind 0, backwards 0)"},
    };
    for (const Row& r : table) {
        FileFigures p = packer(), l = loader();
        r.change(p, l);
        Verdict v = judge({p, l}, {}, CheckSettings(), r.now);
        EXPECT_EQ(v.status, r.status) << r.what;
        EXPECT_EQ(text(v), r.text) << r.what;
    }
}

TEST(Verdict, UnreadableFilesAndPerformanceData)
{
    Verdict v = judge({packer(), loader()}, {"m.prom: No such file or directory"},
                      CheckSettings(), monday10);
    EXPECT_EQ(v.status, UNKNOWN);
    EXPECT_EQ(v.line,
              "MORVA UNKNOWN - m.prom: No such file or directory | 'ttyS0 last record'=300s "
              "'ttyS0 records'=1000c 'ttyS0 rejected'=10c 'ttyS0 re-stamped'=0c 'ttyS0 write "
              "errors'=0c 'loader ttyS0 last success'=120s;;7200 'loader ttyS0 rows loaded'=16c "
              "'loader ttyS0 bad lines'=0c");
    FileFigures p = packer();
    p.ahead = 1;
    EXPECT_EQ(judge({p}, {"m.prom: not a regular file"}, CheckSettings(), monday10).status,
              WARNING);
}

TEST(Verdict, FiguresOfAFile)
{
    const std::pair<const char*, const char*> table[] = {
        {"morva_build_info{source=\"morva-ttyS0\"} 1\nmorva_start_time_seconds 1\n"
         "morva_records_total 1\nmorva_rejected_lines_total 0\nmorva_cdr_write_errors_total 0\n"
         "morva_calls_restamped_total{verdict=\"ahead\"} 0\n"
         "morva_calls_restamped_total{verdict=\"behind\"} 0\n",
         "no morva_calls_restamped_total{verdict=\"backwards\"}"},
        {"node_load1 0.5\n", "not the metrics of a morva packer or loader"},
        {"morva_cdrload_build_info{source=\"morva-cdrload-ttyS0\"} 1\n"
         "morva_cdrload_runs_total{result=\"failure\"} 0\nmorva_cdrload_rows_loaded_total 3\n"
         "morva_cdrload_bad_lines_total 0\n",
         ""},
    };
    for (auto [text, why] : table) {
        std::vector<MetricSample> s;
        std::string got;
        FileFigures f;
        ASSERT_TRUE(parsemetrics(text, s, got));
        EXPECT_EQ(figures(s, 0, f, got), !*why) << text;
        EXPECT_EQ(*why ? got : f.name, *why ? why : "loader ttyS0");
    }
}

}  // namespace
