// Helpers shared by the frame's unit tests.
#pragma once

#include <cstdint>
#include <ctime>

// Jul ticks of a UTC date and time (the tests run under TZ=UTC).
inline uint32_t utcticks(int y, int mon, int d, int h, int mi, int s)
{
    struct tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    struct tm ep {};
    ep.tm_year = 84;
    ep.tm_mon = 2;
    ep.tm_mday = 1;
    return uint32_t((timegm(&tm) - timegm(&ep)) / 4);
}
