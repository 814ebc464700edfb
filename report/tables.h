// The report's tables, made once from the totals and written both to the
// page and to the CSV files, so that the two always agree.
#pragma once

#include <string>
#include <vector>

#include "directory.h"
#include "tally.h"
#include "trunks.h"

struct Cell {
    // Seconds show as minutes on the page and as seconds in a CSV file;
    // amounts with two places on the page and four (exact) in a file.
    enum Kind { Text, Count, Seconds, Amount, Erlangs } kind = Text;
    std::string text;
    long long n = 0;
    double x = 0;
};

Cell text(std::string s);
Cell count(long long n);
Cell seconds(long long s);
Cell amount(Money m);
Cell erlangs(double e);

struct Table {
    Table() = default;
    Table(std::string f, std::vector<std::string> c, std::vector<std::string> h)
        : file(std::move(f)), columns(std::move(c)), headings(std::move(h)) {}
    std::string file;                   // CSV file name; empty: the page's only
    std::vector<std::string> columns;   // CSV column names
    std::vector<std::string> headings;  // the page's column headings
    std::vector<std::vector<Cell>> rows;
    bool totalrow = false;              // the last row sums the others (page: bold)
};

// A trunk group and direction with its figures, for the traffic section.
struct TrafficRow {
    int group;
    int dir;                // 0 out, 1 in, 2 tandem, 3 all
    const Series* series;
    BusyHours busy;
    int peak;
    long long allbusy;
    int size;
    int needed;             // trunks Erlang B needs at 1 % for the busy hour
    double sizecarries;     // what the group's size carries at 1 %
};

struct Tables {
    Table summary, departments, extensions, costly;
    Table numbersbycost, numbersbycalls, labelsbycost, labelsbycalls, unrated;
    Table hours, days, traffic, groups;
    std::vector<TrafficRow> trafficrows;  // traffic's rows, then the groups'
    std::array<Table, 3> watch;           // after hours, long, emergency
};

extern const char* const DIRNAMES[NDIRS];        // outgoing, incoming, ...
extern const char* const SERIESNAMES[SERIES];    // out, in, tandem, all
extern const char* const WATCHFILE;
extern const std::vector<std::string> WATCHCOLUMNS;
extern const char* const WEEKDAYS[7];

// The sites of the report: with more than one, the tables of extensions,
// calls and trunk groups end with a column that names the site.
using Sites = std::vector<std::string>;
inline bool sitecolumn(const Sites& sites) { return sites.size() > 1; }

// One watch-list entry as a row of the watch tables (and of watch.csv).
std::vector<Cell> watchrow(const CallLine& l, const Sites& sites);

Tables maketables(const Tally& t, const Directory& dir, const Trunks& trunks,
                  const Tariff& tariff, const Sites& sites);
