// Tests of the CDR store: the hourly file tree, hour changes, the fatal
// directory and open errors, and whole lines only after a failed write.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cdrstore.h"
#include "clock.h"
#include "settings.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

// A call of station 2345 on trunk 12 ending at the given UTC time.
callrec endingat(int y, int mon, int d, int h, int mi, int s)
{
    uint32_t t = utcticks(y, mon, d, h, mi, s);
    callrec r{};
    r.calltype = 0x01;
    r.station[1] = 0x23;
    r.station[2] = 0x45;
    r.trunk[2] = 0x12;
    r.start_lo[0] = uint8_t(t);
    r.start_lo[1] = uint8_t(t >> 8);
    r.start_lo[2] = uint8_t(t >> 16);
    r.start_hi = uint8_t(t >> 24);
    memset(r.dialled, ' ', 24);
    return r;
}

// The line a call of endingat() gives, ending at DDMMYYhhmmss.
std::string cdr(const char* when)
{
    return std::string(":2345|12||") + when + "||||01\n";
}

std::string slurp(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Every entry under the root, relative, sorted.
std::string tree(const fs::path& root)
{
    std::vector<std::string> v;
    for (auto& e : fs::recursive_directory_iterator(root))
        v.push_back(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
    std::sort(v.begin(), v.end());
    std::string s;
    for (auto& x : v)
        s += x + "\n";
    return s;
}

int openfds()
{
    int n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator("/proc/self/fd"))
        n++;
    return n;
}

std::string escre(const std::string& s)
{
    std::string r;
    for (char c : s) {
        if (strchr("\\^$.|?*+()[]{}", c))
            r += '\\';
        r += c;
    }
    return r;
}

class Cdrstore : public ::testing::Test {
protected:
    fs::path root;
    std::string dir;

    void SetUp() override
    {
        clocksetup();
        char tmpl[] = "/tmp/cdrstoreXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        usedir(root.string());
        umask(022);
        opt.trace = opt.tracerecords = false;
    }
    void TearDown() override
    {
        cdrstore_close();
        opt.cdrdir = "";
        opt.trace = opt.tracerecords = false;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }
    void usedir(const std::string& d)
    {
        dir = d;
        opt.cdrdir = dir.c_str();
    }
    // One call's line, written out as before the program waits again.
    void out(int y, int mon, int d, int h, int mi, int s)
    {
        callrec r = endingat(y, mon, d, h, mi, s);
        cdrstore_add(&r);
        cdrstore_flush();
    }
};

TEST_F(Cdrstore, TreeNamesAndAppend)
{
    fs::create_directories(root / "03_2024/15_03_2024");
    std::ofstream(root / "03_2024/15_03_2024/15_03_2024:14") << "old\n";
    testing::internal::CaptureStderr();
    out(2024, 3, 15, 14, 33, 0);
    out(2024, 3, 15, 14, 59, 56);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(tree(root), "03_2024/\n03_2024/15_03_2024/\n03_2024/15_03_2024/15_03_2024:14\n");
    EXPECT_EQ(slurp(root / "03_2024/15_03_2024/15_03_2024:14"),
              "old\n" + cdr("150324143300") + cdr("150324145956"));
}

TEST_F(Cdrstore, HourDayAndMonthChanges)
{
    int fds = openfds();
    out(2024, 3, 15, 14, 33, 0);
    out(2024, 3, 15, 15, 0, 0);   // next hour
    out(2024, 3, 15, 13, 58, 0);  // a late record goes back an hour
    out(2024, 3, 15, 15, 10, 0);
    out(2024, 3, 16, 15, 10, 0);  // same hour, next day
    out(2024, 4, 1, 0, 0, 0);     // new month
    out(2025, 4, 1, 0, 0, 0);     // same month and day, next year
    EXPECT_EQ(openfds(), fds + 1) << "an hour change leaks the previous file";
    EXPECT_EQ(tree(root),
              "03_2024/\n03_2024/15_03_2024/\n03_2024/15_03_2024/15_03_2024:13\n"
              "03_2024/15_03_2024/15_03_2024:14\n03_2024/15_03_2024/15_03_2024:15\n"
              "03_2024/16_03_2024/\n03_2024/16_03_2024/16_03_2024:15\n"
              "04_2024/\n04_2024/01_04_2024/\n04_2024/01_04_2024/01_04_2024:00\n"
              "04_2025/\n04_2025/01_04_2025/\n04_2025/01_04_2025/01_04_2025:00\n");
    fs::path d = root / "03_2024/15_03_2024";
    EXPECT_EQ(slurp(d / "15_03_2024:13"), cdr("150324135800"));
    EXPECT_EQ(slurp(d / "15_03_2024:14"), cdr("150324143300"));
    EXPECT_EQ(slurp(d / "15_03_2024:15"), cdr("150324150000") + cdr("150324151000"));
    EXPECT_EQ(slurp(root / "03_2024/16_03_2024/16_03_2024:15"), cdr("160324151000"));
    EXPECT_EQ(slurp(root / "04_2025/01_04_2025/01_04_2025:00"), cdr("010425000000"));
    struct stat st;
    ASSERT_EQ(stat((root / "04_2025/01_04_2025").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST_F(Cdrstore, HourChangeTrace)
{
    opt.tracerecords = true;
    testing::internal::CaptureStderr();
    out(2024, 3, 15, 14, 33, 0);
    out(2024, 3, 15, 14, 34, 0);
    out(2024, 3, 15, 15, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "trec hour change  lasttrec=00000000\n"
              "                     gnurt=40021414\n"
              "trec hour change  lasttrec=40021414\n"
              "                     gnurt=40021415\n");
}

TEST_F(Cdrstore, LongCdrdir)
{
    std::string d = root.string();
    while (d.size() < 300)
        d += "/" + std::string(40, 'd');
    fs::create_directories(d);
    usedir(d);
    out(2024, 3, 15, 14, 33, 0);
    out(2024, 3, 15, 15, 33, 0);
    EXPECT_EQ(slurp(d + "/03_2024/15_03_2024/15_03_2024:14"), cdr("150324143300"));
    EXPECT_EQ(slurp(d + "/03_2024/15_03_2024/15_03_2024:15"), cdr("150324153300"));
}

TEST_F(Cdrstore, StdoutMode)
{
    fs::path f = root / "stdout";
    int keep = dup(1);
    int fd = open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    fflush(stdout);
    dup2(fd, 1);
    close(fd);
    usedir("");
    out(2024, 3, 15, 14, 33, 0);
    out(2024, 3, 15, 15, 33, 0);
    cdrstore_close();  // closes fd 1, as at exit
    dup2(keep, 1);
    close(keep);
    EXPECT_EQ(slurp(f), cdr("150324143300") + cdr("150324153300"));
    EXPECT_EQ(tree(root), "stdout\n");
}

using CdrstoreDeathTest = Cdrstore;

TEST_F(CdrstoreDeathTest, DirectoryAndOpenErrors)
{
    // The root itself is never made.
    usedir((root / "missing").string());
    EXPECT_EXIT(out(2024, 3, 15, 14, 33, 0), testing::ExitedWithCode(2),
                escre("ERROR: can't mkdir [" + dir + "/03_2024] errno=2\n"));

    // A plain file where the day directory belongs: the open tells.
    usedir(root.string());
    fs::create_directories(root / "03_2024");
    std::ofstream(root / "03_2024/15_03_2024") << "x";
    EXPECT_EXIT(out(2024, 3, 15, 14, 33, 0), testing::ExitedWithCode(20),
                escre("ERROR: can't open cdrfile [" + dir +
                      "/03_2024/15_03_2024/15_03_2024:14] errno=20\n"));

    // A plain file in the month directory's place: the day mkdir tells.
    std::ofstream(root / "04_2024") << "x";
    EXPECT_EXIT(out(2024, 4, 1, 0, 0, 0), testing::ExitedWithCode(20),
                escre("ERROR: can't mkdir [" + dir + "/04_2024/01_04_2024] errno=20\n"));
}

TEST_F(CdrstoreDeathTest, NoPermission)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EXIT(out(2024, 3, 15, 14, 33, 0), testing::ExitedWithCode(13),
                escre("ERROR: can't mkdir [" + dir + "/03_2024] errno=13\n"));
}

// Writes 100 whole lines, then a burst of three lines that the size limit
// stops `extra` bytes further on: only the whole lines remain.
void writepastlimit(int extra)
{
    callrec r = endingat(2024, 3, 15, 14, 33, 0);
    for (int i = 0; i < 100; i++)
        cdrstore_add(&r);
    cdrstore_flush();
    struct rlimit rl;
    rl.rlim_cur = rl.rlim_max = 100 * cdr("150324143300").size() + extra;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &rl);
    for (int i = 0; i < 3; i++)
        cdrstore_add(&r);
    cdrstore_flush();
}

TEST_F(CdrstoreDeathTest, FailedWriteLeavesWholeLines)
{
    fs::path f = root / "03_2024/15_03_2024/15_03_2024:14";
    const std::string line = cdr("150324143300");
    const int len = int(line.size());
    // The limit at the burst's start, inside its first line, and inside its
    // second line: 100, 100 and 101 whole lines.
    for (int extra : {0, 10, len + 10}) {
        EXPECT_EXIT(writepastlimit(extra), testing::ExitedWithCode(1),
                    escre("ERROR: can't write to cdrfile [" + f.string() + "] errno=27\n"));
        std::string whole;
        for (int i = 0; i < 100 + extra / len; i++)
            whole += line;
        EXPECT_EQ(slurp(f), whole) << "limit at " << extra << " bytes into the burst";
        fs::remove(f);
    }
}

TEST_F(CdrstoreDeathTest, FailedWriteToStdoutFile)
{
    fs::path f = root / "stdout";
    usedir("");
    auto child = [&] {
        int fd = open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        writepastlimit(10);
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(1),
                escre("ERROR: can't write to cdrfile [stdout] errno=27\n"));
    EXPECT_EQ(slurp(f).size(), 100 * cdr("150324143300").size());
}

}  // namespace
