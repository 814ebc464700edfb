// The heaviest keys of a stream (dialled numbers by calls or by cost) in
// bounded memory. Up to `capacity` distinct keys every figure is exact.
// Beyond it the lightest key gives way to the new one, which inherits its
// weight as a possible overstatement (the Space-Saving summary of Metwally,
// Agrawal and El Abbadi): any key heavier than the weight of all keys over
// capacity stays in it, and no weight is overstated by more than error().
#pragma once

#include <array>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "money.h"

class TopKeys {
public:
    static constexpr size_t KEYLEN = 24;  // the dialled digits' most

    // What the keys are weighed by: a call counts 1, or its cost.
    enum class By { Calls, Cost };

    // The entries are made once: the index views their keys in place.
    TopKeys(size_t capacity, By by) : cap_(capacity), by_(by)
    {
        entries_.reserve(capacity);
        heap_.reserve(capacity);
        where_.reserve(capacity);
        pos_.reserve(capacity);
    }

    struct Entry {
        std::array<char, KEYLEN> key;
        unsigned char len;
        long long weight;   // its calls or cost and the weight of the key it replaced
        long calls;         // since the key came in; in top() the weight when by calls
        long long seconds;  // since the key came in
        Money cost;         // since the key came in; in top() the weight when by cost
        std::string_view name() const { return {key.data(), len}; }
    };

    // A call of key. A key not yet held that weighs nothing is not taken in.
    void add(std::string_view key, long seconds, Money cost);
    // The n heaviest, heaviest first (equal weights by key), the figure
    // they are weighed by being the weight: never below the key's, and
    // overstated by at most error(). The other two count the calls since
    // the key came in.
    std::vector<Entry> top(size_t n) const;
    // The most any weight may be overstated: 0 while no key gave way.
    long long error() const { return error_; }

private:
    void siftdown(size_t i);
    void siftup(size_t i);
    bool lighter(size_t a, size_t b) const;
    void swap(size_t a, size_t b);

    size_t cap_;
    By by_;
    std::vector<Entry> entries_;
    std::vector<unsigned> heap_;     // entry indices, lightest first
    std::vector<unsigned> where_;    // entry index -> place in heap_
    std::unordered_map<std::string_view, unsigned> pos_;  // key (viewing the entry) -> index
    long long error_ = 0;
};
