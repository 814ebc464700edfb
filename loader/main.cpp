// morva-cdrload [-v] [--metrics FILE] [--site NAME] [DATABASE] CDRDIR: loads
// the hourly CDR tree under CDRDIR, the calls of one site, into DATABASE (an
// SQLite file or a PostgreSQL server; default $MORVA_DB), incrementally.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "cdrdb.h"
#include "loader.h"
#include "metrics.h"

namespace {

const char usage[] =
    "usage: morva-cdrload [-v] [--metrics FILE] [--site NAME] [DATABASE] CDRDIR\n"
    "  DATABASE          an SQLite file, or a PostgreSQL connection string:\n"
    "                    postgresql://..., service=NAME, host=... dbname=...;\n"
    "                    default: the environment's MORVA_DB\n"
    "  --site NAME       the site the tree belongs to; default: the host's name,\n"
    "                    or the one site an SQLite file holds\n"
    "  -v, --verbose     at the end, one line: files read, rows loaded, bad lines\n"
    "  --metrics FILE    at the end, the figures of this run and the runs before\n"
    "                    in FILE, for monitoring (Prometheus text format)\n";

// A site is named by printable text of at most 64 bytes, and not by blanks
// alone: it labels the rows of every site in one database.
bool sitename(std::string_view s)
{
    if (s.empty() || s.size() > 64 || s.find_first_not_of(' ') == s.npos)
        return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

// The status to end with at once (help, version, a usage error), or -1 to
// go on with DATABASE and CDRDIR, or CDRDIR alone when database is given
// (MORVA_DB), at argv[optind].
int options(int argc, char** argv, bool& verbose, const char*& metrics, std::string& site,
            const char*& database)
{
    static const option longopts[] = {{"verbose", no_argument, nullptr, 'v'},
                                      {"metrics", required_argument, nullptr, 'm'},
                                      {"site", required_argument, nullptr, 's'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "+vh", longopts, nullptr)) != -1;) {
        if (c == 'v') {
            verbose = true;
        } else if (c == 'm' && *optarg) {
            metrics = optarg;
        } else if (c == 's') {
            if (!sitename(optarg)) {
                std::cerr << "morva-cdrload: --site wants printable text of 1 to 64 bytes\n";
                return 2;
            }
            site = optarg;
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
    bool ok = argc - optind == 2 || (argc - optind == 1 && database);
    for (int i = optind; ok && i < argc; i++)
        ok = *argv[i] && !(argv[i][0] == '-' && argv[i][1]);
    if (!ok) {
        std::cerr << usage;
        return 2;
    }
    if (argc - optind == 2)
        database = argv[optind++];
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
int run(const char* database, const std::string& site, bool given, std::string root,
        Tally& tally)
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
        auto db = opendb(database, site, given);
        return loadtree(*db, root, std::cerr, tally);
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
    std::string site;
    // From the environment, a connection string stays off the command line,
    // which every local user can read.
    const char* database = std::getenv("MORVA_DB");
    if (database && !*database)
        database = nullptr;
    if (int status = options(argc, argv, verbose, metricspath, site, database); status >= 0)
        return status;
    const bool given = !site.empty();
    if (!given) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0 || !sitename(host)) {
            std::cerr << "morva-cdrload: the host's name cannot name the site: give --site\n";
            return 2;
        }
        site = host;
    }

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
    int status = run(database, site, given, argv[optind], tally);
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
