// gensmdr: a seeded generator of realistic SMDR streams in either exchange
// layout, for the stress cases and the throughput benchmark.
//
//   gensmdr [-s SEED] [-t 'YYYY-MM-DD HH:MM'] [-z] [-S] sl1x11rx|sl1x LINES
//
// Writes exactly LINES lines to stdout: call lines in time order (about one
// second apart, so the hour changes every few thousand lines), a tenth of the
// calls followed by an "&" meter line, charge-account lines ahead of about a
// twentieth of the calls, and with -z an occasional noise line. Every call
// line is unique: outgoing calls carry a running number in their dialled
// digits, and the sequence column wraps only after far more than a minute.
// -S prints what was written on stderr. The same arguments give the same
// bytes on any host: the generator has its own random source.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "splitmix.h"

namespace {


// Where a layout keeps its columns: the date of a record line, the code of a
// charge line, the start of the duration, and the text an "L" line inserts.
struct Layout {
    int date;          // "MM/DD HH:MM"
    int chargecode;
    int duration;      // without start seconds
    const char* route; // 12 characters, inserted at column 25 of an "L" line
    const char* metertail;
    bool seconds;      // call lines may carry start seconds
};

const Layout RX = {37, 49, 49, "ROUTE 020   ", " 0000 000", false};
const Layout SL1 = {25, 37, 37, "RTE 20      ", " ", true};

void put(std::string& s, size_t col, const std::string& text)
{
    if (s.size() < col)
        s.resize(col, ' ');
    s.replace(col, std::min(text.size(), s.size() - col), text);
    if (s.size() < col + text.size())
        s.append(text, s.size() - col, std::string::npos);
}

std::string num(unsigned long v, int width)
{
    char b[32];
    snprintf(b, sizeof b, "%0*lu", width, v);
    return b;
}

std::string hhmm(const struct tm& t) { return num(t.tm_hour, 2) + ":" + num(t.tm_min, 2); }

std::string mmdd(const struct tm& t) { return num(t.tm_mon + 1, 2) + "/" + num(t.tm_mday, 2); }

class Gen {
public:
    Gen(const Layout& l, uint64_t seed, time_t start, bool noise)
        : L(l), rng{seed}, now(start), noise(noise) {}

    void run(unsigned long lines)
    {
        limit = lines;
        while (written < limit)
            call();
    }

    unsigned long written = 0, calls = 0, meters = 0, charges = 0, noises = 0;

private:
    const Layout& L;
    Rng rng;
    time_t now;
    bool noise;
    unsigned long limit = 0;
    unsigned seq = 0;
    unsigned long running = 0;
    std::string lasttrunk;
    std::string buf;

    void emit(const std::string& line)
    {
        if (written >= limit)
            return;
        buf += line;
        buf += '\n';
        written++;
        if (buf.size() >= 1 << 16)
            flush();
    }

public:
    void flush()
    {
        size_t done = 0;
        while (done < buf.size()) {
            ssize_t n = write(1, buf.data() + done, buf.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                perror("gensmdr: write");
                exit(1);
            }
            done += static_cast<size_t>(n);
        }
        buf.clear();
    }

private:
    std::string station()
    {
        std::string n = num(2100 + rng.below(800), 4);
        // Now and then the PABX prints a station without its letter.
        return rng.chance(30) ? n : "D" + n;
    }

    std::string trunk() { return "T004" + num(rng.below(1000), 3); }

    // A trunk other than the one of the call before, so that a charge line
    // meant for the next call is not taken by the call still held.
    std::string freshtrunk()
    {
        std::string t;
        do
            t = trunk();
        while (t == lasttrunk);
        return t;
    }

    std::string seqcol() { return num(seq++ % 1000, 3); }

    std::string record(char kind, const std::string& first, const std::string& second)
    {
        std::string s(1, kind);
        put(s, 2, seqcol());
        put(s, 6, "00");
        put(s, 9, first);
        put(s, 17, second);
        return s;
    }

    void chargeline(const std::string& trk, const struct tm& t)
    {
        char kind = rng.chance(500) ? 'A' : 'C';
        std::string s = record(kind, "", "");
        put(s, 18, trk.substr(1));
        put(s, L.date, mmdd(t) + " " + hhmm(t));
        if (kind == 'A')
            put(s, L.chargecode, std::to_string(1 + rng.below(999999)));
        else
            put(s, L.chargecode, num(rng.next() % 1000000000000ull, 12));
        emit(s);
        charges++;
    }

    void noiseline()
    {
        static const char* const fixed[] = {
            "*** SMDR PORT RESTART *** BUFFER CLEARED",
            "++++ TTY 04 LINK UP ++++ 0000",
            "",
            "\r",
            "SMDR BUFFER 75 PERCENT FULL",
        };
        std::string s;
        switch (rng.below(8)) {
        case 0: case 1: case 2: case 3: case 4:
            s = fixed[rng.below(5)];
            break;
        case 5:   // line noise: letters, blanks and the odd NUL byte
            for (unsigned n = 1 + rng.below(120); n > 0; n--) {
                unsigned r = rng.below(30);
                s += r < 26 ? static_cast<char>('A' + r) : r < 29 ? ' ' : '\0';
            }
            break;
        case 6:   // a line longer than any record
            s.assign(300 + rng.below(200), '*');
            break;
        default:  // a garbled date that is no record
            s = "ERR " + num(rng.below(100), 2) + "/" + num(rng.below(100), 2) + " TTY";
            break;
        }
        emit(s);
        noises++;
    }

