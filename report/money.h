// Amounts of money, kept exact: whole ten-thousandths of the currency unit
// in a 64-bit integer, never a floating-point number.
#pragma once

#include <string>
#include <string_view>

using Money = long long;
constexpr Money UNIT = 10000;

// A decimal with up to four places ("12", "0.09", "1.2345"), not negative,
// at most max. False for anything else.
bool parsemoney(std::string_view s, Money max, Money& v);

// Two places, rounded half up (as the page prints amounts); four places,
// exact (as the CSV files write them).
std::string money2(Money v);
std::string money4(Money v);

// sum += v; a sum beyond the 64-bit range throws std::overflow_error.
void addmoney(Money& sum, Money v);
