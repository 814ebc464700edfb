// The conditions are those of the Prometheus rules shipped beside: an
// exchange silent in business hours, calls re-stamped, rejects above a
// ratio, CDR write errors, a loader without success, a file gone stale.
#include "verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Seconds as an operator reads them: 40 s, 47 min, 2 h 10 min, 3 d 4 h.
std::string duration(double secs)
{
    long long s = std::llround(std::max(secs, 0.0));
    char b[64];
    if (s < 60)
        std::snprintf(b, sizeof b, "%lld s", s);
    else if (s < 3600)
        std::snprintf(b, sizeof b, "%lld min", s / 60);
    else if (s < 86400)
        std::snprintf(b, sizeof b, "%lld h %lld min", s / 3600, s % 3600 / 60);
    else
        std::snprintf(b, sizeof b, "%lld d %lld h", s / 86400, s % 86400 / 3600);
    return b;
}

std::string number(double x)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.15g", x);
    return b;
}

// n and its noun, in the plural unless n is 1.
std::string count(double n, const char* one, const char* many)
{
    return number(n) + ' ' + (n == 1 ? one : many);
}

// Seconds of business hours between since and now: 0 outside them, else
// since the later of since and today's opening.
double businesssilence(double since, time_t now, const CheckSettings& s)
{
    struct tm t;
    if (!localtime_r(&now, &t) || !(s.days >> t.tm_wday & 1))
        return 0;
    int minute = t.tm_hour * 60 + t.tm_min;
    if (minute < s.opens || minute >= s.closes)
        return 0;
    t.tm_hour = s.opens / 60;
    t.tm_min = s.opens % 60;
    t.tm_sec = 0;
    t.tm_isdst = -1;
    double opened = double(mktime(&t));
    return double(now) - std::max(since, opened);
}

// A name as the line may hold it: no separator of the plugin output.
std::string shown(std::string s)
{
    std::replace_if(s.begin(), s.end(), [](char c) { return c == '|' || c == '\n' || c == '\''; },
                    '_');
    return s;
}

struct Problems {
    Status worst = OK;
    std::vector<std::pair<Status, std::string>> list;
    void add(Status st, std::string text)
    {
        // CRITICAL outranks WARNING, which outranks UNKNOWN.
        auto rank = [](Status x) { return x == UNKNOWN ? 1 : x == OK ? 0 : int(x) + 1; };
        if (rank(st) > rank(worst))
            worst = st;
        list.emplace_back(st, std::move(text));
    }
};

void packer(const FileFigures& f, const CheckSettings& s, time_t now, Problems& p,
            std::string& perf)
{
    const std::string& n = f.name;
    double since = f.lastrecord >= 0 ? f.lastrecord : f.start;
    double silent = businesssilence(since, now, s);
    if (double(now) - f.mtime > s.stale)
        p.add(CRITICAL, n + ": metrics not written for " + duration(double(now) - f.mtime) +
                            " (packer stopped or hung)");
    if (silent > s.silent)
        p.add(CRITICAL, n + ": exchange silent for " + duration(silent) + " in business hours");
    if (f.writeerrors > 0)
        p.add(CRITICAL, n + ": " + count(f.writeerrors, "CDR write error", "CDR write errors") +
                            " (calls not stored)");
    double re = f.ahead + f.behind + f.backwards;
    if (re >= s.restamped && re > 0)
        p.add(WARNING, n + ": " + count(re, "call", "calls") + " re-stamped, exchange clock wrong (ahead " +
                           number(f.ahead) + ", behind " + number(f.behind) + ", backwards " +
                           number(f.backwards) + ")");
    if (f.records >= s.minrecords && f.rejected > s.rejectratio * f.records) {
        char pct[32];
        std::snprintf(pct, sizeof pct, "%.1f %%", 100 * f.rejected / f.records);
        p.add(WARNING, n + ": " + pct + " of records rejected (" + number(f.rejected) + " of " +
                           number(f.records) + ")");
    }
    if (f.lastrecord >= 0)
        perf += " '" + n + " last record'=" + number(std::round(double(now) - f.lastrecord)) + "s";
    perf += " '" + n + " records'=" + number(f.records) + "c '" + n +
            " rejected'=" + number(f.rejected) + "c '" + n + " re-stamped'=" + number(re) +
            "c '" + n + " write errors'=" + number(f.writeerrors) + "c";
}

