// A call as the report reads it, and the source of the calls of a period:
// the one interface behind which each database back end sits.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cdrschema.h"

using Dir = CallDir;
constexpr int NDIRS = 4;

// The longest call a CDR line can hold: 65535 ticks of 4 seconds.
constexpr long MAXCALL = 65535L * 4;

struct Call {
    std::string_view first, second;  // parties as stored, empty for none
    std::string_view dialled;        // valid until the next call is read
    long long end;                   // seconds of the exchange's clock (civil.h)
    long duration;                   // seconds
    long meter;                      // pulses
    int type;
    Dir dir;
    int site;                        // its place in CallSource::sites()
};

struct Month {
    int year, month;
};

class CallSource {
public:
    virtual ~CallSource() = default;

    // Hands each call that ended in [from, to) to each, in the order of
    // the end times (calls that ended together in the order loaded). A row
    // that cannot be read is not handed on but counted in bad().
    virtual void calls(long long from, long long to,
                       const std::function<void(const Call&)>& each) = 0;
    long long bad() const { return bad_; }

    // The last full calendar month that holds calls: the latest month
    // before the month of the newest call that holds any. None when every
    // call is in one month (or there are none).
    std::optional<Month> lastfullmonth();

    // The sites the report covers, in the order of their names.
    const std::vector<std::string>& sites() const { return sites_; }
    // The database as messages and the page name it (never a password).
    const std::string& name() const { return name_; }

protected:
    // The end of the newest call that ended before t, if any.
    virtual std::optional<long long> newestbefore(long long t) = 0;
    // Takes the sites: those asked, each of which must be in the database,
    // or else every site there. Throws DbError.
    void choosesites(std::vector<std::string> there, const std::vector<std::string>& asked);
    // The site of each file of the sites covered, from the file's record.
    void addfile(long long id, std::string_view site);
    // A row read into c, or false, counted in bad(), when it cannot be: its
    // file of no site covered, a field out of its range.
    bool take(long long file, std::string_view first, std::string_view second,
              std::string_view dialled, long long end, long long duration, long long meter,
              long long type, Call& c);

    std::string name_;
    long long bad_ = 0;

private:
    std::vector<std::string> sites_;
    std::unordered_map<long long, int> files_;
};

// The source for a database named on the command line: an SQLite file
// written by morva-cdrload or a PostgreSQL connection string, restricted to
// the sites given (none: every site). Throws DbError.
std::unique_ptr<CallSource> opensource(const std::string& database,
                                       const std::vector<std::string>& sites);
std::unique_ptr<CallSource> opensqlitesource(const std::string& path,
                                             const std::vector<std::string>& sites);
std::unique_ptr<CallSource> openpgsource(const std::string& conninfo,
                                         const std::vector<std::string>& sites);
