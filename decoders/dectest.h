// Shared by the decoder tests: frames a line into rawbuf and starts each test
// from a fresh decoder at a fixed host time.
#pragma once

#include "linedecoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Frames a line as the framer does; the digits left after the line feed
// stand for an earlier, longer record and must never be read.
inline int feed(const std::string& text)
{
    if (text.size() > 255) {
        ADD_FAILURE() << "line too long for rawbuf";
        return -1;
    }
    std::memset(rawbuf, '7', sizeof rawbuf);
    std::memcpy(rawbuf, text.data(), text.size());
    rawbuf[text.size()] = '\n';
    return packrec(&pkcall);
}

inline std::string dial(const callrec& r) { return std::string(r.dialled, 24); }
inline std::string bcd(const uint8_t* b) { return bcdtext(b); }
inline std::string rjust(const std::string& digits) { return std::string(24 - digits.size(), ' ') + digits; }

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clocksetup();
        real_time_rec = datetime{42, 11, 6, 0, 10, 0, 0};   // 7 Dec 2026 10:00 UTC
        opt.checktime = false;
        opt.trace = false;
        opt.maskparity = false;
        pakrop.rejcnt = 0;
        linereset();
    }
};
