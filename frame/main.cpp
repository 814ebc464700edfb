// main: the program's decoder handed to the frame, the banner, the
// command-line options, the settings dump and the run. The options are the
// whole configuration.
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include "decoders.h"
#include "metrics.h"
#include "runloop.h"
#include "settings.h"
#include "signals.h"

// This program's decoder: the build names it (CMakeLists.txt).
static const decoder& program = MORVA_DECODER;

static void banner()
{
    fprintf(stderr, "KORVEL PABX Packer [%s]", program.version);
}

static void usage(FILE* to)
{
    fputs("Usage: morva [-i smdrfile] [-H /dev/cua1] [-o cdrdir] [-n] [-x] [-X] [-t] [-r] [-R rawfile]] [-c | -m] [-v] [-M] [-s] -p] [-e XXcode] [-l lowstn] [-h highstn]\n"
          "   eg. morva -i n24.000 -n -c -v -x -e 15 -l 000100 -h 000199\n"
          "            -i will take calls from file n24.000\n"
          "            -H will handshake on this port\n"
          "            -n will pause between calls\n"
          "            -x will turn debugging on.\n"
          "            -X will turn Xtra debugging on.\n"
          "            -t will turn time struct debug on.\n"
          "            -r will turn raw data logging.\n"
          "            -R will set raw file.\n"
          "            -c set a KAL packer (ie. 12 digit charge codes) - DEFAULT\n"
          "            -m set a NUR packer (ie. 6 digit charge codes)\n"
          "            -v will turn date/time validation off.\n"
          "            -M set MASK parity flag for packer compat.\n"
          "            -s use PC system time.\n"
          "            -p use PABX time - DEFAULT\n"
          "            -e set call exclusion code to 15.\n"
          "              ( 15 - include only calls in station range with charge codes)\n"
          "            -l set station range low  to 000100\n"
          "            -h set station range high to 000199\n"
          "              (note: leading zeros are required).\n",
          to);
}

// A command line we cannot follow: the usage, and the orderly exit with
// status 1; getopt has said what was wrong.
[[noreturn]] static void refuse()
{
    usage(stderr);
    endrun(1);
}

// The same, after saying what was wrong.
[[noreturn]] __attribute__((format(printf, 1, 2))) static void refuse(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    refuse();
}

// Reads an -e argument (width 2) or an -l or -h argument (width 6): one to
// width hexadecimal digits and nothing else. Anything else is refused, not
// read in part: "0x18" taken as 0 would switch the filter off unseen.
static unsigned long hexarg(int letter, const char* arg, size_t width)
{
    size_t len = strlen(arg);
    bool ok = len >= 1 && len <= width;
    unsigned long n = 0;
    for (size_t i = 0; ok && i < len; i++) {
        unsigned char c = static_cast<unsigned char>(arg[i]);
        ok = isxdigit(c);
        n = n * 16 + unsigned(isdigit(c) ? c - '0' : tolower(c) - 'a' + 10);
    }
    if (!ok)
        refuse("ERROR: bad -%c value [%s]\n", letter, arg);
    return n;
}

static void setstation(uint8_t* stn, unsigned long n)
{
    stn[0] = (n >> 16) & 255;
    stn[1] = (n >> 8) & 255;
    stn[2] = n & 255;
}

static void dumpsettings()
{
    fprintf(stderr, "inputfile = [%s]\n", *opt.input ? opt.input : "stdin");
    fprintf(stderr, "handshakeport = [%s]\n", opt.handshakeport ? opt.handshakeport : "(null)");
    fprintf(stderr, "outputdir=[%s]\n", *opt.cdrdir ? opt.cdrdir : "stdout");
    fprintf(stderr, "nopause = %d\n", !opt.pause);
    fprintf(stderr, "dodebug = %d\n", opt.trace);
    fprintf(stderr, "doXdebug = %d\n", opt.tracerecords);
    fprintf(stderr, "dodumpt = %d\n", opt.tracetime);
    fprintf(stderr, "dolograw = %d\n", opt.rawlog);
    fprintf(stderr, "rawfile = [%s]\n", opt.rawpath);
    fprintf(stderr, "kal = %d (%s)\n", opt.longcodes, opt.longcodes ? "kal" : "nur");
    fprintf(stderr, "dtvalidate = %d\n", opt.checktime);
    fprintf(stderr, "systime = %d\n", opt.hosttime);
    fprintf(stderr, "MASK parity flag = %02x\n", opt.maskparity ? 4 : 0);
    fprintf(stderr, "crjcode = %02x\n", opt.exclusion);
    fprintf(stderr, "stnlow  = %02x%02x%02x\n", opt.stationlow[0], opt.stationlow[1], opt.stationlow[2]);
    fprintf(stderr, "stnhigh = %02x%02x%02x\n", opt.stationhigh[0], opt.stationhigh[1], opt.stationhigh[2]);
    fputs("\n", stderr);
}

