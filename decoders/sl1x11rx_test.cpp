// Tests of what morva-sl1x11rx adds to the machine: its constants, the 0x89
// pairs, the drain at exit beside queued charges, and its dummy hooks.
#include "dectest.h"

namespace {

std::string rx(const std::string& parties, const std::string& rest)
{
    std::string s = parties;
    s.resize(37, ' ');
    return s + rest;
}

using Rx = DecoderTest;

TEST_F(Rx, BuildConstants)
{
    EXPECT_STREQ(sl1x11rxdecoder.version, "3.11 SL1X11RX   #19");
    EXPECT_EQ(sl1x11rxdecoder.minend, 38);
    EXPECT_EQ(sl1x11rxdecoder.endbyte, 0x0a);
    EXPECT_TRUE(sl1x11rxdecoder.longcodes);
    EXPECT_FALSE(sl1x11rxdecoder.hosttime);
}

TEST_F(Rx, StationToStationIsACallWithOrWithoutMask)
{
    for (uint8_t mask : {0, 4}) {
        opt.maskparity = mask;
        feed(rx("N 003 00 D2101   D2102", "12/06 09:20 00:01:00"));
        ASSERT_EQ(drain(), 1) << int(mask);
        EXPECT_EQ(packed.calltype, 0x89);
    }
}

TEST_F(Rx, DrainDeliversTheHeldCallButNoQueuedCharge)
{
    chargeq.head = chargeq.tail = chargeq.count = 0;
    feed(rx("A 002 00          004099", "12/06 09:14 777"));
    feed(rx("A 002 00          004099", "12/06 0914  777"));   // no ":": rejected
    feed(rx("N 001 00 D2101   T004012", "12/06 09:15 00:03:20 90025551234"));
    EXPECT_EQ(chargeq.count, 1);
    EXPECT_EQ(rejectedlines, 1u);
    ASSERT_EQ(drain(), 1);
    EXPECT_EQ(bcd(packed.trunk), "004012");
    EXPECT_EQ(drain(), 0);
}

TEST_F(Rx, HooksTraceOnlyUnderDebug)
{
    for (uint8_t dbg : {0, 1}) {
        opt.trace = dbg;
        testing::internal::CaptureStderr();
        sl1x11rxdecoder.init();
        sl1x11rxdecoder.status(1);
        sl1x11rxdecoder.status(0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  dbg ? "DUMMY pabxdep_init()\nDUMMY pabxdep_status(1)\nDUMMY pabxdep_status(0)\n"
                      : "");
    }
    opt.trace = false;
}

}  // namespace
