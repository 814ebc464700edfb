// The seeded random numbers of the test tools: splitmix64, small, fast and
// the same everywhere, unlike <random>'s distributions.
#pragma once

#include <cstdint>

struct Rng {
    uint64_t s;
    uint64_t next()
    {
        uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }
    bool chance(unsigned perthousand) { return below(1000) < perthousand; }
};
