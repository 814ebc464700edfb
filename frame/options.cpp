// main: the banner, the command-line options, the settings dump and the
// hand-over to the run loop. The options are the whole configuration.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include "morva.h"

void printpkid()
{
    fprintf(stderr, "KORVEL PABX Packer [%s]", pakver);
    fflush(stderr);
}

void usage()
{
    usageto(stderr);
}

void usageto(FILE* to)
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
    fflush(to);
}

// Reads an -e argument (width 2) or an -l or -h argument (width 6): one to
// width hexadecimal digits and nothing else. Anything else is refused, not
// read in part: "0x18" taken as 0 would switch the filter off unseen.
static unsigned long hexarg(int opt, const char* arg, size_t width)
{
    size_t len = strlen(arg);
    bool ok = len >= 1 && len <= width;
    unsigned long n = 0;
    for (size_t i = 0; ok && i < len; i++) {
        unsigned char c = static_cast<unsigned char>(arg[i]);
        ok = isxdigit(c);
        n = n * 16 + unsigned(isdigit(c) ? c - '0' : tolower(c) - 'a' + 10);
    }
    if (!ok) {
        fprintf(stderr, "ERROR: bad -%c value [%s]\n", opt, arg);
        usage();
        my_exit(1);
    }
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
    fprintf(stderr, "inputfile = [%s]\n", *inpath ? inpath : "stdin");
    fprintf(stderr, "handshakeport = [%s]\n", handshakeport ? handshakeport : "(null)");
    fprintf(stderr, "outputdir=[%s]\n", *cdrdir ? cdrdir : "stdout");
    fprintf(stderr, "nopause = %d\n", nopause);
    fprintf(stderr, "dodebug = %d\n", dodebug);
    fprintf(stderr, "doXdebug = %d\n", doXdebug);
    fprintf(stderr, "dodumpt = %d\n", dodumpt);
    fprintf(stderr, "dolograw = %d\n", dolograw);
    fprintf(stderr, "rawfile = [%s]\n", rawfile);
    fprintf(stderr, "kal = %d (%s)\n", kal, kal == 1 ? "kal" : "nur");
    fprintf(stderr, "dtvalidate = %d\n", dtvalidate);
    fprintf(stderr, "systime = %d\n", systime);
    fprintf(stderr, "MASK parity flag = %02x\n", sector0[MASKPARITY]);
    fprintf(stderr, "crjcode = %02x\n", crjcode);
    fprintf(stderr, "stnlow  = %02x%02x%02x\n", stnlow[0], stnlow[1], stnlow[2]);
    fprintf(stderr, "stnhigh = %02x%02x%02x\n", stnhigh[0], stnhigh[1], stnhigh[2]);
    fputs("\n", stderr);
    fflush(stderr);
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
    // Paths are kept as the argument strings themselves: they live as long
    // as the process and are used whole, whatever their length.
    kal = 1;
    crjcode = 0;
    inpath = "";
    cdrdir = "";
    sector0[MASKPARITY] = 0;

    fputs("\n", stderr);
    printpkid();
    fputs("\n\n", stderr);
    fflush(stderr);

    enum { OPT_HELP = 256, OPT_VERSION };   // long options only
    static const struct option longopts[] = {
        {"help", no_argument, nullptr, OPT_HELP},
        {"version", no_argument, nullptr, OPT_VERSION},
        {nullptr, 0, nullptr, 0},
    };
    int c;
    while ((c = getopt_long(argc, argv, "i:H:o:nxXtrR:cmvMspe:l:h:", longopts, nullptr)) != -1) {
        switch (c) {
        case 'i': if (*optarg) inpath = optarg; break;
        case 'H': if (*optarg) handshakeport = optarg; break;
        case 'o': if (*optarg) cdrdir = optarg; break;
        case 'n': nopause = 0; break;
        case 'x': dodebug = 1; break;
        case 'X': dodebug = 1; doXdebug = 1; break;
        case 't': dodumpt = 1; break;
        case 'r': dolograw = 1; break;
        case 'R':
            dolograw = 1;
            if (*optarg) rawfile = optarg;
            break;
        case 'c': kal = 1; break;
        case 'm': kal = 0; break;
        case 'v': dtvalidate = 0; break;
        case 'M': sector0[MASKPARITY] = 4; break;
        case 's': systime = 1; break;
        case 'p': systime = 0; break;
        case 'e': crjcode = static_cast<uint8_t>(hexarg(c, optarg, 2)); break;
        case 'l': setstation(stnlow, hexarg(c, optarg, 6)); break;
        case 'h': setstation(stnhigh, hexarg(c, optarg, 6)); break;
        case OPT_HELP:
            usageto(stdout);
            exit(0);
        case OPT_VERSION:
            printf("%s %s\n", MORVA_PROGRAM, MORVA_VERSION);
            exit(0);
        default:
            usage();
            my_exit(1);
        }
    }
    // Nothing is read from an operand: "morva-sl1x11rx /dev/ttyS0" would
    // read standard input instead of the line meant.
    if (optind < argc) {
        fprintf(stderr, "ERROR: bad argument [%s]\n", argv[optind]);
        usage();
        my_exit(1);
    }

    if (!*inpath && !nopause) {
        fputs("ERROR: can't use pause with stdin mode\n", stderr);
        my_exit(1);
    }
    if (dodebug)
        dumpsettings();
    installsignals();
    alarm(0);
    morva(inpath);
}