    // An exchange prints a call's line when the call ends: the lines come in
    // the order of the calls' ends, and each shows its call's start.
    void call()
    {
        now += rng.below(3);
        // Mostly short calls, some long ones, now and then hours.
        unsigned dur = rng.chance(900) ? rng.below(600) : rng.chance(900) ? rng.below(3600) : rng.below(5 * 3600);
        time_t start = now - time_t(dur);
        struct tm t;
        gmtime_r(&start, &t);

        if (noise && rng.chance(5))
            noiseline();

        // The call's parties, its kind and whether it carries digits.
        std::string first, second, digits;
        char kind = 'N';
        bool out = false;
        unsigned r = rng.below(100);
        if (r < 62) {
            first = station();
            second = freshtrunk();
            out = true;
        } else if (r < 80) {
            first = (rng.chance(50) ? "A" : "T") + trunk().substr(1);
            second = station();
        } else if (r < 85) {
            kind = 'E';
            first = station();
            second = station();
        } else if (r < 89) {
            kind = 'S';
            first = trunk();
            second = trunk();
            digits = "9001 06" + num(running, 8);
        } else if (r < 95) {
            kind = 'L';
            first = station();
            second = freshtrunk();
            digits = "9001 00" + num(41 + rng.below(50), 2) + num(running, 8);
        } else if (r < 98) {
            first = "ATT001";
            second = trunk();
            digits = "9001 04" + num(running, 8);
        } else {
            first = station();   // a station to a conference bridge: no call
            second = "C" + num(2100 + rng.below(800), 4);
        }
        if (out) {
            digits = "9001 0" + num(2 + rng.below(8), 1) + num(rng.below(100), 2) + num(running, 7);
            if (rng.chance(90))
                chargeline(second, t);
        }
        running++;
        if (second[0] == 'T')
            lasttrunk = second;

        std::string s = record(kind, first, second);
        int shift = 0;
        if (kind == 'L') {
            put(s, 25, L.route);
            shift = 12;
        }
        put(s, L.date + shift, mmdd(t) + " " + hhmm(t));
        int col = L.duration + shift;
        if (L.seconds && rng.chance(500)) {
            put(s, L.date + shift + 11, ":" + num(t.tm_sec, 2));
            col += 3;
        }
        put(s, col, num(dur / 3600, 2) + ":" + num(dur / 60 % 60, 2) + ":" + num(dur % 60, 2));
        col += 8;
        if (rng.chance(20)) {
            put(s, col, "." + num(rng.below(100), 2) + " ");
            col += 4;
        } else {
            put(s, col, L.seconds ? "  " : " ");
            col += L.seconds ? 2 : 1;
        }
        if (!digits.empty())
            put(s, col, digits);
        if (noise && rng.chance(2))
            s = "%%NOISE%%" + s;
        emit(s);
        calls++;

        if (rng.chance(100)) {
            std::string m = "& 000 00";
            put(m, 25, num(rng.below(1000), 5) + L.metertail);
            emit(m);
            meters++;
        }
    }
};

void usage()
{
    fputs("usage: gensmdr [-s SEED] [-t 'YYYY-MM-DD HH:MM'] [-z] [-S] sl1x11rx|sl1x LINES\n"
          "  -s SEED   random seed (default 1)\n"
          "  -t WHEN   time of the first call (default 2026-12-01 00:00)\n"
          "  -z        sprinkle noise lines among the records\n"
          "  -S        print the counts of what was written on stderr\n",
          stderr);
    exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t seed = 1;
    const char* when = "2026-12-01 00:00";
    bool noise = false, stats = false;
    int c;
    while ((c = getopt(argc, argv, "s:t:zS")) != -1) {
        switch (c) {
        case 's': seed = strtoull(optarg, nullptr, 10); break;
        case 't': when = optarg; break;
        case 'z': noise = true; break;
        case 'S': stats = true; break;
        default: usage();
        }
    }
    if (argc - optind != 2)
        usage();
    const Layout* layout = nullptr;
    if (strcmp(argv[optind], "sl1x11rx") == 0)
        layout = &RX;
    else if (strcmp(argv[optind], "sl1x") == 0)
        layout = &SL1;
    else
        usage();
    char* end;
    unsigned long lines = strtoul(argv[optind + 1], &end, 10);
    if (*end || end == argv[optind + 1])
        usage();
    struct tm t = {};
    if (sscanf(when, "%d-%d-%d %d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min) != 5)
        usage();
    t.tm_year -= 1900;
    t.tm_mon -= 1;

    Gen g(*layout, seed, timegm(&t), noise);
    g.run(lines);
    g.flush();
    if (stats)
        fprintf(stderr, "lines %lu calls %lu meters %lu charges %lu noise %lu\n", g.written, g.calls,
                g.meters, g.charges, g.noises);
    return 0;
}
