// A call as the report reads it, and the source of the calls of a period:
// the one interface behind which each database back end sits.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

enum class Dir { Out, In, Tandem, Internal };
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
    virtual std::optional<Month> lastfullmonth() = 0;

protected:
    long long bad_ = 0;
};

// The source for a database named on the command line: an SQLite file
// written by morva-cdrload. Throws DbError.
std::unique_ptr<CallSource> opensource(const std::string& database);
