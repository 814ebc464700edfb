// Shared by the decoder tests: frames a line as the framer does, hands it to
// the decoder under test, and starts each test from a fresh decoder at a
// fixed host time.
#pragma once

#include "chargeq.h"
#include "decoders.h"
#include "linedecoder.h"
#include "settings.h"
#include "timecheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// The decoder under test: each fixture names its own.
inline const decoder* testdecoder;
// The host time at which the next line arrives.
inline datetime hostnow;
// The call the decoder released last.
inline callrec packed;

// Frames a line as the framer does; the digits left after the line feed
// stand for an earlier, longer record and must never be read.
inline int feed(const std::string& text)
{
    static uint8_t record[256];
    if (text.size() > 255) {
        ADD_FAILURE() << "line too long for a record";
        return -1;
    }
    std::memset(record, '7', sizeof record);
    std::memcpy(record, text.data(), text.size());
    record[text.size()] = '\n';
    return testdecoder->pack(record, &hostnow, &packed);
}

// The drain at exit.
inline int drain() { return testdecoder->drain(&packed); }

inline std::string dial(const callrec& r) { return std::string(r.dialled, 24); }
inline std::string bcd(const uint8_t* b) { return bcdtext(b); }
inline std::string rjust(const std::string& digits) { return std::string(24 - digits.size(), ' ') + digits; }

class DecoderTest : public ::testing::Test {
protected:
    explicit DecoderTest(const decoder& d = sl1x11rxdecoder) { testdecoder = &d; }
    void SetUp() override
    {
        clocksetup();
        hostnow = datetime{42, 11, 6, 0, 10, 0, 0};   // 7 Dec 2026 10:00 UTC
        opt.checktime = false;
        opt.trace = false;
        opt.maskparity = false;
        rejectedlines = 0;
        linereset();
    }
};
