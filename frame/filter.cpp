// Exclusion filter: decides by the -e code and the -l/-h station range
// whether a packed call is left out of the CDR output.
#include "filter.h"

#include "settings.h"

// Three BCD bytes read as one 24-bit number; for valid BCD this is the
// order of the six-digit decimal numbers.
static uint32_t bcdval(const uint8_t* b)
{
    return uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
}

int comparebcd(const uint8_t* a, const uint8_t* b)
{
    uint32_t x = bcdval(a), y = bcdval(b);
    return x < y ? -1 : x > y;
}

// Either end may be the lower one: users type -l and -h in both orders and
// mean the same stations. Both ends belong to the range.
static bool inrange(const uint8_t* num, const uint8_t* lo, const uint8_t* hi)
{
    if (comparebcd(lo, hi) > 0) {
        const uint8_t* t = lo;
        lo = hi;
        hi = t;
    }
    return comparebcd(num, lo) >= 0 && comparebcd(num, hi) <= 0;
}

// Bit 4 of the exclusion code switches the filter on; bits 3-2 give the
// station mode: 1 excludes the stations inside the range, 2 those outside
// it. The charge code never takes part in the verdict.
bool isexcluded(const callrec* rec)
{
    if (!(opt.exclusion & 0x10))
        return false;
    switch ((opt.exclusion >> 2) & 3) {
    case 1:
        return inrange(rec->station, opt.stationlow, opt.stationhigh);
    case 2:
        return !inrange(rec->station, opt.stationlow, opt.stationhigh);
    default:
        return false;
    }
}
