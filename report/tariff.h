// Rating: the tariff's prefixes in a digit tree, the longest prefix of the
// dialled digits choosing the rate, and the cost of a call under a rate.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "money.h"

// What the optional column "watch" of a rate says: an outgoing call to it
// outside business hours goes on the watch list.
enum class Watch { None, International, Premium };

struct Rate {
    std::string prefix;
    int label;         // index into Tariff::labels()
    Money setup;
    Money per_minute;
    int increment;     // seconds, at least 1
    Watch watch;
};

// setup + per_minute x the seconds rounded up to the increment, the part
// minute rounded half up to a whole ten-thousandth.
Money callcost(const Rate& r, long seconds);

class Tariff {
public:
    // Reads a tariff CSV (prefix,label,setup,per_minute,increment_seconds
    // and optionally watch); name is used in messages. Throws InputError.
    void load(std::istream& in, const std::string& name);

    // The rate of the longest prefix of digits, or nullptr.
    const Rate* match(std::string_view digits) const;

    const std::vector<std::string>& labels() const { return labels_; }

private:
    struct Node {
        int child[10];
        int rate;  // index into rates_, -1 when no prefix ends here
    };
    std::vector<Node> nodes_{Node{{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}, -1}};
    std::vector<Rate> rates_;
    std::vector<std::string> labels_;
};

// The largest setup, price a minute or pulse price taken: keeps the sum of
// a busy exchange's year far inside 64 bits.
constexpr Money MAXPRICE = 10000 * UNIT;
