// Dates and times of the exchange's local clock as the database stores
// them ("YYYY-MM-DD hh:mm:ss", no zone), counted in seconds and days from
// 1970-01-01 of that same clock; no time zone is ever applied.
#pragma once

#include <string>
#include <string_view>

constexpr long long DAY = 86400;
constexpr int QUARTER = 900;
constexpr int QUARTERS = 96;  // a day's quarter hours

long long daysfromcivil(int y, int m, int d);
void civilfromdays(long long days, int& y, int& m, int& d);

// "YYYY-MM-DD" of a real date, to days.
bool parsedate(std::string_view s, long long& days);
// "YYYY-MM-DD hh:mm:ss", to seconds.
bool parsestamp(std::string_view s, long long& secs);

std::string datetext(long long days);      // YYYY-MM-DD
std::string stamptext(long long secs);     // YYYY-MM-DD hh:mm:ss
std::string clocktext(long long secs);     // hh:mm of the day

// Monday 0 to Sunday 6.
inline int weekday(long long days) { return int(((days + 3) % 7 + 7) % 7); }

// Floor division, for times before 1970 too.
inline long long floordiv(long long a, long long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
