// Tests of morva-sl1x: its shorter layout with optional start seconds, the
// 0x89 rule, STRIPACC, dropped charge lines, its hooks and constants.
#include "dectest.h"

#include <cstdlib>

namespace {

// An SL-1 line: parties in columns 0-23, the date from column 25 (37 on a
// shifted "L" line), then the duration and the rest.
std::string sl(const std::string& parties, const std::string& when = "12/06 09:15",
               const std::string& tail = "  90025551234", int shift = 0)
{
    std::string s = parties;
    s.resize(25 + shift, ' ');
    return s + when + " 00:03:20" + tail;
}

const std::string DT = "N 001 00 D2101   T004012";

class Sl1 : public DecoderTest {
protected:
    Sl1() : DecoderTest(sl1xdecoder) {}
    void SetUp() override
    {
        DecoderTest::SetUp();
        sl1xstripacc = 4;
    }
    void TearDown() override { unsetenv("STRIPACC"); }
};

TEST_F(Sl1, BuildConstants)
{
    EXPECT_STREQ(sl1xdecoder.version, "3.11 SL1X       #2 ");
    EXPECT_EQ(sl1xdecoder.minend, 26);
    EXPECT_EQ(sl1xdecoder.endbyte, 0x0a);
    EXPECT_TRUE(sl1xdecoder.longcodes);
    EXPECT_FALSE(sl1xdecoder.hosttime);
}

TEST_F(Sl1, CallLineLayouts)
{
    struct { const char* name; std::string line; uint32_t start; const char* digits; } cases[] = {
        {"plain", sl(DT), 337400325u, "5551234"},
        {"start seconds", sl(DT, "12/06 09:15:30"), 337400332u, "5551234"},
        {"dot", sl(DT, "12/06 09:15", ".12 90025551234"), 337400325u, "5551234"},
        {"no dot", sl(DT, "12/06 09:15", " 12 90025551234"), 337400325u, "25551234"},
        {"seconds and dot", sl(DT, "12/06 09:15:30", ".12 90025551234"), 337400332u, "5551234"},
        {"shifted L", sl("L" + DT.substr(1), "12/06 09:15", "  90025551234", 12), 337400325u, "5551234"},
        {"unshifted L", "L" + DT.substr(1) + std::string(13, ' ') + sl(DT).substr(25), 337400325u,
         "5551234"},
        {"noise", std::string(190, '*') + sl(DT), 337400325u, "5551234"},
    };
    for (auto& c : cases) {
        feed(c.line);
        ASSERT_EQ(drain(), 1) << c.name;
        EXPECT_EQ(getstart(&packed), c.start) << c.name;
        EXPECT_EQ(getduration(&packed), 50u) << c.name;
        EXPECT_EQ(dial(packed), rjust(c.digits)) << c.name;
        EXPECT_EQ(drain(), 0) << c.name;
    }
    EXPECT_EQ(rejectedlines, 0u);
}

TEST_F(Sl1, StationToStationOnlyWithMask)
{
    for (uint8_t mask : {0, 4}) {
        opt.maskparity = mask;
        feed(sl("N 003 00 D2101   D2102"));
        EXPECT_EQ(rejectedlines, 0u);
        EXPECT_EQ(drain(), mask ? 1 : 0);
        if (mask) {
            EXPECT_EQ(packed.calltype, 0x89);
        }
    }
}

TEST_F(Sl1, Stripacc)
{
    struct { const char* value; uint8_t debug; int strip; std::string err; } cases[] = {
        {nullptr, 0, 4, ""},
        {nullptr, 1, 4, "pabxdep_init()\npabxdep_init() envstripacc set to 4\n"},
        {"0", 0, 0, "pabxdep_init() STRIPACC = 0\n"},
        {"", 0, 0, "pabxdep_init() STRIPACC = \n"},
        {"two", 0, 0, "pabxdep_init() STRIPACC = two\n"},
        {" +2x", 0, 2, "pabxdep_init() STRIPACC =  +2x\n"},
        {"-1", 0, 255, "pabxdep_init() STRIPACC = -1\n"},
        {"300", 1, 44,
         "pabxdep_init()\npabxdep_init() STRIPACC = 300\npabxdep_init() envstripacc set to 44\n"},
    };
    for (auto& c : cases) {
        sl1xstripacc = 4;
        opt.trace = c.debug;
        if (c.value)
            setenv("STRIPACC", c.value, 1);
        else
            unsetenv("STRIPACC");
        testing::internal::CaptureStderr();
        sl1xdecoder.init();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(sl1xstripacc, c.strip) << (c.value ? c.value : "unset");
    }
    opt.trace = false;

    // The count applies whatever the MASK flag; 44 leaves no digit here.
    opt.maskparity = true;
    feed(sl(DT));
    EXPECT_EQ(rejectedlines, 1u);
    sl1xstripacc = 2;
    feed(sl(DT));
    ASSERT_EQ(drain(), 1);
    EXPECT_EQ(dial(packed), rjust("025551234"));
}

TEST_F(Sl1, ChargeLineReleasesTheCallWithoutItsMeter)
{
    feed(sl(DT));
    ASSERT_EQ(feed("A 002 00          004012 12/06 09:16 1234"), 1);
    EXPECT_EQ(getmeter(&packed), 0);
    EXPECT_EQ(bcd(packed.charge_lo), "000000");
    EXPECT_FALSE(lineholding());
    EXPECT_EQ(feed(std::string(24, ' ') + " 00003 "), 0);
    EXPECT_EQ(rejectedlines, 1u);
    feed("A 002 00          004012 12/06 0916  1234");   // no ":"
    EXPECT_EQ(rejectedlines, 2u);
}

TEST_F(Sl1, ContinuationAndStatusHook)
{
    feed(sl(DT));
    ASSERT_EQ(feed(std::string(24, ' ') + " 00012 "), 1);
    EXPECT_EQ(getmeter(&packed), 12);
    opt.trace = true;
    testing::internal::CaptureStderr();
    sl1xdecoder.status(1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "pabxdep_status(1)\n");
    opt.trace = false;
}

}  // namespace
