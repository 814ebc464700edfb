// The hourly files of a tree are found by their names alone, oldest hour
// first; everything else in the tree is left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "hourtree.h"

namespace fs = std::filesystem;

TEST(HourTree, FindsHourlyFilesOnly)
{
    const char* hourly[] = {
        "12_2026/07_12_2026/07_12_2026:10",
        "01_2027/01_01_2027/01_01_2027:00",
        "12_2026/07_12_2026/07_12_2026:09",
        "02_2028/29_02_2028/29_02_2028:00",
        "12_2026/06_12_2026/06_12_2026:23",
    };
    // A trailing "/" makes a directory.
    const char* ignored[] = {
        "02_2027/29_02_2027/29_02_2027:00",
        "12_2026/07_12_2026/07_12_2026:24",
        "12_2026/07_12_2026/07_12_2026:9",
        "12_2026/07_12_2026/07_12_2026:10.gz",
        "12_2026/07_12_2026/07_12_2026:11/",
        "12_2026/07_12_2026/06_12_2026:10",
        "12_2026/07_11_2026/07_11_2026:10",
        "12_2026/7_12_2026/7_12_2026:10",
        "12_2026/07_12_2026:10",
        "13_2026/07_13_2026/07_13_2026:10",
        "12_1983/07_12_1983/07_12_1983:10",
        "old/12_2026/07_12_2026/07_12_2026:10",
        "12_2026.tar",
    };
    fs::path root = fs::temp_directory_path() / ("hourtree." + std::to_string(getpid()));
    fs::remove_all(root);
    auto make = [&](std::string p) {
        if (p.back() == '/')
            return fs::create_directories(root / p), void();
        fs::create_directories((root / p).parent_path());
        std::ofstream(root / p) << ":1|2||061226100000||||01\n";
    };
    for (const char* p : hourly)
        make(p);
    for (const char* p : ignored)
        make(p);

    std::vector<std::string> problems;
    std::string got;
    for (const HourFile& f : findhours(root.string(), problems))
        got += f.rel + '\n';
    EXPECT_EQ(got, "12_2026/06_12_2026/06_12_2026:23\n"
                   "12_2026/07_12_2026/07_12_2026:09\n"
                   "12_2026/07_12_2026/07_12_2026:10\n"
                   "01_2027/01_01_2027/01_01_2027:00\n"
                   "02_2028/29_02_2028/29_02_2028:00\n");
    EXPECT_TRUE(problems.empty());
    fs::remove_all(root);
}
