// The loader's metrics file: morva_cdrload_* series, each carrying the
// source label of the file.
#include "metrics.h"

#include <cerrno>
#include <cmath>

#include "metricsread.h"

namespace {

// A count as a run of ours wrote it: a whole number, not negative, exact in
// a double.
bool count(const std::vector<MetricSample>& s, const char* name, long long& n,
           const char* lname = "", const char* lvalue = "")
{
    const MetricSample* m = findsample(s, name, lname, lvalue);
    if (!m || !(m->value >= 0 && m->value <= 9007199254740992.0) || m->value != std::floor(m->value))
        return false;
    n = (long long)m->value;
    return true;
}

}  // namespace

bool LoaderMetrics::readprevious(std::string& why)
{
    std::string text;
    struct stat sb;
    std::vector<MetricSample> s;
    if (!readmetrics(file_.path(), text, sb, why))
        return errno == ENOENT;
    if (!parsemetrics(text, s, why)) {
        why = file_.path() + ": " + why;
        return false;
    }
    Tally t;
    long long ok = 0, failed = 0;
    if (!count(s, "morva_cdrload_files_read_total", t.files) ||
        !count(s, "morva_cdrload_rows_loaded_total", t.rows) ||
        !count(s, "morva_cdrload_bad_lines_total", t.bad) ||
        !count(s, "morva_cdrload_runs_total", ok, "result", "success") ||
        !count(s, "morva_cdrload_runs_total", failed, "result", "failure")) {
        why = file_.path() + ": not the counts of a loader";
        return false;
    }
    total_ = t;
    successes_ = ok;
    failures_ = failed;
    const MetricSample* last = findsample(s, "morva_cdrload_last_success_timestamp_seconds");
    if (last && std::isfinite(last->value))
        lastsuccess_ = last->value;
    return true;
}

bool LoaderMetrics::write(const Tally& run, bool success, double ended, double seconds,
                          std::string& why)
{
    total_.files += run.files;
    total_.rows += run.rows;
    total_.bad += run.bad;
    (success ? successes_ : failures_)++;
    if (success)
        lastsuccess_ = ended;

    using M = MetricsFile;
    M& f = file_;
    f.clear();
    f.family("morva_cdrload_build_info", M::gauge, "The loader's version.");
    f.sample({{"version", MORVA_VERSION}}, 1);
    f.single("morva_cdrload_files_read_total", M::counter,
             "Hourly files read that had something new.", total_.files);
    f.single("morva_cdrload_rows_loaded_total", M::counter, "Calls loaded into the database.",
             total_.rows);
    f.single("morva_cdrload_bad_lines_total", M::counter,
             "Lines of the CDR tree that could not be read, each named in the loader's journal.",
             total_.bad);
    f.family("morva_cdrload_runs_total", M::counter,
             "Runs by result: success went through the whole tree (exit status 0 or 1), "
             "failure could not (status 2).");
    f.sample({{"result", "success"}}, successes_);
    f.sample({{"result", "failure"}}, failures_);
    if (lastsuccess_ >= 0)
        f.single("morva_cdrload_last_success_timestamp_seconds", M::gauge,
                 "When the last successful run ended (Unix time).", lastsuccess_);
    f.single("morva_cdrload_last_run_timestamp_seconds", M::gauge,
             "When the last run ended (Unix time).", ended);
    f.single("morva_cdrload_last_run_duration_seconds", M::gauge, "How long the last run took.",
             seconds);
    return f.write(why);
}
