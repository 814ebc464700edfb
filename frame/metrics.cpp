// The packer's metrics file. Every figure is one the modules keep anyway;
// this file only gathers them, so that no record pays for monitoring.
#include "metrics.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "cdrstore.h"
#include "clock.h"
#include "decoder.h"
#include "framer.h"
#include "metricsfile.h"
#include "metricsread.h"
#include "runloop.h"
#include "settings.h"
#include "timecheck.h"

static MetricsFile* file;   // null while metrics are off
static const char* program;
static const char* version;
static time_t started;
static std::string lastfailure;   // said once until it changes
// Write errors of the runs before, from the file they left: a failed write
// ends the run, and the one started again must not hide it.
static uint64_t earliererrors;

void metrics_start(const char* path, const char* prog, const char* ver)
{
    static MetricsFile one{path};
    file = &one;
    program = prog;
    version = ver;
    started = time(nullptr);
    std::string text, why;
    struct stat sb;
    std::vector<MetricSample> samples;
    if (readmetrics(one.path(), text, sb, why) && parsemetrics(text, samples, why))
        if (const MetricSample* e = findsample(samples, "morva_cdr_write_errors_total"))
            if (e->value > 0 && e->value < 1e15)
                earliererrors = uint64_t(e->value);
}

void metrics_write()
{
    if (!file)
        return;
    MetricsFile& m = *file;
    const inputfigures in = inputcounts();
    const storefigures out = cdrstore_counts();
    m.clear();
    m.family("morva_build_info", MetricsFile::gauge, "The packer's program and version.");
    m.sample({{"program", program}, {"version", version}}, 1);
    m.single("morva_start_time_seconds", MetricsFile::gauge,
             "When the packer started, as a Unix time.", (long long)started);
    m.single("morva_input_bytes_total", MetricsFile::counter, "Bytes read from the exchange.",
             in.bytes);
    m.single("morva_records_total", MetricsFile::counter, "Records (lines) framed.", in.records);
    m.single("morva_rejected_lines_total", MetricsFile::counter,
             "Lines the decoder refused.", rejectedlines);
    m.single("morva_calls_written_total", MetricsFile::counter, "CDR lines written whole.",
             out.written);
    m.single("morva_calls_excluded_total", MetricsFile::counter,
             "Calls left out by the exclusion settings.", excludedcalls());
    m.family("morva_calls_restamped_total", MetricsFile::counter,
             "Calls whose exchange time was implausible and was moved: the exchange clock ahead "
             "(>90 min), behind (>72 h) or gone backwards (>12 h).");
    m.sample({{"verdict", "ahead"}}, timecheck.ahead);
    m.sample({{"verdict", "behind"}}, timecheck.behind);
    m.sample({{"verdict", "backwards"}}, timecheck.backwards);
    if (out.anycall)
        m.single("morva_last_call_end_timestamp_seconds", MetricsFile::gauge,
                 "The end of the last call, as a Unix time.", (long long)tickstime(out.lastend));
    if (in.records)
        m.single("morva_last_record_timestamp_seconds", MetricsFile::gauge,
                 "The host time of the last record, as a Unix time.",
                 (long long)lastrecordtime());
    m.single("morva_raw_logging", MetricsFile::gauge, "1 while the raw log is on.", opt.rawlog);
    m.single("morva_cdr_write_errors_total", MetricsFile::counter,
             "CDR writes that failed, also in the runs before that wrote this file.",
             earliererrors + out.errors);
    std::string why;
    if (m.write(why)) {
        lastfailure.clear();
    } else if (why != lastfailure) {
        fprintf(stderr, "ERROR: metrics %s\n", why.c_str());
        lastfailure = why;
    }
}