// A standard descriptor left closed by whoever started us would be taken by
// the next file opened: the raw log would become stdout, an hourly file
// stderr. Hold each closed one with /dev/null, as daemons do.
static void holdstdfds()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int got = open("/dev/null", O_RDWR);
        if (got != fd) {
            // Lands only if stderr is open: nowhere else is safe.
            dprintf(2, "Can't open /dev/null  errno=%d\n", got < 0 ? errno : EBADF);
            exit(1);
        }
    }
}

int main(int argc, char** argv)
{
    holdstdfds();
    usedecoder(program);
    opt.longcodes = program.longcodes;
    opt.hosttime = program.hosttime;
    fputs("\n", stderr);
    banner();
    fputs("\n\n", stderr);

    enum { OPT_HELP = 256, OPT_VERSION, OPT_METRICS };   // long options only
    static const struct option longopts[] = {
        {"help", no_argument, nullptr, OPT_HELP},
        {"version", no_argument, nullptr, OPT_VERSION},
        {"metrics", required_argument, nullptr, OPT_METRICS},
        {nullptr, 0, nullptr, 0},
    };
    int c;
    while ((c = getopt_long(argc, argv, "i:H:o:nxXtrR:cmvMspe:l:h:", longopts, nullptr)) != -1) {
        // Paths are kept as the argument strings themselves: they live as
        // long as the process and are used whole, whatever their length.
        switch (c) {
        case 'i': if (*optarg) opt.input = optarg; break;
        case 'H': if (*optarg) opt.handshakeport = optarg; break;
        case 'o': if (*optarg) opt.cdrdir = optarg; break;
        case 'n': opt.pause = true; break;
        case 'x': opt.trace = true; break;
        case 'X': opt.trace = true; opt.tracerecords = true; break;
        case 't': opt.tracetime = true; break;
        case 'r': opt.rawlog = true; break;
        case 'R':
            opt.rawlog = true;
            if (*optarg) opt.rawpath = optarg;
            break;
        case 'c': opt.longcodes = true; break;
        case 'm': opt.longcodes = false; break;
        case 'v': opt.checktime = false; break;
        case 'M': opt.maskparity = true; break;
        case 's': opt.hosttime = true; break;
        case 'p': opt.hosttime = false; break;
        case 'e': opt.exclusion = static_cast<uint8_t>(hexarg(c, optarg, 2)); break;
        case 'l': setstation(opt.stationlow, hexarg(c, optarg, 6)); break;
        case 'h': setstation(opt.stationhigh, hexarg(c, optarg, 6)); break;
        case OPT_METRICS:
            if (!*optarg)
                refuse("ERROR: bad --metrics value [%s]\n", optarg);
            opt.metrics = optarg;
            metrics_start(optarg, MORVA_PROGRAM, MORVA_VERSION);
            break;
        case OPT_HELP:
            usage(stdout);
            exit(0);
        case OPT_VERSION:
            printf("%s %s\n", MORVA_PROGRAM, MORVA_VERSION);
            exit(0);
        default:
            refuse();
        }
    }
    // Nothing is read from an operand: "morva-sl1x11rx /dev/ttyS0" would
    // read standard input instead of the line meant.
    if (optind < argc)
        refuse("ERROR: bad argument [%s]\n", argv[optind]);
    if (!*opt.input && opt.pause)
        fatal(1, "ERROR: can't use pause with stdin mode\n");
    if (opt.trace)
        dumpsettings();
    installsignals();
    alarm(0);
    run();
}
