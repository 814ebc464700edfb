// The SL-1 decoder: its line layout for the shared machine (start seconds,
// STRIPACC, no charge queue), its hooks and its value for the frame.
#include <cstdio>
#include <cstdlib>

#include "decoders.h"
#include "linedecoder.h"
#include "settings.h"

uint8_t sl1xstripacc = 4;

static int sl1stripacc() { return sl1xstripacc; }

static const linelayout sl1layout = {
    .anchor = 27,
    .lshift = 12,
    .party = {9, 17},
    .month = 25,
    .day = 28,
    .hour = 31,
    .colon = 33,
    .minute = 34,
    .secmark = 36,
    .second = 37,
    .durh = 37,
    .dot = 45,
    .digits = 47,
    .meter = 25,
    // Charge lines are dropped: no charge columns are read.
    .chargetrunk = 0,
    .chargecode = 0,
    .startfirst = true,
    .mask89 = true,
    .stripacc = sl1stripacc,
    .charge = nullptr,
    .release = nullptr,
};

// Reads a decimal number as atoi does (blanks, a sign, digits up to the
// first other character), kept modulo 256 so no value can overflow.
static uint8_t atoi256(const char* s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        s++;
    bool neg = *s == '-';
    if (*s == '-' || *s == '+')
        s++;
    unsigned v = 0;
    for (; *s >= '0' && *s <= '9'; s++)
        v = (v * 10 + static_cast<unsigned>(*s - '0')) & 0xff;
    return static_cast<uint8_t>(neg ? 0u - v : v);
}

static void init()
{
    if (opt.trace)
        fprintf(stderr, "pabxdep_init()\n");
    if (const char* v = getenv("STRIPACC")) {
        fprintf(stderr, "pabxdep_init() STRIPACC = %s\n", v);
        sl1xstripacc = atoi256(v);
    }
    if (opt.trace)
        fprintf(stderr, "pabxdep_init() envstripacc set to %d\n", sl1xstripacc);
}

static void status(int changed)
{
    if (opt.trace)
        fprintf(stderr, "pabxdep_status(%d)\n", changed);
}

const decoder sl1xdecoder = linedecoder<sl1layout>("3.11 SL1X       #2 ", 26, init, status);
