// Parsing, printing and adding amounts in ten-thousandths.
#include "money.h"

#include <cstdio>
#include <stdexcept>

bool parsemoney(std::string_view s, Money max, Money& v)
{
    size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    std::string_view frac = dot == s.npos ? std::string_view() : s.substr(dot + 1);
    if ((whole.empty() && frac.empty()) || frac.size() > 4 || (dot != s.npos && frac.empty()) ||
        whole.size() > 12)
        return false;
    v = 0;
    for (char c : whole) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    Money f = 0;
    for (size_t i = 0; i < 4; i++) {
        char c = i < frac.size() ? frac[i] : '0';
        if (c < '0' || c > '9')
            return false;
        f = f * 10 + (c - '0');
    }
    v = v * UNIT + f;
    return v <= max;
}

std::string money2(Money v)
{
    bool neg = v < 0;
    unsigned long long a = neg ? 0ull - (unsigned long long)v : (unsigned long long)v;
    a = (a + 50) / 100;
    char b[40];
    std::snprintf(b, sizeof b, "%s%llu.%02llu", neg ? "-" : "", a / 100, a % 100);
    return b;
}

std::string money4(Money v)
{
    bool neg = v < 0;
    unsigned long long a = neg ? 0ull - (unsigned long long)v : (unsigned long long)v;
    char b[40];
    std::snprintf(b, sizeof b, "%s%llu.%04llu", neg ? "-" : "", a / 10000, a % 10000);
    return b;
}

void addmoney(Money& sum, Money v)
{
    if (__builtin_add_overflow(sum, v, &sum))
        throw std::overflow_error("amounts too large to add up");
}
