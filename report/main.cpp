// morva-report: the call-accounting report of a period from the database
// of morva-cdrload, as one HTML page and, with --csv, CSV files.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <getopt.h>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "calls.h"
#include "civil.h"
#include "csvfile.h"
#include "csvout.h"
#include "directory.h"
#include "html.h"
#include "sqlitedb.h"
#include "tables.h"
#include "tally.h"
#include "tariff.h"
#include "trunks.h"

namespace {

const char usage[] =
    "usage: morva-report [--from DATE] [--to DATE] [--directory FILE] [--tariff FILE]\n"
    "                    [--trunks FILE] [--pulse-price AMOUNT] [--mask N] [--csv DIR]\n"
    "                    [--business-hours HH-HH] [--business-days D-D] [--long-hours H]\n"
    "                    [--emergency LIST] [--site NAME]... [-o FILE.html] DATABASE\n"
    "  DATABASE is an SQLite file of morva-cdrload or a PostgreSQL connection\n"
    "  string (postgresql://..., service=NAME, host=... dbname=...)\n";

constexpr int MAXDAYS = 3660;

struct Usage {
    std::string what;
};

[[noreturn]] void bad(const std::string& what) { throw Usage{what}; }

// A whole number from lo to hi, all of s.
int whole(const char* opt, std::string_view s, int lo, int hi)
{
    long v;
    if (!wholenumber(s, hi, v) || v < lo)
        bad(std::string(opt) + " wants a number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return int(v);
}

// "A-B" of two whole numbers.
void range(const char* opt, std::string_view s, int lo, int hi, int& a, int& b)
{
    size_t dash = s.find('-');
    if (dash == s.npos)
        bad(std::string(opt) + " wants two numbers joined by -, such as " + (hi == 24 ? "07-19" : "1-5"));
    a = whole(opt, s.substr(0, dash), lo, hi);
    b = whole(opt, s.substr(dash + 1), lo, hi);
}

long long firstofmonth(long long day, int add)
{
    int y, m, d;
    civilfromdays(day, y, m, d);
    m += add;
    while (m > 12) { m -= 12; y++; }
    while (m < 1) { m += 12; y--; }
    return daysfromcivil(y, m, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    enum { FROM = 256, TO, DIRECTORY, TARIFF, TRUNKS, PULSE, MASK, CSV, BIZHOURS, BIZDAYS, LONG,
           EMERGENCY, SITE, HELP, VERSION };
    static const option longopts[] = {
        {"from", required_argument, nullptr, FROM},
        {"to", required_argument, nullptr, TO},
        {"directory", required_argument, nullptr, DIRECTORY},
        {"tariff", required_argument, nullptr, TARIFF},
        {"trunks", required_argument, nullptr, TRUNKS},
        {"pulse-price", required_argument, nullptr, PULSE},
        {"mask", required_argument, nullptr, MASK},
        {"csv", required_argument, nullptr, CSV},
        {"business-hours", required_argument, nullptr, BIZHOURS},
        {"business-days", required_argument, nullptr, BIZDAYS},
        {"long-hours", required_argument, nullptr, LONG},
        {"emergency", required_argument, nullptr, EMERGENCY},
        {"site", required_argument, nullptr, SITE},
        {"help", no_argument, nullptr, HELP},
        {"version", no_argument, nullptr, VERSION},
        {nullptr, 0, nullptr, 0},
    };

    Settings set;
    PageInfo info;
    std::optional<long long> from, to;
    std::string csvdir, output = "-";
    std::vector<std::string> sites;
    try {
        opterr = 0;
        int c;
        while ((c = getopt_long(argc, argv, ":o:h", longopts, nullptr)) != -1) {
            std::string_view arg = optarg ? optarg : "";
            long long day;
            switch (c) {
            case FROM:
            case TO:
                if (!parsedate(arg, day))
                    bad(std::string(c == FROM ? "--from" : "--to") + " wants a date as YYYY-MM-DD");
                (c == FROM ? from : to) = day;
                break;
            case DIRECTORY: info.directory = arg; break;
            case TARIFF: info.tariff = arg; break;
            case TRUNKS: info.trunks = arg; break;
            case PULSE:
                if (!parsemoney(arg, MAXPRICE, set.pulseprice))
                    bad("--pulse-price wants an amount from 0 to 10000 with up to 4 decimals");
                break;
            case MASK: set.mask = whole("--mask", arg, 0, 24); break;
            case CSV: csvdir = arg; break;
            case 'o': output = arg; break;
            case BIZHOURS:
                range("--business-hours", arg, 0, 24, set.bizfrom, set.bizto);
                if (set.bizfrom >= set.bizto)
                    bad("--business-hours: the first hour must come before the second");
                break;
            case BIZDAYS:
                range("--business-days", arg, 1, 7, set.bizday1, set.bizday2);
                if (set.bizday1 > set.bizday2)
                    bad("--business-days: the first day must not come after the second");
                set.bizday1--;
                set.bizday2--;
                break;
            case LONG: set.longcall = whole("--long-hours", arg, 1, 72) * 3600L; break;
            case EMERGENCY:
                set.emergency.clear();
                for (size_t at = 0; at <= arg.size();) {
                    size_t comma = std::min(arg.find(',', at), arg.size());
                    std::string_view n = arg.substr(at, comma - at);
                    if (n.empty() || n.size() > 24 || n.find_first_not_of("0123456789") != n.npos)
                        bad("--emergency wants numbers of digits joined by commas");
                    set.emergency.emplace_back(n);
                    at = comma + 1;
                }
                break;
            case SITE:
                if (arg.empty())
                    bad("--site wants the name of a site");
                sites.emplace_back(arg);
                break;
            case HELP:
            case 'h':
                std::cout << usage;
                return 0;
            case VERSION:
                std::cout << "morva-report " MORVA_VERSION "\n";
                return 0;
            case ':':
                bad(std::string(argv[optind - 1]) + " wants a value");
            default:
                bad(std::string("unknown option ") + argv[optind - 1]);
            }
        }
        if (argc - optind != 1 || !*argv[optind])
            bad(argc - optind > 1 ? "one DATABASE only" : "no DATABASE given");
    } catch (const Usage& u) {
        std::cerr << "morva-report: " << u.what << '\n' << usage;
        return 2;
    }

    try {
        Directory directory;
        Tariff tariff;
        Trunks trunks;
        if (!info.directory.empty())
            directory.load(*CsvFile::open(info.directory), info.directory);
        if (!info.tariff.empty())
            tariff.load(*CsvFile::open(info.tariff), info.tariff);
        if (!info.trunks.empty())
            trunks.load(*CsvFile::open(info.trunks), info.trunks);

        auto source = opensource(argv[optind], sites);
        info.database = source->name();
        info.sites = source->sites();

        // The period: as given; one given alone reaches to the end of its
        // month or back to its start; none, the last full month of calls.
        if (from && !to)
            to = firstofmonth(*from, 1);
        else if (to && !from)
            from = firstofmonth(*to - 1, 0);
        else if (!from) {
            auto m = source->lastfullmonth();
            if (!m) {
                std::cerr << "morva-report: " << info.database
                          << ": no full calendar month of calls (none before the month of the"
                             " newest call): give --from and --to\n";
                return 2;
            }
            from = daysfromcivil(m->year, m->month, 1);
            to = firstofmonth(*from, 1);
        }
        if (*to <= *from) {
            std::cerr << "morva-report: --to must come after --from\n";
            return 2;
        }
        if (*to - *from > MAXDAYS) {
            std::cerr << "morva-report: a period of at most " << MAXDAYS << " days\n";
            return 2;
        }
        set.from = *from * DAY;
        set.to = *to * DAY;

        // The outputs are opened before the long read, so that a folder
        // that cannot be written is found at once.
        OutFile page(output);
        std::unique_ptr<CsvOut> csv;
        if (!csvdir.empty())
            csv = std::make_unique<CsvOut>(csvdir, info.sites);

        Tally tally(set, tariff, trunks, std::max(1, int(info.sites.size())));
        if (csv)
            tally.onwatch = [&](const CallLine& l) { csv->watch(l); };
        // Calls that end up to the longest call after the period still
        // carried traffic in its last hours.
        source->calls(set.from, set.to + MAXCALL, [&](const Call& c) { tally.add(c); });
        tally.finish();
        info.badrows = source->bad();

        Tables tables = maketables(tally, directory, trunks, tariff, info.sites);
        if (csv)
            csv->write(tables, tally, trunks);
        writepage(page, info, tables, tally, trunks);
        // Every file is written before any is put in place: a report that
        // fails leaves all the files of the one before.
        std::vector<OutFile*> files{&page};
        if (csv)
            for (OutFile* f : csv->files())
                files.push_back(f);
        OutFile::commitall(files);
        // Written all the same, as a month of a new site may be; but said,
        // for it may as well be the wrong database.
        if (tally.first < 0)
            std::cerr << "morva-report: " << info.database << ": no calls in the period "
                      << datetext(*from) << " to " << datetext(*to - 1) << "\n";
        if (info.badrows) {
            std::cerr << "morva-report: " << info.database << ": " << info.badrows
                      << " rows could not be read and are left out of the report\n";
            return 1;
        }
        return 0;
    } catch (const InputError& e) {
        std::cerr << "morva-report: " << e.what() << '\n';
    } catch (const DbError& e) {
        std::cerr << "morva-report: " << e.what() << '\n';
    } catch (const OutputError& e) {
        std::cerr << "morva-report: " << e.what() << '\n';
    } catch (const std::overflow_error& e) {
        std::cerr << "morva-report: " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        std::cerr << "morva-report: out of memory\n";
    }
    return 2;
}
