// stresscheck: the helpers of the stress cases, one per subcommand. They check
// a run's outputs against a signal-free reference, and send the signals.
//
//   raw INPUT RAWLOG         the raw log is pieces of INPUT, in order, none
//                            overlapping: prints "pieces N first A end B size S"
//   prefix REF OUT           OUT (a file, or an hourly tree) holds whole lines
//                            that are REF's first lines, the last one possibly
//                            with its meter field empty: prints "lines N exact|meterless"
//   limit REF OUT BYTES      OUT is what a file-size limit of BYTES leaves of
//                            REF: whole lines up to the first one that did not fit
//   offsets REF COUNT SEED [tree]
//                            COUNT seeded byte offsets inside REF, or inside
//                            its hourly files: line ends, one byte either side
//                            of them, and anywhere
//   killat PID OFFSET        sends SIGTERM once PID has read OFFSET bytes of its
//                            standard input; prints the offset then read
//   pelt PID SEED            sends SIGUSR1 and SIGALRM at random short intervals
//                            until PID ends: prints "usr1 N alrm M"
//
// Exit status: 0 good, 1 a check failed (with the reason on stderr), 2 usage,
// 3 the process ended before the signal could be sent.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "../splitmix.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& why)
{
    fprintf(stderr, "stresscheck: %s\n", why.c_str());
    exit(1);
}

std::string slurp(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    if (!f)
        fail("cannot read " + p.string());
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The lines of a text, each with its line feed; a last line without one is
// reported as such.
std::vector<std::string_view> lines(std::string_view text, const std::string& what)
{
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos)
            fail(what + ": ends in a partial line [" + std::string(text.substr(at, 80)) + "]");
        out.push_back(text.substr(at, nl + 1 - at));
        at = nl + 1;
    }
    return out;
}

// The field of a CDR line: ":first|second|dialled|DDMMYYhhmmss|dur|meter|charge|type".
std::string_view field(std::string_view line, int n)
{
    size_t at = 0;
    for (int i = 0; i < n; i++) {
        at = line.find('|', at);
        if (at == std::string_view::npos)
            fail("not a CDR line: " + std::string(line));
        at++;
    }
    size_t end = line.find_first_of("|\n", at);
    return line.substr(at, end - at);
}

// The hourly file a CDR line goes to: MM_YYYY/DD_MM_YYYY/DD_MM_YYYY:HH.
std::string hourpath(std::string_view line)
{
    std::string_view d = field(line, 3);
    if (d.size() != 12)
        fail("bad date field in: " + std::string(line));
    std::string dd(d.substr(0, 2)), mm(d.substr(2, 2)), yyyy = "20" + std::string(d.substr(4, 2)),
        hh(d.substr(6, 2));
    return mm + "_" + yyyy + "/" + dd + "_" + mm + "_" + yyyy + "/" + dd + "_" + mm + "_" + yyyy + ":" + hh;
}

std::string meterless(std::string_view line)
{
    std::string s(line);
    size_t at = 0;
    for (int i = 0; i < 5; i++)
        at = s.find('|', at) + 1;
    size_t end = s.find('|', at);
    s.erase(at, end - at);
    return s;
}

// What a run left: one text for a file, one per hourly file for a tree.
using Files = std::map<std::string, std::string>;

bool istree(const std::string& out) { return fs::is_directory(out); }

Files readtree(const std::string& dir)
{
    Files f;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.is_directory())
            continue;
        if (!e.is_regular_file())
            fail("not a regular file in the tree: " + e.path().string());
        f[fs::relative(e.path(), dir).string()] = slurp(e.path());
    }
    return f;
}

size_t countlines(const Files& f)
{
    size_t n = 0;
    for (auto& [name, text] : f)
        n += lines(text, name).size();
    return n;
}

// The tree that the given lines make, in their order.
Files spread(const std::vector<std::string>& ls)
{
    Files f;
    for (auto& l : ls)
        f[hourpath(l)] += l;
    return f;
}

// Names the first difference between two trees, or returns "".
std::string treediff(const Files& want, const Files& got)
{
    for (auto& [name, text] : want) {
        auto it = got.find(name);
        if (it == got.end())
            return "missing hourly file " + name;
        if (it->second != text) {
            size_t i = 0;
            while (i < text.size() && i < it->second.size() && text[i] == it->second[i])
                i++;
            return name + " differs at byte " + std::to_string(i);
        }
    }
    for (auto& [name, text] : got)
        if (!want.count(name))
            return "unexpected hourly file " + name;
    return "";
}

