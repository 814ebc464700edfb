// Conversions between civil dates and day counts (the proleptic Gregorian
// calendar), and the fixed-width texts of the database.
#include "civil.h"

#include <cstdio>

long long daysfromcivil(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilfromdays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

namespace {

bool digits(std::string_view s, size_t at, size_t n, int& v)
{
    v = 0;
    for (size_t i = at; i < at + n; i++) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    return true;
}

}  // namespace

bool parsedate(std::string_view s, long long& days)
{
    int y, m, d;
    if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !digits(s, 0, 4, y) ||
        !digits(s, 5, 2, m) || !digits(s, 8, 2, d) || m < 1 || m > 12 || d < 1)
        return false;
    days = daysfromcivil(y, m, d);
    int y2, m2, d2;
    civilfromdays(days, y2, m2, d2);
    return m2 == m && d2 == d;  // 31 April is no date
}

bool parsestamp(std::string_view s, long long& secs)
{
    long long days;
    int h, mi, se;
    if (s.size() != 19 || s[10] != ' ' || s[13] != ':' || s[16] != ':' ||
        !parsedate(s.substr(0, 10), days) || !digits(s, 11, 2, h) || !digits(s, 14, 2, mi) ||
        !digits(s, 17, 2, se) || h > 23 || mi > 59 || se > 59)
        return false;
    secs = days * DAY + h * 3600 + mi * 60 + se;
    return true;
}

std::string datetext(long long days)
{
    int y, m, d;
    civilfromdays(days, y, m, d);
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", y, m, d);
    return b;
}

std::string stamptext(long long secs)
{
    long long s = secs - floordiv(secs, DAY) * DAY;
    char b[64];
    std::snprintf(b, sizeof b, " %02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return datetext(floordiv(secs, DAY)) + b;
}

std::string clocktext(long long secs)
{
    long long s = secs - floordiv(secs, DAY) * DAY;
    char b[48];
    std::snprintf(b, sizeof b, "%02lld:%02lld", s / 3600, s / 60 % 60);
    return b;
}
