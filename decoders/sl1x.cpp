// The SL-1 decoder: its line layout for the shared machine (start seconds,
// STRIPACC, no charge queue), its build constants and its PABX hooks.
#include "linedecoder.h"

#include <cstdio>
#include <cstdlib>

const unsigned char etx = 0x0a;
const unsigned char petx = 26;
const char pakver[20] = "3.11 SL1X       #2 ";

uint8_t envstripacc = 4;

static int sl1stripacc() { return envstripacc; }

static const linelayout sl1layout = {
    .anchor = 27,
    .lcol = 39,
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
    .startfirst = true,
    .mask89 = true,
    .stripacc = sl1stripacc,
    .charge = nullptr,
    .release = nullptr,
};

int packrec(callrec* rec) { return linepack(sl1layout, rec); }

// At exit the held call is delivered once.
int dequeue(callrec* rec) { return linedrain(sl1layout, rec); }

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

void pabxdep_init()
{
    if (opt.trace)
        fprintf(stderr, "pabxdep_init()\n");
    if (const char* v = getenv("STRIPACC")) {
        fprintf(stderr, "pabxdep_init() STRIPACC = %s\n", v);
        envstripacc = atoi256(v);
    }
    if (opt.trace)
        fprintf(stderr, "pabxdep_init() envstripacc set to %d\n", envstripacc);
    fflush(stderr);
}

void pabxdep_status(int changed)
{
    if (opt.trace) {
        fprintf(stderr, "pabxdep_status(%d)\n", changed);
        fflush(stderr);
    }
}