int cmdprefix(const std::string& refpath, const std::string& out)
{
    std::string ref = slurp(refpath);
    auto rl = lines(ref, refpath);
    bool tree = istree(out);
    Files got;
    std::string text;
    size_t n;
    if (tree) {
        got = readtree(out);
        n = countlines(got);
    } else {
        text = slurp(out);
        n = lines(text, out).size();
    }
    if (n > rl.size())
        fail("output has " + std::to_string(n) + " lines, the reference only " + std::to_string(rl.size()));
    std::vector<std::string> exact(rl.begin(), rl.begin() + n);
    std::vector<std::string> held = exact;
    if (n)
        held.back() = meterless(held.back());
    auto matches = [&](const std::vector<std::string>& want) -> std::string {
        if (tree)
            return treediff(spread(want), got);
        std::string all;
        for (auto& l : want)
            all += l;
        if (all == text)
            return "";
        size_t i = 0;
        while (i < all.size() && i < text.size() && all[i] == text[i])
            i++;
        return "differs from the reference at byte " + std::to_string(i);
    };
    std::string why = matches(exact);
    if (why.empty()) {
        printf("lines %zu exact\n", n);
        return 0;
    }
    if (matches(held).empty()) {
        printf("lines %zu meterless\n", n);
        return 0;
    }
    fail(out + ": not a prefix of the reference (" + std::to_string(n) + " lines): " + why);
}

int cmdlimit(const std::string& refpath, const std::string& out, uint64_t limit)
{
    std::string ref = slurp(refpath);
    auto rl = lines(ref, refpath);
    bool tree = istree(out);
    // The first line whose write would take its file past the limit.
    std::map<std::string, uint64_t> size;
    size_t k = 0;
    std::string key;
    for (; k < rl.size(); k++) {
        key = tree ? hourpath(rl[k]) : "";
        if (size[key] + rl[k].size() > limit)
            break;
        size[key] += rl[k].size();
    }
    if (k == rl.size())
        fail("the limit " + std::to_string(limit) + " is beyond the reference");
    std::vector<std::string> want(rl.begin(), rl.begin() + k);
    std::string why;
    if (tree) {
        Files w = spread(want);
        w[key];   // the failing line's file was opened, so it is there
        why = treediff(w, readtree(out));
    } else {
        std::string all;
        for (auto& l : want)
            all += l;
        std::string got = slurp(out);
        if (got != all) {
            size_t i = 0;
            while (i < all.size() && i < got.size() && all[i] == got[i])
                i++;
            why = "holds " + std::to_string(got.size()) + " bytes, not the " + std::to_string(all.size()) +
                  " bytes of the first " + std::to_string(k) + " lines; first difference at byte " +
                  std::to_string(i);
        }
    }
    if (!why.empty())
        fail(out + " under a limit of " + std::to_string(limit) + " bytes: " + why);
    printf("lines %zu\n", k);
    return 0;
}


int cmdoffsets(const std::string& refpath, int count, uint64_t seed, bool tree)
{
    std::string ref = slurp(refpath);
    auto rl = lines(ref, refpath);
    if (rl.size() < 2)
        fail("reference too short");
    // Where each line ends in its file: the output file, or its hourly file.
    std::vector<uint64_t> ends;
    std::map<std::string, uint64_t> size;
    for (auto& l : rl)
        ends.push_back(size[tree ? hourpath(l) : ""] += l.size());
    uint64_t top = 0;
    for (auto& [name, n] : size)
        top = std::max(top, n);
    Rng r{seed};
    std::vector<uint64_t> out;
    while (int(out.size()) < count) {
        // A line below the last, so that some line always fails.
        size_t k = r.below(rl.size() - 2);
        uint64_t e = ends[k];
        uint64_t o;
        switch (out.size() % 5) {
        case 0: o = e; break;                       // the line fits exactly
        case 1: o = e + 1; break;                   // one byte of the next line fits
        case 2: o = e - 1; break;                   // the line misses by one byte
        case 3:
            // The next line misses, but the one after it, shorter, would fit
            // in its place: that one is the call still held when the write
            // fails, and drained at the exit.
            if (rl[k + 2].size() >= rl[k + 1].size())
                continue;
            o = e + rl[k + 2].size();
            break;
        default: o = 1 + r.below(top - 1);         // anywhere
        }
        if (o > 0 && o < top && std::find(out.begin(), out.end(), o) == out.end())
            out.push_back(o);
    }
    for (auto o : out)
        printf("%llu\n", static_cast<unsigned long long>(o));
    return 0;
}

int cmdraw(const std::string& inpath, const std::string& rawpath)
{
    std::string in = slurp(inpath), raw = slurp(rawpath);
    // A window this long holds whole call lines, which are unique, so it
    // occurs once; a shorter rest of the log is the end of the input when
    // the log was on to the end.
    const size_t W = 4096;
    size_t p = 0, q = 0, pieces = 0, first = 0;
    while (p < raw.size()) {
        size_t m = std::min(W, raw.size() - p);
        size_t at;
        if (m < W && in.size() - q >= m && in.compare(in.size() - m, m, raw, p, m) == 0)
            at = in.size() - m;
        else
            at = in.find(std::string_view(raw).substr(p, m), q);
        if (at == std::string::npos)
            fail("raw log bytes from offset " + std::to_string(p) + " are not in the input after offset " +
                 std::to_string(q));
        size_t len = 0;
        while (p + len < raw.size() && at + len < in.size() && raw[p + len] == in[at + len])
            len++;
        if (pieces == 0)
            first = at;
        pieces++;
        p += len;
        q = at + len;
    }
    printf("pieces %zu first %zu end %zu size %zu\n", pieces, first, q, in.size());
    return 0;
}

