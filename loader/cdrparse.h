// The CDR line as the packers write it, read back into typed fields:
// :first|second|dialled|DDMMYYhhmmss|duration|meter|charge|type
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// No line parse_cdr accepts is longer than 79 bytes without its line feed.
// A line longer than this is bad whatever it holds, and is never held whole.
constexpr std::size_t MAXLINE = 256;

// The hour an hourly file holds, from its name: every line in it ends then.
struct Hour {
    int year;    // four digits
    int month;   // 1-12
    int day;     // 1-31
    int hour;    // 0-23
};

// A line's fields, digits only; the texts are views into the line read.
struct CdrRow {
    std::string_view first, second;  // parties as printed; empty when none
    std::string_view dialled;
    long long end;              // seconds since 1970-01-01 00:00:00 of the local clock
    long duration;              // seconds
    long meter;                 // pulses
    std::string_view charge;
    int type;
    const char* direction;      // out, in, tandem or internal
    bool assisted;

    // The call's fields as one text, to tell one call from another.
    std::string key() const;
};

// Reads one line, without its line feed, from the file of hour h. Returns
// nullptr and fills row, whose texts point into line, or the reason the
// line cannot be read.
const char* parse_cdr(std::string_view line, const Hour& h, CdrRow& row);
