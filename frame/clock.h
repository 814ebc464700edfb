// The tick clock. Ticks are 4-second steps since 1 March 1984, local time:
// the packed record's times and durations are ticks. A datetime is a local
// date and time broken down as the exchange prints it.
#pragma once

#include <cstdint>
#include <ctime>

struct datetime {
    uint8_t year;    // years since 1984
    uint8_t month;   // 0 = January
    uint8_t date;    // day of the month, 0-based
    uint8_t day;     // weekday, 0 = Thursday
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
};
static_assert(sizeof(datetime) == 7, "a datetime is 7 bytes");

// Pins the host's zone and measures the tick epoch in it; before the first
// conversion.
void clocksetup();
// Follows a change of the host's zone, once a minute (the status line).
void zonerefresh();

// Reads the host clock into t; cheap when the second has not changed.
void readclock(datetime* t);
time_t clocksecs();              // the host time at the last reading
const struct tm& clocktm();      // the same, broken down

uint32_t toticks(const datetime* t);          // fields out of range count on
time_t tickstime(uint32_t ticks);             // the host time (Unix seconds) of a tick
void fromticks(uint32_t ticks, datetime* t);
void totm(const datetime* t, struct tm* tm);
void fromtm(const struct tm* tm, datetime* t);

// Display texts; each lives until the next call of the same function.
char* datetext(uint32_t ticks);       // " 6-DEC-26   2:55", or the time alone within the first day
char* durationtext(uint32_t ticks);   // "59:56", " 1:00:00"
const char* monthname(int16_t month); // "JAN".."DEC", "HUH" out of range
