// morva-cdrload [-v] [--metrics FILE] DATABASE CDRDIR: loads the hourly CDR
// tree under CDRDIR into the table cdr of the SQLite database DATABASE,
// incrementally.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <getopt.h>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "cdrdb.h"
#include "loader.h"
#include "metrics.h"

namespace {

const char usage[] =
    "usage: morva-cdrload [-v] [--metrics FILE] DATABASE CDRDIR\n"
    "  -v, --verbose     at the end, one line: files read, rows loaded, bad lines\n"
    "  --metrics FILE    at the end, the figures of this run and the runs before\n"
    "                    in FILE, for monitoring (Prometheus text format)\n";

// The status to end with at once (help, version, a usage error), or -1 to
// go on with DATABASE and CDRDIR at argv[optind].
int options(int argc, char** argv, bool& verbose, const char*& metrics)
{
    static const option longopts[] = {{"verbose", no_argument, nullptr, 'v'},
                                      {"metrics", required_argument, nullptr, 'm'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "+vh", longopts, nullptr)) != -1;) {
        if (c == 'v') {
            verbose = true;
        } else if (c == 'm' && *optarg) {
            metrics = optarg;
        } else if (c == 'h') {
            std::cout << usage;
            return 0;
        } else if (c == 'V') {
            std::cout << "morva-cdrload " MORVA_VERSION "\n";
            return 0;
        } else {
            std::cerr << usage;
            return 2;
        }
    }
    // A path that starts with a dash is more often a mistyped option.
    bool ok = argc - optind == 2;
    for (int i = optind; ok && i < argc; i++)
        ok = *argv[i] && !(argv[i][0] == '-' && argv[i][1]);
    if (!ok) {
        std::cerr << usage;
        return 2;
    }
    return -1;
}

// n and its noun, in the plural unless n is 1.
std::string count(long long n, const char* one, const char* many)
{
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

void summary(const Tally& t)
{
    std::cout << "morva-cdrload: " << count(t.files, "file", "files") << " read, "
              << count(t.rows, "row", "rows") << " loaded, "
              << count(t.bad, "bad line", "bad lines") << std::endl;
}

// Seconds of a clock, to the millisecond.
template <class Clock>
double seconds(typename Clock::time_point t)
{
    using ms = std::chrono::milliseconds;
    return double(std::chrono::duration_cast<ms>(t.time_since_epoch()).count()) / 1000;
}

// The run itself: its exit status, and what it loaded in tally.
int run(const char* database, std::string root, Tally& tally)
{
    // A file-size limit must show as a failed write of the database, said
    // and with status 2, not kill the run without a word.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    if (sigemptyset(&ignore.sa_mask) != 0 || sigaction(SIGXFSZ, &ignore, nullptr) != 0) {
        std::cerr << "morva-cdrload: cannot ignore SIGXFSZ: " << std::strerror(errno) << '\n';
        return 2;
    }

    // The tree is checked first, so that a mistyped CDRDIR leaves no new
    // empty database behind.
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    struct stat sb;
    if (stat(root.c_str(), &sb) != 0) {
        std::cerr << "morva-cdrload: " << root << ": " << std::strerror(errno) << '\n';
        return 2;
    }
    if (!S_ISDIR(sb.st_mode)) {
        std::cerr << "morva-cdrload: " << root << ": " << std::strerror(ENOTDIR) << '\n';
        return 2;
    }

    try {
        CdrDb db(database);
        return loadtree(db, root, std::cerr, tally);
    } catch (const DbError& e) {
        std::cerr << "morva-cdrload: " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        std::cerr << "morva-cdrload: out of memory\n";
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool verbose = false;
    const char* metricspath = nullptr;
    if (int status = options(argc, argv, verbose, metricspath); status >= 0)
        return status;

    using steady = std::chrono::steady_clock;
    double start = seconds<steady>(steady::now());
    std::optional<LoaderMetrics> metrics;
    std::string why;
    if (metricspath) {
        metrics.emplace(metricspath);
        if (!metrics->readprevious(why))
            std::cerr << "morva-cdrload: " << why << ": its counts start again from 0\n";
    }

    Tally tally;
    int status = run(argv[optind], argv[optind + 1], tally);
    if (verbose)
        summary(tally);

    // A metrics file that cannot be written fails the run, so that the
    // unit shows it: monitoring that stopped without a word is the silence
    // the file is there to end. What was loaded stays loaded.
    if (metrics) {
        using system = std::chrono::system_clock;
        double ended = seconds<system>(system::now());
        double took = std::round((seconds<steady>(steady::now()) - start) * 1000) / 1000;
        if (!metrics->write(tally, status != 2, ended, took, why)) {
            std::cerr << "morva-cdrload: " << why << '\n';
            if (status == 0)
                status = 1;
        }
    }
    return status;
}