// A descriptor for the process itself, so that no signal can reach another
// process that took over a recycled PID; -1 where the kernel has none.
int pidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

int sendsig(int fd, pid_t pid, int sig)
{
#ifdef SYS_pidfd_send_signal
    if (fd >= 0)
        return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0));
#endif
    (void)fd;
    return kill(pid, sig);
}

// True once the process has ended (reaped or not); waits at most `us`
// microseconds for that.
bool ended(int fd, pid_t pid, long us)
{
    if (fd >= 0) {
        struct pollfd p = {fd, POLLIN, 0};
        struct timespec t = {us / 1000000, (us % 1000000) * 1000};
        return ppoll(&p, 1, &t, nullptr) > 0;
    }
    struct timespec t = {us / 1000000, (us % 1000000) * 1000};
    nanosleep(&t, nullptr);
    return kill(pid, 0) != 0;
}

// True when the process has its own handlers for all the given signals, so
// that none of them can end it before it is ready.
bool catches(pid_t pid, std::initializer_list<int> sigs)
{
    // Only the program itself: the shell's child it is forked as may show
    // handlers of the shell's own until it execs.
    std::ifstream c("/proc/" + std::to_string(pid) + "/comm");
    std::string comm;
    if (!std::getline(c, comm) || comm.rfind("morva-", 0) != 0)
        return false;
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string l;
    while (std::getline(f, l)) {
        if (l.rfind("SigCgt:", 0) != 0)
            continue;
        uint64_t mask = strtoull(l.c_str() + 7, nullptr, 16);
        for (int s : sigs)
            if (!(mask >> (s - 1) & 1))
                return false;
        return true;
    }
    return false;
}

// Waits until the process catches the signals; false when it ended first.
bool waitready(int fd, pid_t pid, std::initializer_list<int> sigs)
{
    while (!catches(pid, sigs))
        if (ended(fd, pid, 200))
            return false;
    return true;
}

// How far the process has read its standard input; -1 once it is gone.
long long inputpos(pid_t pid)
{
    FILE* f = fopen(("/proc/" + std::to_string(pid) + "/fdinfo/0").c_str(), "r");
    if (!f)
        return -1;
    long long pos = -1;
    if (fscanf(f, "pos: %lld", &pos) != 1)
        pos = -1;
    fclose(f);
    return pos;
}

int cmdkillat(pid_t pid, long long offset)
{
    int fd = pidfd(pid);
    if (!waitready(fd, pid, {SIGTERM}))
        return 3;
    for (;;) {
        long long pos = inputpos(pid);
        if (pos < 0)
            return 3;
        if (pos >= offset) {
            if (sendsig(fd, pid, SIGTERM) != 0)
                return 3;
            printf("%lld\n", pos);
            return 0;
        }
        if (ended(fd, pid, 200))
            return 3;
    }
}

int cmdpelt(pid_t pid, uint64_t seed)
{
    int fd = pidfd(pid);
    unsigned long usr1 = 0, alrm = 0;
    if (waitready(fd, pid, {SIGUSR1, SIGALRM})) {
        Rng r{seed};
        for (;;) {
            bool toggle = r.below(2);
            if (sendsig(fd, pid, toggle ? SIGUSR1 : SIGALRM) != 0)
                break;
            (toggle ? usr1 : alrm)++;
            // Mostly quick bursts, now and then a longer quiet spell.
            long us = r.below(8) ? static_cast<long>(r.below(300)) : static_cast<long>(r.below(3000));
            if (ended(fd, pid, us))
                break;
        }
    }
    printf("usr1 %lu alrm %lu\n", usr1, alrm);
    return 0;
}

[[noreturn]] void usage()
{
    fputs("usage: stresscheck raw INPUT RAWLOG | prefix REF OUT | limit REF OUT BYTES |\n"
          "                   offsets REF COUNT SEED [tree] | killat PID OFFSET | pelt PID SEED\n",
          stderr);
    exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        usage();
    std::string cmd = argv[1];
    auto num = [&](int i) { return strtoull(argv[i], nullptr, 10); };
    if (cmd == "raw" && argc == 4)
        return cmdraw(argv[2], argv[3]);
    if (cmd == "prefix" && argc == 4)
        return cmdprefix(argv[2], argv[3]);
    if (cmd == "limit" && argc == 5)
        return cmdlimit(argv[2], argv[3], num(4));
    if (cmd == "offsets" && (argc == 5 || (argc == 6 && std::string(argv[5]) == "tree")))
        return cmdoffsets(argv[2], static_cast<int>(num(3)), num(4), argc == 6);
    if (cmd == "killat" && argc == 4)
        return cmdkillat(static_cast<pid_t>(num(2)), static_cast<long long>(num(3)));
    if (cmd == "pelt" && argc == 4)
        return cmdpelt(static_cast<pid_t>(num(2)), num(3));
    usage();
}
