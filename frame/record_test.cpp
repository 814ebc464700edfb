// Tests of the packed-record codecs: BCD, the charge split, dialled digits,
// fixed-width fields and the byte layout the -X listing shows.
#include "record.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

using bytes3 = std::array<uint8_t, 3>;

static bytes3 arr(const uint8_t* p) { return {p[0], p[1], p[2]}; }

TEST(Record, Packbcd)
{
    struct {
        const char* txt;
        int len;
        bytes3 want;
    } cases[] = {
        {"123", 3, {0x00, 0x01, 0x23}},
        {"12-34", 5, {0x00, 0x12, 0x34}},
        {"1234567", 7, {0x12, 0x34, 0x56}},   // the first six, not the last six
        {"999999", 0, {0x00, 0x00, 0x00}},
        {"999999", -3, {0x00, 0x00, 0x00}},
        {"12345", 3, {0x00, 0x01, 0x23}},
    };
    for (const auto& c : cases) {
        uint8_t dst[3] = {0xff, 0xff, 0xff};
        packbcd(dst, c.txt, c.len);
        EXPECT_EQ(arr(dst), c.want) << c.txt << " len " << c.len;
    }
}

TEST(Record, BcdtextAndBcdnumber)
{
    struct {
        bytes3 bcd;
        const char* full;
        const char* trimmed;
    } cases[] = {
        {{0x00, 0x00, 0x00}, "000000", "0"},
        {{0x00, 0x01, 0x20}, "000120", "120"},
        {{0x00, 0x0A, 0x01}, "000A01", "A01"},
        {{0xFE, 0xDC, 0xBA}, "FEDCBA", "FEDCBA"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(bcdtext(c.bcd.data()), c.full);
        EXPECT_STREQ(bcdnumber(c.bcd.data()), c.trimmed);
    }
}

TEST(Record, SetchargeAndChargetext)
{
    struct {
        signed char model;
        const char* code;
        uint8_t len;
        bytes3 hi, lo;
        const char* joined;
    } cases[] = {
        {1, "12345678", 8, {0x00, 0x00, 0x12}, {0x34, 0x56, 0x78}, "12345678"},
        {1, "123456789012", 12, {0x12, 0x34, 0x56}, {0x78, 0x90, 0x12}, "123456789012"},
        {0, "12345678", 8, {0x00, 0x00, 0x00}, {0x12, 0x34, 0x56}, "123456"},
        {1, "1234567890  ", 12, {0x00, 0x12, 0x34}, {0x56, 0x78, 0x90}, "1234567890"},
        {1, "4711        ", 12, {0x00, 0x00, 0x00}, {0x00, 0x47, 0x11}, "4711"},
        // A blank or dash among the digits no longer shifts the cut.
        {1, "12 345678901", 12, {0x01, 0x23, 0x45}, {0x67, 0x89, 0x01}, "12345678901"},
        {1, "12-34-56-78", 11, {0x00, 0x00, 0x12}, {0x34, 0x56, 0x78}, "12345678"},
        // At most twelve digits, the first twelve.
        {1, "1234567890123", 13, {0x12, 0x34, 0x56}, {0x78, 0x90, 0x12}, "123456789012"},
        {1, "12345678", 0, {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00}, ""},
        {1, "------", 6, {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00}, ""},
    };
    bool saved = opt.longcodes;
    for (const auto& c : cases) {
        opt.longcodes = c.model;
        callrec rec;
        std::memset(&rec, 0xee, sizeof rec);
        setcharge(&rec, c.code, c.len);
        EXPECT_EQ(arr(rec.charge_hi), c.hi) << c.code;
        EXPECT_EQ(arr(rec.charge_lo), c.lo) << c.code;
        EXPECT_STREQ(chargetext(&rec), c.joined) << c.code;
    }
    opt.longcodes = saved;
}

TEST(Record, Setdialled)
{
    std::string thirty = "123456789012345678901234567890";
    struct {
        std::string src;
        uint8_t count;
        std::string want;
    } cases[] = {
        {"5551234", 7, std::string(17, ' ') + "5551234"},
        {"5551234", 0, std::string(24, ' ')},
        {thirty, 30, thirty.substr(6)},
        {"55-12#4", 7, std::string(19, ' ') + "55124"},   // a non-digit uses up the count
    };
    for (const auto& c : cases) {
        char dialled[25];
        std::memset(dialled, 'x', sizeof dialled);
        setdialled(dialled, c.src.data() + c.src.size() - 1, c.count);
        EXPECT_EQ(std::string(dialled), c.want) << c.src;
        EXPECT_EQ(dialled[24], '\0');
    }
}

TEST(Record, FieldcopyAndFieldvalue)
{
    const char txt[] = "ab\0cd";
    char* s = fieldcopy(txt, 1, 4);
    EXPECT_EQ(std::memcmp(s, "b\0cd\0", 5), 0);   // copies through NUL, then ends

    struct {
        const char* field;
        uint16_t width;
        uint16_t want;
    } cases[] = {
        {"07", 2, 7}, {" 7", 2, 7}, {"7:", 2, 7}, {"--", 2, 0}, {"12345", 2, 12},
        {"-1", 2, 0xffff}, {"65537", 5, 1}, {"", 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fieldvalue(c.field, c.width), c.want) << '"' << c.field << '"';
}

TEST(Record, StartDurationMeterLayout)
{
    callrec rec{};
    rec.start_lo[0] = 0xCF;
    rec.start_lo[1] = 0x3B;
    rec.start_lo[2] = 0x1C;
    rec.start_hi = 0x14;
    EXPECT_EQ(getstart(&rec), 337394639u);

    callrec w{};
    setstart(&w, 337394639u);
    EXPECT_EQ(std::memcmp(&w, &rec, sizeof w), 0);

    struct {
        uint32_t ticks;
        std::array<uint8_t, 4> want;
    } durs[] = {
        {80 * 900, {0xff, 0xff, 0, 0}},
        {65535, {0xff, 0xff, 0, 0}},
        {258, {0x02, 0x01, 0, 0}},
    };
    for (const auto& d : durs) {
        callrec r{};
        setduration(&r, d.ticks);
        std::array<uint8_t, 4> got = {r.duration[0], r.duration[1], r.duration[2], r.duration[3]};
        EXPECT_EQ(got, d.want) << d.ticks;
        EXPECT_EQ(getduration(&r), d.ticks > 65535 ? 65535u : d.ticks);
    }

    callrec m{};
    setmeter(&m, 0x1234);
    EXPECT_EQ(m.meter[0], 0x34);
    m.meter[1] = 0xff;   // the top three bits are never read
    EXPECT_EQ(getmeter(&m), 0x1f34);
}
