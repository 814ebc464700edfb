// The file as a reader finds it: exact text, escapes read back, never half
// a file, and the previous file kept whole when a write fails.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "metricsfile.h"
#include "metricsread.h"

namespace fs = std::filesystem;

namespace {

class Metrics : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("metrics." + std::to_string(getpid()));
    void SetUp() override
    {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string slurp(const fs::path& p)
    {
        std::ostringstream s;
        s << std::ifstream(p).rdbuf();
        return s.str();
    }
    // What the folder holds, names only, sorted.
    std::string names()
    {
        std::set<std::string> s;
        for (const auto& e : fs::directory_iterator(dir))
            s.insert(e.path().filename());
        std::string out;
        for (const auto& n : s)
            out += n + ' ';
        return out;
    }
};

TEST_F(Metrics, TextAsWrittenAndReadBack)
{
    MetricsFile m((dir / "morva-tty\\S0.prom").string());
    m.family("morva_x_total", MetricsFile::counter, "Lines \\ and\nmore");
    m.sample({{"verdict", "a\"b\\c\nd"}}, 42);
    m.sample({{"verdict", ""}}, -7LL);
    m.single("morva_t_seconds", MetricsFile::gauge, "A time.", 1796637600.125);
    m.single("morva_on", MetricsFile::gauge, "A switch.", true);
    m.single("morva_inf", MetricsFile::gauge, "Unbounded.", 1.0 / 0.0);
    std::string why;
    ASSERT_TRUE(m.write(why)) << why;
    EXPECT_EQ(slurp(m.path()),
              "# HELP morva_x_total Lines \\\\ and\\nmore\n"
              "# TYPE morva_x_total counter\n"
              "morva_x_total{source=\"morva-tty\\\\S0\",verdict=\"a\\\"b\\\\c\\nd\"} 42\n"
              "morva_x_total{source=\"morva-tty\\\\S0\",verdict=\"\"} -7\n"
              "# HELP morva_t_seconds A time.\n# TYPE morva_t_seconds gauge\n"
              "morva_t_seconds{source=\"morva-tty\\\\S0\"} 1796637600.125\n"
              "# HELP morva_on A switch.\n# TYPE morva_on gauge\n"
              "morva_on{source=\"morva-tty\\\\S0\"} 1\n"
              "# HELP morva_inf Unbounded.\n# TYPE morva_inf gauge\n"
              "morva_inf{source=\"morva-tty\\\\S0\"} +Inf\n");
    EXPECT_EQ(fs::status(m.path()).permissions(), fs::perms(0644));
    EXPECT_EQ(names(), "morva-tty\\S0.prom ");

    std::vector<MetricSample> s;
    ASSERT_TRUE(parsemetrics(m.text(), s, why)) << why;
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(*s[0].label("source"), "morva-tty\\S0");
    EXPECT_EQ(*s[0].label("verdict"), "a\"b\\c\nd");
    EXPECT_EQ(s[1].value, -7);
    EXPECT_EQ(findsample(s, "morva_t_seconds")->value, 1796637600.125);
    EXPECT_EQ(findsample(s, "morva_x_total", "verdict", "")->value, -7);
}

TEST(MetricsSource, NameWithoutFolderAndEnding)
{
    const std::pair<const char*, const char*> table[] = {
        {"/var/lib/prometheus/node-exporter/morva-ttyS0.prom", "morva-ttyS0"},
        {"morva-cdrload-ttyS0.prom", "morva-cdrload-ttyS0"},
        {"dir/figures.txt", "figures.txt"},
        {"dir/.prom", ".prom"},
    };
    for (auto [path, source] : table)
        EXPECT_EQ(MetricsFile(path).source(), source) << path;
}

TEST(MetricsParse, LinesThatAreNotSamples)
{
    const char* table[] = {
        "morva_x 1 2 3",     "morva_x",          "morva_x{a=\"1\" 1", "morva_x{a=1} 1",
        "morva_x{a=\"\\t\"} 1", "1morva 1",     "morva_x one",       "morva_x{a:b=\"1\"} 1",
    };
    for (const char* line : table) {
        std::vector<MetricSample> s;
        std::string why;
        EXPECT_FALSE(parsemetrics(std::string("# c\n") + line + "\n", s, why)) << line;
        EXPECT_EQ(why, "line 2 is not a metric sample") << line;
    }
}

TEST_F(Metrics, InvalidNameWritesNothing)
{
    MetricsFile m((dir / "m.prom").string());
    m.single("morva-x", MetricsFile::gauge, "Dash.", 1);
    std::string why;
    EXPECT_FALSE(m.write(why));
    EXPECT_EQ(why, (dir / "m.prom").string() + ": not written: invalid metric name 'morva-x'");
    EXPECT_EQ(names(), "");
}

// A failed write (the file-size limit, a folder in the file's place) keeps
// what readers had and leaves no temporary file.
TEST_F(Metrics, FailedWriteKeepsThePreviousFile)
{
    fs::path path = dir / "m.prom";
    std::ofstream(path) << "old\n";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit rl = {100, 100};
        signal(SIGXFSZ, SIG_IGN);
        MetricsFile m(path.string());
        for (int i = 0; i < 20; i++)
            m.single("morva_x", MetricsFile::gauge, "Filler.", i);
        std::string why;
        bool ok = setrlimit(RLIMIT_FSIZE, &rl) == 0 && !m.write(why) &&
                  why == path.string() + ": not written: cannot write: File too large";
        _exit(ok ? 0 : 1);
    }
    int st;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_EQ(slurp(path), "old\n");
    EXPECT_EQ(names(), "m.prom ");

    fs::create_directory(dir / "d.prom");
    MetricsFile d((dir / "d.prom").string());
    d.single("morva_x", MetricsFile::gauge, "One.", 1);
    std::string why;
    EXPECT_FALSE(d.write(why));
    EXPECT_EQ(why, (dir / "d.prom").string() + ": not written: cannot replace it: Is a directory");
    EXPECT_EQ(names(), "d.prom m.prom ");
}

// A writer rewrites the file with texts of changing length while this
// process reads it: every read is one whole text, whose last sample counts
// the samples before it.
TEST_F(Metrics, ReaderNeverSeesHalfAFile)
{
    fs::path path = dir / "m.prom";
    constexpr int rounds = 400;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        MetricsFile m(path.string());
        std::string why;
        for (int r = 0; r < rounds; r++) {
            m.clear();
            int n = 1 + (r * 37) % 300;
            m.family("morva_line", MetricsFile::gauge, "Filler.");
            for (int i = 0; i < n; i++)
                m.sample({{"n", std::to_string(i)}}, i);
            m.single("morva_lines", MetricsFile::gauge, "Samples before.", n);
            if (!m.write(why))
                _exit(1);
        }
        _exit(0);
    }
    int reads = 0, whole = 0, st = 0;
    for (;;) {
        bool done = waitpid(pid, &st, WNOHANG) == pid;
        std::string text, why;
        struct stat sb;
        if (readmetrics(path.string(), text, sb, why)) {
            reads++;
            std::vector<MetricSample> s;
            const MetricSample* last;
            if (parsemetrics(text, s, why) && (last = findsample(s, "morva_lines")) &&
                last->value == double(s.size() - 1) && text.ends_with("\n"))
                whole++;
        }
        if (done)
            break;
    }
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(whole, reads);
    EXPECT_EQ(names(), "m.prom ");
}

}  // namespace
