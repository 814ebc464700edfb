// Tests of the exclusion filter: every station mode, range ends and order.
#include <gtest/gtest.h>

#include "filter.h"
#include "settings.h"

namespace {

void setbcd(uint8_t* b, uint32_t v)  // v written as hex digits, e.g. 0x000150
{
    b[0] = uint8_t(v >> 16);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v);
}

struct Case {
    uint8_t code;
    uint32_t lo, hi, station;
    int excluded;
};

TEST(Rejcall, StationModes)
{
    const Case cases[] = {
        // No -e, or bit 4 clear: nothing is excluded whatever the range.
        {0x00, 0x000150, 0x000150, 0x000150, 0},
        {0x04, 0x000150, 0x000150, 0x000150, 0},
        {0x08, 0x000150, 0x000150, 0x000149, 0},
        {0x0C, 0x000150, 0x000150, 0x000150, 0},
        // Station modes 0 and 3 exclude nothing.
        {0x10, 0x000150, 0x000150, 0x000150, 0},
        {0x1C, 0x000150, 0x000150, 0x000151, 0},
        // Mode 1 excludes inside the range, ends included.
        {0x14, 0x000150, 0x000150, 0x000150, 1},
        {0x14, 0x000150, 0x000150, 0x000149, 0},
        {0x14, 0x000150, 0x000150, 0x000151, 0},
        {0x14, 0x000100, 0x000199, 0x000100, 1},
        {0x14, 0x000100, 0x000199, 0x000199, 1},
        {0x14, 0x000100, 0x000199, 0x000200, 0},
        {0x14, 0x000099, 0x000100, 0x000099, 1},
        // Mode 2 excludes outside the range.
        {0x18, 0x000150, 0x000150, 0x000150, 0},
        {0x18, 0x000150, 0x000150, 0x000149, 1},
        {0x18, 0x000150, 0x000150, 0x000151, 1},
        {0x18, 0x000199, 0x001000, 0x000999, 0},
        {0x18, 0x000199, 0x001000, 0x000198, 1},
        // The usage text's example: filter on, mode 1; other bits ignored.
        {0x15, 0x000100, 0x000200, 0x000150, 1},
        {0x15, 0x000100, 0x000200, 0x000250, 0},
        {0xF5, 0x000100, 0x000200, 0x000150, 1},
        // The default range in mode 2 lets only station 000000 through.
        {0x18, 0x000000, 0x000000, 0x000000, 0},
        {0x18, 0x000000, 0x000000, 0x000001, 1},
        // Reversed ends mean the same range.
        {0x14, 0x000200, 0x000100, 0x000100, 1},
        {0x14, 0x000200, 0x000100, 0x000150, 1},
        {0x14, 0x000200, 0x000100, 0x000200, 1},
        {0x14, 0x000200, 0x000100, 0x000201, 0},
        {0x18, 0x000200, 0x000100, 0x000099, 1},
        {0x18, 0x000200, 0x000100, 0x000150, 0},
        // Digits compare across all three bytes.
        {0x14, 0x100000, 0x999999, 0x099999, 0},
        {0x14, 0x100000, 0x999999, 0x999999, 1},
    };
    for (const Case& c : cases) {
        opt.exclusion = c.code;
        setbcd(opt.stationlow, c.lo);
        setbcd(opt.stationhigh, c.hi);
        // The charge code and the call type never change the verdict.
        for (uint8_t type : {0x01, 0x81}) {
            for (uint8_t chg : {0x00, 0x12}) {
                callrec rec{};
                rec.calltype = type;
                setbcd(rec.station, c.station);
                rec.charge_lo[2] = chg;
                EXPECT_EQ(isexcluded(&rec), c.excluded)
                    << std::hex << "code " << int(c.code) << " range " << c.lo << "-" << c.hi
                    << " station " << c.station << " type " << int(type) << " chg "
                    << int(chg);
            }
        }
    }
    opt.exclusion = 0;
    setbcd(opt.stationlow, 0);
    setbcd(opt.stationhigh, 0);
}

TEST(Cmpbcd, OrdersAs24BitNumbers)
{
    const struct {
        uint32_t a, b;
        int want;
    } cases[] = {
        {0x000099, 0x000100, -1}, {0x000100, 0x000099, 1}, {0x000199, 0x001000, -1},
        {0x123456, 0x123456, 0},  {0x990000, 0x009999, 1}, {0x000000, 0x000001, -1},
    };
    for (const auto& c : cases) {
        uint8_t a[3], b[3];
        setbcd(a, c.a);
        setbcd(b, c.b);
        EXPECT_EQ(comparebcd(a, b), c.want) << std::hex << c.a << " vs " << c.b;
    }
}

}  // namespace