void loader(const FileFigures& f, const CheckSettings& s, time_t now, Problems& p,
            std::string& perf)
{
    const std::string& n = f.name;
    if (double(now) - f.mtime > s.loaderstale)
        p.add(CRITICAL, n + ": metrics not written for " + duration(double(now) - f.mtime) +
                            " (timer stopped)");
    if (f.lastsuccess < 0 && f.failures > 0)
        p.add(CRITICAL, n + ": no successful load yet, " + count(f.failures, "failed run", "failed runs"));
    else if (f.lastsuccess >= 0 && double(now) - f.lastsuccess > s.loaderage)
        p.add(CRITICAL, n + ": no successful load for " + duration(double(now) - f.lastsuccess));
    if (f.lastsuccess >= 0)
        perf += " '" + n + " last success'=" + number(std::round(double(now) - f.lastsuccess)) +
                "s;;" + number(s.loaderage);
    perf += " '" + n + " rows loaded'=" + number(f.rows) + "c '" + n +
            " bad lines'=" + number(f.bad) + "c";
}

}  // namespace

bool figures(const std::vector<MetricSample>& samples, double mtime, FileFigures& f,
             std::string& why)
{
    const MetricSample* info = findsample(samples, "morva_build_info");
    const MetricSample* linfo = findsample(samples, "morva_cdrload_build_info");
    if (!info && !linfo) {
        why = "not the metrics of a morva packer or loader";
        return false;
    }
    const std::string* source = (info ? info : linfo)->label("source");
    std::string name = source ? *source : "";
    f = FileFigures();
    f.loader = !info;
    f.mtime = mtime;
    std::string prefix = f.loader ? "morva-cdrload-" : "morva-";
    if (name.starts_with(prefix) && name.size() > prefix.size())
        name.erase(0, prefix.size());
    f.name = shown(f.loader ? "loader " + name : name);

    bool ok = true;
    auto need = [&](const char* metric, double& to, const char* lname = "",
                    const char* lvalue = "") {
        const MetricSample* m = findsample(samples, metric, lname, lvalue);
        if (m)
            to = m->value;
        else if (ok) {
            why = std::string("no ") + metric + (*lname ? std::string("{") + lname + "=\"" +
                                                              lvalue + "\"}"
                                                        : "");
            ok = false;
        }
    };
    auto may = [&](const char* metric, double& to) {
        if (const MetricSample* m = findsample(samples, metric))
            to = m->value;
    };
    if (f.loader) {
        need("morva_cdrload_runs_total", f.failures, "result", "failure");
        need("morva_cdrload_rows_loaded_total", f.rows);
        need("morva_cdrload_bad_lines_total", f.bad);
        may("morva_cdrload_last_success_timestamp_seconds", f.lastsuccess);
    } else {
        need("morva_start_time_seconds", f.start);
        need("morva_records_total", f.records);
        need("morva_rejected_lines_total", f.rejected);
        need("morva_cdr_write_errors_total", f.writeerrors);
        need("morva_calls_restamped_total", f.ahead, "verdict", "ahead");
        need("morva_calls_restamped_total", f.behind, "verdict", "behind");
        need("morva_calls_restamped_total", f.backwards, "verdict", "backwards");
        may("morva_last_record_timestamp_seconds", f.lastrecord);
    }
    return ok;
}

Verdict judge(const std::vector<FileFigures>& files, const std::vector<std::string>& unreadable,
              const CheckSettings& s, time_t now)
{
    Problems p;
    std::string perf, fine;
    for (const std::string& u : unreadable)
        p.add(UNKNOWN, shown(u));
    for (const FileFigures& f : files) {
        size_t before = p.list.size();
        (f.loader ? loader : packer)(f, s, now, p, perf);
        if (p.list.size() == before)
            fine += (fine.empty() ? "" : ", ") + f.name;
    }
    static const char* const names[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    std::string line = std::string("MORVA ") + names[p.worst] + " - ";
    if (p.list.empty()) {
        line += fine.empty() ? "no file" : fine;
    } else {
        // The worst first, then the rest in the order found.
        std::stable_sort(p.list.begin(), p.list.end(), [&](const auto& a, const auto& b) {
            return (a.first == p.worst) > (b.first == p.worst);
        });
        for (size_t i = 0; i < p.list.size(); i++)
            line += (i ? "; " : "") + p.list[i].second;
    }
    if (!perf.empty())
        line += " |" + perf;
    return {p.worst, line};
}
