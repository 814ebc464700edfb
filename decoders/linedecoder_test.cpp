// Tests of the shared decoding machine, driven through the RX layout.
#include "dectest.h"
#include "testutil.h"

namespace {

// An RX call line: parties in columns 0-23, then date, duration and the rest
// from column 57; shift is 12 on an "L" line.
std::string rx(const std::string& parties, const std::string& tail = " 90025551234",
               const std::string& dur = "00:03:20", const std::string& date = "12/06 09:15",
               int shift = 0)
{
    std::string s = parties;
    s.resize(37 + shift, ' ');
    return s + date + " " + dur + tail;
}

const std::string DT = "N 001 00 D2101   T004012";    // station 2101 dials out on trunk 4012
const std::string TD = "N 002 00 T004013 D2102";      // incoming on trunk 4013 to 2102
const std::string LDT = "L" + DT.substr(1);

std::string meterline(const std::string& m) { return std::string(24, ' ') + " " + m + " "; }

using Machine = DecoderTest;

TEST_F(Machine, DecodesACallAndItsMeterLine)
{
    EXPECT_EQ(feed(rx(DT)), 0);
    ASSERT_EQ(feed(meterline("00003")), 1);
    EXPECT_EQ(packed.calltype, 0x01);
    EXPECT_EQ(bcd(packed.station), "002101");
    EXPECT_EQ(bcd(packed.trunk), "004012");
    EXPECT_EQ(getstart(&packed), 337400325u);   // 6 Dec 2026 09:15:00
    EXPECT_EQ(getduration(&packed), 50u);
    EXPECT_EQ(getmeter(&packed), 3);
    EXPECT_EQ(dial(packed), rjust("5551234"));  // 9002 is the access code
    EXPECT_EQ(rejectedlines, 0u);
}

// Each line arrives with a call held: that call is always released, and the
// line itself is held, rejected or dropped.
TEST_F(Machine, RecordLineRules)
{
    struct { const char* name; std::string line; int rej, held; } cases[] = {
        {"call", rx(DT), 0, 1},
        {"call line after call line", rx(TD), 0, 1},
        {"no colon", rx(DT, " 90025551234", "00:03:20", "12/06 0915 "), 1, 0},
        {"unknown record letter", rx("Q" + DT.substr(1)), 0, 0},
        {"first party no letter", rx("N 001 00 X2101   T004012"), 1, 0},
        {"first party blank", rx("N 001 00  2101   T004012"), 1, 0},
        {"no call type", rx("N 001 00 D2101   C004012"), 0, 0},
        {"second party other", rx("N 001 00 T004012 X2101"), 0, 0},
        {"day 00", rx(DT, " 90025551234", "00:03:20", "12/00 09:15"), 1, 0},
        {"day blank", rx(DT, " 90025551234", "00:03:20", "12/   09:15"), 1, 0},
        {"only access digits", rx(DT, " 9002"), 1, 0},
        {"ends before duration", rx(DT).substr(0, 48), 1, 0},
        {"incoming ends before duration", rx(TD).substr(0, 48), 0, 1},
        {"full line ending in its slash", std::string(254, '-') + "/", 1, 0},
    };
    for (auto& c : cases) {
        linereset();
        rejectedlines = 0;
        feed(rx("N 003 00 T004099 D2103"));
        EXPECT_EQ(feed(c.line), 1) << c.name;
        EXPECT_EQ(bcd(packed.trunk), "004099") << c.name;
        EXPECT_EQ(rejectedlines, static_cast<uint32_t>(c.rej)) << c.name;
        EXPECT_EQ(lineholding(), bool(c.held)) << c.name;
    }
    feed(rx(TD).substr(0, 48));
    ASSERT_EQ(drain(), 1);
    EXPECT_EQ(getduration(&packed), 0u) << "a missing duration reads as blanks";
}

TEST_F(Machine, ContinuationLines)
{
    struct { std::string line; bool held; uint16_t meter; int rej; } cases[] = {
        {meterline("00003"), true, 3, 0},
        {meterline("99999"), true, 1695, 0},
        {meterline("0000x"), true, 0, 0},
        {"no slash here at all", true, 0, 0},
        {std::string(24, ' '), true, 0, 0},   // meter field beyond the line end
        {"12/06" + std::string(21, ' ') + " 00007 ", true, 7, 0},   // counted from the "/"
        {meterline("00003"), false, 0, 1},
        {meterline("0000x"), false, 0, 0},
    };
    for (auto& c : cases) {
        linereset();
        rejectedlines = 0;
        if (c.held)
            feed(rx(DT));
        EXPECT_EQ(feed(c.line), c.held ? 1 : 0) << c.line;
        if (c.held) {
            EXPECT_EQ(getmeter(&packed), c.meter) << c.line;
        }
        EXPECT_EQ(rejectedlines, static_cast<uint32_t>(c.rej)) << c.line;
        EXPECT_FALSE(lineholding()) << c.line;
    }
}

TEST_F(Machine, PartyLettersAndCallTypes)
{
    struct { std::string parties; int type; const char* station; const char* trunk; } cases[] = {
        {"N 001 00 C2101   T004012", 0x01, "002101", "004012"},
        {"N 001 00 AT01    T004012", 0x02, "000001", "004012"},   // attendant stays "A"
        {"N 001 00 T004011 T004012", 0x03, "004011", "004012"},
        {"N 001 00 T004012 C2101", 0x81, "002101", "004012"},
        {"N 001 00 T004012 ATT01", 0x82, "000001", "004012"},
        {"N 001 00 D2101   D2102", 0x89, "002102", "002101"},
        {"N 001 00 D2101   AT01", 0x89, "000001", "002101"},
        {"N 001 00 A004011 T004012", 0x43, "004011", "004012"},   // "A" then a digit: a trunk
        {"N 001 00 D2101   A004012", 0x41, "002101", "004012"},
        {"N 001 00 2101    T004012", 0x01, "002101", "004012"},   // bare number
        {"N 001 00 1234567 T004012", 0x01, "123456", "004012"},   // its seventh digit is lost
        {"N 001 00 T004012 2101", 0x81, "002101", "004012"},
    };
    for (auto& c : cases) {
        feed(rx(c.parties));
        ASSERT_EQ(drain(), 1) << c.parties;
        EXPECT_EQ(packed.calltype, c.type) << c.parties;
        EXPECT_EQ(bcd(packed.station), c.station) << c.parties;
        EXPECT_EQ(bcd(packed.trunk), c.trunk) << c.parties;
        EXPECT_EQ(dial(packed), c.type & 0x80 ? rjust("") : rjust("5551234")) << c.parties;
    }
}

TEST_F(Machine, DurationsAndDigitFields)
{
    struct { uint8_t mask; std::string dur, tail; uint32_t ticks; std::string digits; } cases[] = {
        {4, "99:59:59", " 5551234", 65535, "5551234"},
        {4, "00:00:03", " 5551234", 0, "5551234"},
        {4, "00:01:00", " 5551234", 15, "5551234"},
        {4, "01:00:00", " 555-1234 #", 900, "5551234"},
        {4, "00:00:00", ".125551234", 0, "5551234"},   // "." skips two columns
        {4, "00:00:00", " 123456789012345678901234567890", 0, "123456789012345678901234"},
        {4, "00:00:00", " 90025", 0, "90025"},
        {0, "00:00:00", " 90025", 0, "5"},
    };
    for (auto& c : cases) {
        opt.maskparity = c.mask;
        feed(rx(DT, c.tail, c.dur));
        ASSERT_EQ(drain(), 1) << c.dur << c.tail;
        EXPECT_EQ(getduration(&packed), c.ticks) << c.dur;
        EXPECT_EQ(dial(packed), rjust(c.digits)) << c.tail;
    }
}

TEST_F(Machine, RecordIsPlacedByItsLastSlash)
{
    std::string nul = rx(DT);
    nul.insert(30, 3, '\0');
    nul.insert(5, 1, '\0');
    const std::string lines[] = {
        std::string(180, '#') + rx(DT),   // noise before the record letter, past 127
        LDT + std::string(25, ' ') + "12/06 09:15 00:03:20 90025551234",   // "L" unshifted
        rx(LDT, " 90025551234", "00:03:20", "12/06 09:15", 12),
        std::string(150, '-') + rx(LDT, " 90025551234", "00:03:20", "12/06 09:15", 12),
        nul,   // NUL bytes do not count as columns
    };
    for (auto& line : lines) {
        feed(line);
        ASSERT_EQ(drain(), 1) << line;
        EXPECT_EQ(getstart(&packed), 337400325u) << line;
        EXPECT_EQ(getduration(&packed), 50u) << line;
        EXPECT_EQ(bcd(packed.station), "002101") << line;
        EXPECT_EQ(dial(packed), rjust("5551234")) << line;
    }
}

// A line carries no year: it takes the host's, or the nearer one across New
// Year (the PABX's clock and ours need not turn the year together).
TEST_F(Machine, YearOfALine)
{
    struct { int hostyear, hostmonth; const char* date; int year; } cases[] = {
        {2027, 0, "12/31 23:58", 2026},
        {2027, 0, "01/01 00:10", 2027},
        {2026, 11, "01/01 00:10", 2027},
        {2026, 11, "12/31 23:58", 2026},
        {2027, 1, "12/31 23:58", 2027},   // only January looks back
        {2026, 10, "01/01 00:10", 2026},  // only December looks ahead
    };
    for (auto& c : cases) {
        linereset();
        hostnow = datetime{uint8_t(c.hostyear - 1984), uint8_t(c.hostmonth), 0, 0, 0, 5, 0};
        feed(rx(DT, " 90025551234", "00:03:20", c.date));
        ASSERT_EQ(drain(), 1) << c.date;
        datetime t;
        fromticks(getstart(&packed), &t);
        EXPECT_EQ(t.year + 1984, c.year) << c.hostyear << "/" << c.hostmonth << " " << c.date;
    }
}

// A held call is judged by the time its own line came, not by the time of
// the line that releases it nor of the drain.
TEST_F(Machine, HeldCallKeepsItsOwnArrival)
{
    opt.checktime = true;
    timecheck.lastend = 0;
    feed(rx(DT, " 90025551234", "00:03:20", "12/07 09:55"));
    hostnow.date += 4;   // four quiet days later
    feed(rx(TD, "", "00:01:00", "12/11 10:00"));
    EXPECT_EQ(timecheck.verdict, 0);
    EXPECT_EQ(getstart(&packed), utcticks(2026, 12, 7, 9, 55, 0));
    hostnow.date += 4;
    ASSERT_EQ(drain(), 1);
    EXPECT_EQ(timecheck.verdict, 0);
}

TEST_F(Machine, HeldCallIsDrainedOnceThroughTheTimeCheck)
{
    opt.checktime = true;
    timecheck.lastend = 0;
    EXPECT_EQ(drain(), 0);
    feed(rx(DT, " 90025551234", "00:03:20", "11/20 09:15"));   // weeks old
    ASSERT_EQ(drain(), 1);
    EXPECT_EQ(timecheck.verdict, '<');
    EXPECT_EQ(getstart(&packed) + 50, 337422600u);   // moved to end now
    EXPECT_EQ(drain(), 0);
}

}  // namespace
