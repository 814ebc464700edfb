// Tests of the CDR line, the FUJ9600Lt8 rewrite and the -X listing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cdrformat.h"
#include "settings.h"
#include "testutil.h"

namespace {

void put3(uint8_t* b, uint32_t hexdigits)
{
    b[0] = uint8_t(hexdigits >> 16);
    b[1] = uint8_t(hexdigits >> 8);
    b[2] = uint8_t(hexdigits);
}

struct Call {
    uint8_t type;
    uint32_t station, trunk;  // BCD written as hex digits
    const char* dialled;
    uint32_t start, duration;
    uint16_t meter;
    uint32_t chglo, chghi;
};

callrec make(const Call& c)
{
    callrec r{};
    r.calltype = c.type;
    put3(r.station, c.station);
    put3(r.trunk, c.trunk);
    put3(r.charge_lo, c.chglo);
    put3(r.charge_hi, c.chghi);
    r.start_lo[0] = uint8_t(c.start);
    r.start_lo[1] = uint8_t(c.start >> 8);
    r.start_lo[2] = uint8_t(c.start >> 16);
    r.start_hi = uint8_t(c.start >> 24);
    for (int i = 0; i < 4; i++)
        r.duration[i] = uint8_t(c.duration >> (8 * i));
    r.meter[0] = uint8_t(c.meter);
    r.meter[1] = uint8_t(c.meter >> 8);
    size_t n = strlen(c.dialled);
    memset(r.dialled, ' ', 24);
    memcpy(r.dialled + 24 - n, c.dialled, n);
    return r;
}

std::string line(const callrec& r)
{
    cdrline l = formatcdr(&r);
    EXPECT_EQ(strlen(l.text), l.len);
    return l.text;
}

class Cdrformat : public ::testing::Test {
protected:
    void SetUp() override
    {
        clocksetup();
        opt.trace = false;
        groupsofeight = false;
    }
    void TearDown() override
    {
        opt.trace = false;
        groupsofeight = false;
    }
};

const uint32_t T0 = utcticks(2024, 3, 15, 14, 30, 0);

TEST_F(Cdrformat, Formatcdr)
{
    const struct {
        Call call;
        const char* want;
    } cases[] = {
        {{0x01, 0x002345, 0x000012, "5551234", T0, 45, 3, 0, 0},
         ":2345|12|5551234|150324143300|45|3||01\n"},
        // Bit 7: the trunk is the first party.
        {{0x81, 0x002345, 0x000012, "", T0, 45, 3, 0, 0}, ":12|2345||150324143300|45|3||81\n"},
        {{0xC2, 0x000120, 0x000012, "", T0, 1, 0, 0, 0}, ":12|120||150324143004|1|||c2\n"},
        {{0x89, 0x000120, 0x000777, "", T0, 1, 0, 0, 0}, ":777|120||150324143004|1|||89\n"},
        {{0xC1, 0x000120, 0x000012, "", T0, 1, 0, 0, 0}, ":12|120||150324143004|1|||c1\n"},
        {{0x41, 0x000120, 0x000012, "9", T0, 1, 0, 0, 0}, ":120|12|9|150324143004|1|||41\n"},
        // Empty fields; the high half of a charge code never shows.
        {{0x01, 0, 0, "", T0, 0, 0, 0, 0x123456}, ":|||150324143000||||01\n"},
        // Meter: only the low 13 bits; charge: the low six digits unpadded.
        {{0x01, 0x000001, 0x000002, "", T0, 0, 0xE005, 0x001230, 0x000099},
         ":1|2||150324143000||5|1230|01\n"},
        {{0x01, 0x000001, 0x000002, "", T0, 0, 0x1FFF, 0x999999, 0}, ":1|2||150324143000||8191|999999|01\n"},
        // Nibbles above 9 are letters, not zeros.
        {{0x01, 0x000A01, 0x0B0000, "", T0, 0, 0, 0x00000C, 0}, ":A01|B0000||150324143000|||C|01\n"},
        // A full dialled field and the longest duration a writer stores.
        {{0x01, 0x999999, 0x999999, "123456789012345678901234", T0, 65535, 8191, 0x999999, 0},
         ":999999|999999|123456789012345678901234|180324151900|65535|8191|999999|01\n"},
        // The year rule.
        {{0x01, 1, 2, "", utcticks(1999, 6, 1, 8, 0, 0), 0, 0, 0, 0}, ":1|2||010699080000||||01\n"},
        {{0x01, 1, 2, "", utcticks(2000, 6, 1, 8, 0, 0), 0, 0, 0, 0}, ":1|2||010600080000||||01\n"},
        {{0x01, 1, 2, "", utcticks(1984, 3, 1, 0, 0, 0), 0, 0, 0, 0}, ":1|2||010384000000||||01\n"},
        {{0x01, 1, 2, "", utcticks(2100, 1, 1, 0, 0, 0), 0, 0, 0, 0}, ":1|2||0101100000000||||01\n"},
        // The date is the call's end: 23:59 on 31 December 1999 + 2 minutes.
        {{0x01, 1, 2, "", utcticks(1999, 12, 31, 23, 59, 0), 30, 0, 0, 0},
         ":1|2||010100000100|30|||01\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(line(make(c.call)), c.want) << c.want;
}

TEST_F(Cdrformat, FormatcdrTrace)
{
    opt.trace = true;
    callrec r = make({0x01, 0x002345, 0x000012, "5551234", T0, 45, 3, 0, 0});
    testing::internal::CaptureStderr();
    line(r);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "formcall(): [:2345|12|5551234|150324143300|45|3||01\n");
}

// A damaged record without the NUL after its dialled digits still gives a
// line of at most 24 dialled characters.
TEST_F(Cdrformat, DialledFieldWithoutNul)
{
    for (const char* dialled : {"5551234", ""}) {
        callrec r = make({0x01, 1, 2, dialled, T0, 0, 0, 0, 0});
        r.dialled[24] = '9';
        r.spare2 = '9';
        EXPECT_EQ(line(r), std::string(":1|2|") + dialled + "|150324143000||||01\n");
    }
}

TEST_F(Cdrformat, FujTag)
{
    EXPECT_TRUE(groupsofeighttag("3.11 FUJ9600Lt8 #1 "));
    EXPECT_FALSE(groupsofeighttag("3.11 SL1X11RX   #19"));
    EXPECT_FALSE(groupsofeighttag("3.11 SL1X       #2 "));
    EXPECT_FALSE(groupsofeighttag("3.1 FUJ9600Lt8 #1  "));
    EXPECT_FALSE(groupsofeighttag("3.11 FUJ9600Lt"));
    EXPECT_FALSE(groupsofeighttag("3.11 TESTDEC     #0"));
}

TEST_F(Cdrformat, NoRewriteWithoutTheTag)
{
    char number[8] = " 123456";
    regroup(number);
    EXPECT_STREQ(number, " 123456");
    EXPECT_FALSE(groupsofeight);
    EXPECT_EQ(line(make({0x03, 0x120345, 0x120345, "", T0, 0, 0, 0, 0})),
              ":120345|120345||150324143000||||03\n");
}

// Once the latch is set the rewrite runs without looking at the tag, which
// is how a FUJ9600Lt8 build behaves after its first trunk number.
TEST_F(Cdrformat, FujRewrite)
{
    groupsofeight = true;
    const struct {
        const char* in;
        const char* want;
    } cases[] = {
        {" 123456", "1163456"}, {" 012345", "0082345"}, {" 120345", "1160345"},
        {" 200345", "2000345"}, {" 000001", "0000001"}, {" 970000", "9970000"},
        {" 113456", "1083456"}, {" 131111", "1241111"}, {" 3A0000", "33A0000"},
    };
    for (const auto& c : cases) {
        char number[8];
        strcpy(number, c.in);
        regroup(number);
        EXPECT_STREQ(number, c.want) << c.in;
    }

    const struct {
        Call call;
        const char* want;
    } lines[] = {
        {{0x01, 0x120345, 0x120345, "", T0, 0, 0, 0, 0}, ":120345|1160345||150324143000||||01\n"},
        {{0x81, 0x120345, 0x200345, "", T0, 0, 0, 0, 0}, ":2000345|120345||150324143000||||81\n"},
        {{0x03, 0x120345, 0x000001, "", T0, 0, 0, 0, 0}, ":1160345|1||150324143000||||03\n"},
        {{0x43, 0x012345, 0x970000, "", T0, 0, 0, 0, 0}, ":82345|9970000||150324143000||||43\n"},
    };
    for (const auto& c : lines)
        EXPECT_EQ(line(make(c.call)), c.want) << c.want;
}

TEST_F(Cdrformat, FujTrace)
{
    groupsofeight = true;
    opt.trace = true;
    char number[8] = " 123456";
    testing::internal::CaptureStderr();
    regroup(number);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "isfuj9600l=1 Before [ 123456] len(iostr+1)=6  After [1163456]\n");
}

TEST_F(Cdrformat, Listcall)
{
    callrec r = make({0x01, 0x002345, 0x000012, "5551234", T0, 45, 3, 0x345678, 0x000012});
    testing::internal::CaptureStderr();
    listcall(&r);
    std::string blanks17;
    for (int i = 0; i < 17; i++)
        blanks17 += " 20";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              " 12 01 03 00 2d 00 00 00 fa 1e d4 00 00 12 34 56\n"
              " 78 00 23 45 00 00 12 00 00 00" + blanks17 + " 35 35 35 31 32 33 34 00 00"
              "\n  DATE      TIME TYPE METER  DURATION                  DIALLED  TRUNK  CHARGE-CODE STATION\n"
              "15-MAR-24  14:30  01   0003      3:00                  5551234     12     12345678   2345\n");
}

}  // namespace
