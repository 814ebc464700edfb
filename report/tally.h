// The running totals of a report: each call of the period is taken in once,
// in the order of the end times, and only totals are kept, so memory does
// not grow with the number of calls.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "calls.h"
#include "money.h"
#include "tariff.h"
#include "topkeys.h"
#include "traffic.h"
#include "trunks.h"

struct Settings {
    long long from = 0, to = 0;     // the period, whole days of the exchange's clock
    int mask = 0;                   // dialled digits shown as x, from the right
    Money pulseprice = -1;          // a meter pulse's price; -1: pulses not priced
    int bizfrom = 7, bizto = 19;    // business hours [from, to)
    int bizday1 = 0, bizday2 = 4;   // business days, Monday 0 to Sunday 6
    long longcall = 4 * 3600;       // longer calls go on the watch list
    std::vector<std::string> emergency{"110", "112"};
    size_t top = 20;                // rows of each top list
    size_t topcapacity = 50000;     // distinct numbers kept exactly
    size_t watchshown = 100;        // watch-list entries kept for the page, of each kind
};

// Lets a map of strings be searched with a string_view, without a copy.
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
template <class T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

struct Totals {
    long calls = 0;
    long long seconds = 0;
    Money cost = 0;
};

struct ExtTotals {
    long calls_out = 0, calls_in = 0;
    long long seconds_out = 0, seconds_in = 0;
    Money cost = 0;
};

enum class WatchKind { AfterHours, Long, Emergency };

// A call shown on its own: a costly call or an entry of the watch list.
struct CallLine {
    long long start, end;
    std::string extension;   // the station party; empty for none
    std::string parties;     // first and second party, for a call without a station
    std::string number;      // dialled, masked
    std::string label;
    long seconds;
    Money cost;
    Dir dir;
    long seq;                // its place in the stream
    int site;
    WatchKind kind;          // watch list only
};

// Traffic of a trunk group in one direction; direction 3 is all together.
struct Series {
    Series(long long from, int days) : quarters(from, days), occupancy(MAXCALL) {}
    Quarters quarters;
    Occupancy occupancy;
    long calls = 0;
};
constexpr int SERIES = 4;  // out, in, tandem, all

class Tally {
public:
    Tally(const Settings& s, const Tariff& tariff, Trunks& trunks, int nsites = 1);
    // Takes in a call: of the period when it ended before its end; a call
    // that ended later adds only its traffic inside the period.
    void add(const Call& c);
    // After the last call: the pending simultaneous calls are taken in and
    // the trunk groups get their sizes.
    void finish();

    // Given each watch-list entry as it is found (the CSV file streams them).
    std::function<void(const CallLine&)> onwatch;

    const Settings& settings() const { return s_; }
    int days() const { return days_; }
    std::array<Totals, NDIRS> bydir;
    long long first = -1, last = -1;   // the first and last end in the period
    std::vector<TextMap<ExtTotals>> extensions;  // of each site
    std::vector<CallLine> costly;      // a heap until finish, then costliest first
    TopKeys bycalls, bycost;
    std::vector<Totals> labels;        // by Tariff::labels()
    Totals unrated, pulsepriced;
    TextMap<Totals> unratedprefix;  // first 4 digits shown
    std::array<std::array<long, 24>, 7> weekhours{};        // calls by weekday and hour
    std::vector<std::array<long, NDIRS>> perday;
    std::vector<std::unique_ptr<Series>> series;  // group * SERIES + direction
    std::array<std::vector<CallLine>, 3> watch;   // the first entries of each kind
    std::array<long, 3> watchcount{};

    // The dialled digits with the last `mask` shown as x.
    std::string_view masked(std::string_view dialled);

private:
    void traffic(const Call& c, long long start, bool inperiod);
    void watchcall(WatchKind k, const Call& c, long long start, std::string_view ext,
                   const Rate* r, Money cost);
    CallLine line(const Call& c, long long start, std::string_view ext, const Rate* r, Money cost);

    Settings s_;
    const Tariff& tariff_;
    Trunks& trunks_;
    int days_, nsites_;
    long seq_ = 0;
    char maskbuf_[TopKeys::KEYLEN + 1];
};
