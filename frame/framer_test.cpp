// Tests of the framer: the byte-wise framing that -X uses and the block-wise
// one cut the same records, and log the same raw bytes, out of random
// streams of every kind of line the framer meets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "clock.h"
#include "framer.h"
#include "settings.h"

namespace {

// Lines too short to be records, ordinary ones, overlong ones that wrap the
// record buffer, NUL bytes, blocks' edges crossed, and now and then a last
// record without its end byte.
std::string randomstream(std::mt19937& rng, size_t size, char end)
{
    const std::string alphabet("0123456789/: ALNTDX\0", 20);
    std::string s;
    while (s.size() < size) {
        static const int spans[4] = {30, 80, 600, 2};
        int len = int(rng() % spans[rng() % 4]);
        for (int i = 0; i < len; i++)
            s += alphabet[rng() % alphabet.size()];
        s += end;
    }
    if (rng() % 2)
        s.resize(s.size() - 1 - rng() % 10);
    return s;
}

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct framed {
    std::vector<std::string> records;   // each up to its end byte
    std::string rawlog;
};

framed frameall(const std::string& dir, const std::string& in, bool bybyte, char end, int minend)
{
    std::string inpath = dir + "/in", logpath = dir + "/raw";
    std::ofstream(inpath, std::ios::binary) << in;
    opt.tracerecords = bybyte;
    opt.rawlog = true;
    opt.rawpath = logpath.c_str();
    setinput(open(inpath.c_str(), O_RDONLY));
    setrecordend(uint8_t(end), minend);
    framed f;
    datetime arrived;
    testing::internal::CaptureStderr();   // the traces and the raw log's opening
    while (const uint8_t* r = framerecord(&arrived)) {
        const void* e = memchr(r, end, 256);
        f.records.emplace_back(reinterpret_cast<const char*>(r),
                               e ? static_cast<const uint8_t*>(e) - r + 1 : 256);
    }
    rawlog_close();
    closeinput();
    testing::internal::GetCapturedStderr();
    f.rawlog = slurp(logpath);
    unlink(logpath.c_str());
    unlink(inpath.c_str());
    return f;
}

TEST(Framer, ByteWiseAndBlockWiseAgree)
{
    char tmpl[] = "/tmp/framerXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    clocksetup();
    const struct {
        char end;
        int minend;
        size_t size;
    } cases[] = {
        {'\n', 38, 200000}, {'\n', 26, 150000}, {'\n', 0, 5000}, {'/', 10, 70000}, {'\n', 200, 20000},
    };
    std::mt19937 rng(20261207);
    for (const auto& c : cases) {
        std::string in = randomstream(rng, c.size, c.end);
        framed block = frameall(tmpl, in, false, c.end, c.minend);
        framed byte = frameall(tmpl, in, true, c.end, c.minend);
        EXPECT_EQ(block.records, byte.records) << "end " << int(c.end) << " minend " << c.minend;
        EXPECT_GT(block.records.size(), 0u);
        EXPECT_EQ(block.rawlog, in);
        EXPECT_EQ(byte.rawlog, in);
    }
    opt = settings{};
    rmdir(tmpl);
}

}  // namespace
