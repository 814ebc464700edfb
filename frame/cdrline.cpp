// The CDR line of a packed call, its small text helpers, the FUJ9600Lt8
// trunk-number rewrite, and the packed-record listing printed under -X.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "morva.h"

trec gnurt;              // end time of the call formcall saw last
uint8_t isfuj9600l = 0;  // set at the first FUJ9600Lt8 rewrite, never cleared
char iostr[8];           // a blank or digit, six more characters, NUL

constexpr int DIALLEN = 24;  // characters of the dialled field before its NUL

// True when the version tag names a FUJ9600Lt8 build at its sixth character.
int isfujtag(const char* tag)
{
    return strnlen(tag, 15) == 15 && memcmp(tag + 5, "FUJ9600Lt8", 10) == 0;
}

// The FUJ9600Lt8 exchange prints trunk numbers whose second digit is a
// group of eight: " d1 d2 d3..d6" becomes "d1 (8*d2 as two digits) d3..d6".
void dofuj96lt8()
{
    static int fujbuild = -1;   // the tag never changes: looked at once
    if (fujbuild < 0)
        fujbuild = isfujtag(pakver);
    if (!isfuj9600l && (!fujbuild || strlen(iostr + 1) != 6))
        return;
    isfuj9600l = 1;
    if (opt.trace) {
        fprintf(stderr, "isfuj9600l=%d Before [%s] len(iostr+1)=%d ", isfuj9600l, iostr,
                int(strlen(iostr + 1)));
        fflush(stderr);
    }
    iostr[0] = iostr[1];
    switch (iostr[2]) {
    case '0': iostr[1] = '0'; iostr[2] = '0'; break;
    case '1': iostr[1] = '0'; iostr[2] = '8'; break;
    case '2': iostr[1] = '1'; iostr[2] = '6'; break;
    case '3': iostr[1] = '2'; iostr[2] = '4'; break;
    default: break;
    }
    if (opt.trace) {
        fprintf(stderr, " After [%s]\n", iostr);
        fflush(stderr);
    }
}

// A blank and the six digits of a BCD number, ready for the rewrite.
static void fillio(const uint8_t* bcd)
{
    iostr[0] = ' ';
    memcpy(iostr + 1, bcd2a(bcd), 7);
}

char* ctrk(const callrec* rec)
{
    fillio(rec->trunk);
    dofuj96lt8();
    return iostr;
}

// In a trunk-to-trunk call (both low bits of calltype) the station slot
// holds a trunk too, so only then does it get the trunk rewrite.
char* cstat(const callrec* rec)
{
    fillio(rec->station);
    if ((rec->calltype & 3) == 3) {
        dofuj96lt8();
        return iostr;
    }
    return iostr + 1;
}

char* cchg(const callrec* rec)
{
    strcpy(iostr, bcd2asc(rec->charge_lo));
    return iostr;
}

const char* cdial(const callrec* rec)
{
    return rec->dialled;
}

const char* lj(const char* s)
{
    while (*s == ' ')
        s++;
    return s;
}

const char* ljs(const char* s)
{
    s = lj(s);
    while (*s == '0')
        s++;
    return s;
}

// Years since 1984 as the line shows them: 84-99, then 00-99 from 2000,
// and three digits from 2100 on.
static int lineyear(int y)
{
    return y <= 15 ? y + 84 : y - 16;
}

// The line is built by hand: it is made for every call, and printf's
// parsing of its formats cost more than all the rest of a record's way.
static char* puts0(char* p, const char* s)
{
    while (*s)
        *p++ = *s++;
    return p;
}

// "%lu" of a number.
static char* putdec(char* p, uint32_t v)
{
    char tmp[10];
    int n = 0;
    do
        tmp[n++] = char('0' + v % 10);
    while ((v /= 10) != 0);
    while (n)
        *p++ = tmp[--n];
    return p;
}

// "%02d" of a number that is never negative.
static char* put2(char* p, unsigned v)
{
    if (v >= 100)
        return putdec(p, v);
    *p++ = char('0' + v / 10);
    *p++ = char('0' + v % 10);
    return p;
}

// "%lu" of a number, or nothing for 0.
static char* putnz(char* p, uint32_t v)
{
    return v ? putdec(p, v) : p;
}

// line must hold 83 bytes: the longest line is 82 characters.
void formcall(char* line, const callrec* rec)
{
    to_jul(maketime(rec) + getduration(rec), &gnurt);

    int out = rec->calltype & 0x80;
    char* p = line;
    *p++ = ':';
    p = puts0(p, ljs(out ? ctrk(rec) : cstat(rec)));
    *p++ = '|';
    p = puts0(p, ljs(out ? cstat(rec) : ctrk(rec)));
    *p++ = '|';

    // The dialled field ends in a NUL when a decoder made it; the bound keeps
    // a damaged record from running past the field.
    const char* d = cdial(rec);
    const char* e = d + DIALLEN;
    while (d < e && *d == ' ')
        d++;
    while (d < e && *d)
        *p++ = *d++;
    *p++ = '|';

    p = put2(p, gnurt.date + 1u);
    p = put2(p, gnurt.month + 1u);
    p = put2(p, unsigned(lineyear(gnurt.year)));
    p = put2(p, gnurt.hour);
    p = put2(p, gnurt.minute);
    p = put2(p, gnurt.second);
    *p++ = '|';
    p = putnz(p, getduration(rec));
    *p++ = '|';
    p = putnz(p, getmeter(rec) & 0x1FFFu);
    *p++ = '|';
    p = puts0(p, ljs(cchg(rec)));
    *p++ = '|';
    static const char hex[] = "0123456789abcdef";
    *p++ = hex[rec->calltype >> 4];
    *p++ = hex[rec->calltype & 15];
    *p++ = '\n';
    *p = '\0';

    if (opt.trace) {
        fprintf(stderr, "formcall(): [%s", line);
        fflush(stderr);
    }
}

// Appends a formatted piece at buf + *n, never past cap bytes.
__attribute__((format(printf, 4, 5)))
static void addf(char* buf, size_t* n, size_t cap, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int k = vsnprintf(buf + *n, cap - *n, fmt, ap);
    va_end(ap);
    if (k > 0)
        *n += size_t(k) < cap - *n ? size_t(k) : cap - *n - 1;
}

// The listing is built in one buffer and written at once: one write on the
// unbuffered stderr instead of sixty.
void dumppak(const callrec* rec)
{
    char buf[512];
    size_t n = 0;
    const size_t cap = sizeof buf;

    const uint8_t* b = reinterpret_cast<const uint8_t*>(rec);
    for (size_t i = 0; i < sizeof *rec; i++)
        addf(buf, &n, cap, i == 15 ? " %02x\n" : " %02x", b[i]);
    addf(buf, &n, cap, "%s", "\n  DATE      TIME TYPE METER  DURATION                  DIALLED"
                              "  TRUNK  CHARGE-CODE STATION\n");
    addf(buf, &n, cap, "%s ", rptbin2asc(maketime(rec)));
    addf(buf, &n, cap, " %02x  ", rec->calltype);
    addf(buf, &n, cap, " %04d", getmeter(rec) & 0x1FFF);
    addf(buf, &n, cap, " %9s", hh_mm_ss(getduration(rec)));
    addf(buf, &n, cap, " %.*s", DIALLEN, rec->dialled);
    addf(buf, &n, cap, " %6s", bcd2asc(rec->trunk));
    addf(buf, &n, cap, " %12s", mkchg(rec));
    addf(buf, &n, cap, " %6s\n", bcd2asc(rec->station));
    fputs(buf, stderr);
    fflush(stderr);
}
