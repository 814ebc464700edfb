// The file as a reader finds it: exact text, escapes read back, never half
// a file, and the previous file kept whole when a write fails.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "metricsfile.h"
#include "metricsread.h"

namespace fs = std::filesystem;

namespace {

struct Metrics : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("metrics." + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string slurp(const fs::path& p)
    {
        std::ostringstream s;
        s << std::ifstream(p).rdbuf();
        return s.str();
    }
    size_t files() { return size_t(std::distance(fs::directory_iterator(dir), {})); }
};

TEST_F(Metrics, TextAsWrittenAndReadBack)
{
    MetricsFile m((dir / "morva-tty\\S0.prom").string());
    m.family("morva_x_total", MetricsFile::counter, "Lines \\ and\nmore");
    m.sample({{"verdict", "a\"b\\c\nd"}}, 42);
    m.single("morva_t_seconds", MetricsFile::gauge, "A time.", 1796637600.125);
    std::string why;
    ASSERT_TRUE(m.write(why)) << why;
    EXPECT_EQ(slurp(m.path()),
              "# HELP morva_x_total Lines \\\\ and\\nmore\n# TYPE morva_x_total counter\n"
              "morva_x_total{source=\"morva-tty\\\\S0\",verdict=\"a\\\"b\\\\c\\nd\"} 42\n"
              "# HELP morva_t_seconds A time.\n# TYPE morva_t_seconds gauge\n"
              "morva_t_seconds{source=\"morva-tty\\\\S0\"} 1796637600.125\n");
    EXPECT_EQ(fs::status(m.path()).permissions(), fs::perms(0644));

    std::vector<MetricSample> s;
    ASSERT_TRUE(parsemetrics(m.text(), s, why)) << why;
    EXPECT_EQ(*s[0].label("verdict"), "a\"b\\c\nd");
    EXPECT_EQ(findsample(s, "morva_t_seconds", "source", "morva-tty\\S0")->value, 1796637600.125);

    EXPECT_EQ(MetricsFile("dir/.prom").source(), ".prom");
}

TEST(MetricsParse, LinesThatAreNotSamples)
{
    for (const char* line : {"morva_x 1 2 3", "morva_x", "morva_x{a=\"1\" 1", "morva_x{a=1} 1",
                             "morva_x{a=\"\\t\"} 1", "1morva 1", "morva_x one"}) {
        std::vector<MetricSample> s;
        std::string why;
        EXPECT_FALSE(parsemetrics(std::string("# c\n") + line + "\n", s, why)) << line;
        EXPECT_EQ(why, "line 2 is not a metric sample") << line;
    }
}

// A failed write keeps what readers had and leaves no temporary file.
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
        _exit(setrlimit(RLIMIT_FSIZE, &rl) == 0 && !m.write(why) &&
                      why == path.string() + ": not written: cannot write: File too large"
                  ? 0
                  : 1);
    }
    int st;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_EQ(slurp(path), "old\n");
    EXPECT_EQ(files(), 1u);
}

// Something other than a file at the name (a FIFO here; /dev/null for one
// who wants no figures) is left as it is, never renamed over.
TEST_F(Metrics, OnlyAFileIsReplaced)
{
    fs::path path = dir / "m.prom";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    MetricsFile m(path.string());
    m.single("morva_x", MetricsFile::gauge, "Filler.", 1);
    std::string why;
    EXPECT_FALSE(m.write(why));
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_EQ(files(), 1u);
}

// A writer rewrites the file, of changing length, while this process reads
// it: every read is whole, its last sample counting the samples before it.
TEST_F(Metrics, ReaderNeverSeesHalfAFile)
{
    fs::path path = dir / "m.prom";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        MetricsFile m(path.string());
        std::string why;
        for (int r = 0; r < 400; r++) {
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
    for (bool done = false; !done;) {
        done = waitpid(pid, &st, WNOHANG) == pid;
        std::string text, why;
        struct stat sb;
        std::vector<MetricSample> s;
        const MetricSample* last;
        if (readmetrics(path.string(), text, sb, why) && ++reads &&
            parsemetrics(text, s, why) && (last = findsample(s, "morva_lines")) &&
            last->value == double(s.size() - 1))
            whole++;
    }
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(whole, reads);
    EXPECT_EQ(files(), 1u);
}

}  // namespace
