// morva-check [options] FILE...: a monitoring plugin (Nagios, Icinga and
// the like) that reads the metrics files of morva packers and loaders and
// exits 0 OK, 1 WARNING, 2 CRITICAL or 3 UNKNOWN with one line.
#include <charconv>
#include <ctime>
#include <getopt.h>
#include <iostream>
#include <string>
#include <string_view>

#include "metricsread.h"
#include "verdict.h"

namespace {

const char usage[] =
    "usage: morva-check [options] FILE...\n"
    "FILE: a metrics file of a packer or a loader (morva-*.prom)\n"
    "  -s, --silent MIN          exchange silent longer in business hours: CRITICAL (30)\n"
    "  -d, --days DAYS           business days, such as mon-fri or mon,wed,fri (mon-fri)\n"
    "  -H, --hours HH:MM-HH:MM   business hours, local time (08:00-18:00)\n"
    "  -r, --reject-ratio PCT    rejected lines above PCT % of records: WARNING (1)\n"
    "  -n, --min-records N       ... judged from N records on (100)\n"
    "  -c, --restamped N         N calls re-stamped since the packer started: WARNING (1)\n"
    "  -l, --loader-age MIN      no successful load for longer: CRITICAL (120)\n"
    "  -t, --stale MIN           a packer's file older: CRITICAL (5)\n"
    "  -T, --loader-stale MIN    a loader's file older: CRITICAL (15)\n"
    "  -h, --help                this text\n"
    "      --version             the version\n";

// A whole number from 1 to max, taken whole or refused.
bool whole(const char* s, double max, double& out)
{
    long long n;
    std::string_view v(s);
    auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec != std::errc() || r.ptr != v.end() || n < 1 || double(n) > max)
        return false;
    out = double(n);
    return true;
}

bool percent(const char* s, double& out)
{
    std::string_view v(s);
    double x;
    auto r = std::from_chars(v.data(), v.data() + v.size(), x);
    if (v.empty() || r.ec != std::errc() || r.ptr != v.end() || !(x >= 0 && x <= 100))
        return false;
    out = x / 100;
    return true;
}

int dayof(std::string_view d)
{
    static const char* const names[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
    for (int i = 0; i < 7; i++)
        if (d == names[i])
            return i;
    return -1;
}

// mon-fri, sat,sun, fri-mon (a range may wrap round the week).
bool days(std::string_view v, unsigned& out)
{
    out = 0;
    while (!v.empty()) {
        size_t comma = v.find(',');
        std::string_view item = v.substr(0, comma);
        v.remove_prefix(comma == std::string_view::npos ? v.size() : comma + 1);
        size_t dash = item.find('-');
        int from = dayof(item.substr(0, dash));
        int to = dash == std::string_view::npos ? from : dayof(item.substr(dash + 1));
        if (from < 0 || to < 0)
            return false;
        for (int d = from;; d = (d + 1) % 7) {
            out |= 1u << d;
            if (d == to)
                break;
        }
    }
    return out != 0;
}

// HH:MM as minutes of the day, 24:00 included.
int minuteofday(std::string_view v)
{
    int h, m;
    if (v.size() != 5 || v[2] != ':' ||
        std::from_chars(v.data(), v.data() + 2, h).ptr != v.data() + 2 ||
        std::from_chars(v.data() + 3, v.data() + 5, m).ptr != v.data() + 5 || m > 59 ||
        h * 60 + m > 24 * 60)
        return -1;
    return h * 60 + m;
}

bool hours(std::string_view v, int& opens, int& closes)
{
    size_t dash = v.find('-');
    if (dash == std::string_view::npos)
        return false;
    opens = minuteofday(v.substr(0, dash));
    closes = minuteofday(v.substr(dash + 1));
    return opens >= 0 && closes > opens;
}

// The status to end with at once (help, version, a usage error), or -1.
int options(int argc, char** argv, CheckSettings& s)
{
    static const option longopts[] = {{"silent", required_argument, nullptr, 's'},
                                      {"days", required_argument, nullptr, 'd'},
                                      {"hours", required_argument, nullptr, 'H'},
                                      {"reject-ratio", required_argument, nullptr, 'r'},
                                      {"min-records", required_argument, nullptr, 'n'},
                                      {"restamped", required_argument, nullptr, 'c'},
                                      {"loader-age", required_argument, nullptr, 'l'},
                                      {"stale", required_argument, nullptr, 't'},
                                      {"loader-stale", required_argument, nullptr, 'T'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    constexpr double week = 7 * 24 * 60, many = 1e15;
    for (int c; (c = getopt_long(argc, argv, "+s:d:H:r:n:c:l:t:T:h", longopts, nullptr)) != -1;) {
        bool ok = true;
        double minutes = 0;
        switch (c) {
        case 's': ok = whole(optarg, week, minutes), s.silent = minutes * 60; break;
        case 'd': ok = days(optarg, s.days); break;
        case 'H': ok = hours(optarg, s.opens, s.closes); break;
        case 'r': ok = percent(optarg, s.rejectratio); break;
        case 'n': ok = whole(optarg, many, s.minrecords); break;
        case 'c': ok = whole(optarg, many, s.restamped); break;
        case 'l': ok = whole(optarg, week, minutes), s.loaderage = minutes * 60; break;
        case 't': ok = whole(optarg, week, minutes), s.stale = minutes * 60; break;
        case 'T': ok = whole(optarg, week, minutes), s.loaderstale = minutes * 60; break;
        case 'h': std::cout << usage; return 0;
        case 'V': std::cout << "morva-check " MORVA_VERSION "\n"; return 0;
        default: ok = false; optarg = nullptr;
        }
        if (!ok) {
            std::cout << "MORVA UNKNOWN - bad option" << (optarg ? " value: " : "")
                      << (optarg ? optarg : "") << '\n';
            std::cerr << usage;
            return UNKNOWN;
        }
    }
    if (optind >= argc) {
        std::cout << "MORVA UNKNOWN - no metrics file named\n";
        std::cerr << usage;
        return UNKNOWN;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    CheckSettings s;
    if (int status = options(argc, argv, s); status >= 0)
        return status;

    time_t now = time(nullptr);
    std::vector<FileFigures> files;
    std::vector<std::string> unreadable;
    for (int i = optind; i < argc; i++) {
        std::string text, why;
        struct stat sb;
        std::vector<MetricSample> samples;
        FileFigures f;
        if (!readmetrics(argv[i], text, sb, why)) {
            unreadable.push_back(why);
            continue;
        }
        double mtime = double(sb.st_mtim.tv_sec) + double(sb.st_mtim.tv_nsec) / 1e9;
        if (!parsemetrics(text, samples, why) || !figures(samples, mtime, f, why))
            unreadable.push_back(std::string(argv[i]) + ": " + why);
        else
            files.push_back(f);
    }
    Verdict v = judge(files, unreadable, s, now);
    std::cout << v.line << '\n';
    return v.status;
}
