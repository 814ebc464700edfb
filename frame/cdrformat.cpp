// The CDR line of a packed call, the FUJ9600Lt8 trunk-number rewrite, and
// the packed-record listing printed under -X.
#include "cdrformat.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "settings.h"

bool groupsofeight = false;
static bool groupsbuild;   // the version tag names a FUJ9600Lt8 build

constexpr int DIALLEN = 24;  // characters of the dialled field before its NUL

// True when the version tag names a FUJ9600Lt8 build at its sixth character.
bool groupsofeighttag(const char* tag)
{
    return strnlen(tag, 15) == 15 && memcmp(tag + 5, "FUJ9600Lt8", 10) == 0;
}

void cdrformat_start(const char* versiontag)
{
    groupsbuild = groupsofeighttag(versiontag);
}

void regroup(char* number)
{
    if (!groupsofeight && (!groupsbuild || strlen(number + 1) != 6))
        return;
    groupsofeight = true;
    if (opt.trace)
        fprintf(stderr, "isfuj9600l=%d Before [%s] len(iostr+1)=%d ", int(groupsofeight), number,
                int(strlen(number + 1)));
    number[0] = number[1];
    switch (number[2]) {
    case '0': number[1] = '0'; number[2] = '0'; break;
    case '1': number[1] = '0'; number[2] = '8'; break;
    case '2': number[1] = '1'; number[2] = '6'; break;
    case '3': number[1] = '2'; number[2] = '4'; break;
    default: break;
    }
    if (opt.trace)
        fprintf(stderr, " After [%s]\n", number);
}

// A party's number as the line takes it: a blank and the six digits of its
// BCD bytes in buf (8 bytes), the rewrite applied to a trunk. Returns where
// the text starts.
static const char* party(const uint8_t* bcd, bool trunk, char* buf)
{
    buf[0] = ' ';
    memcpy(buf + 1, bcdtext(bcd), 7);
    if (!trunk)
        return buf + 1;
    regroup(buf);
    return buf;
}

// In a trunk-to-trunk call (both low bits of calltype) the station slot
// holds a trunk too, so only then does it get the trunk rewrite.
static const char* stationparty(const callrec* rec, char* buf)
{
    return party(rec->station, (rec->calltype & 3) == 3, buf);
}

static const char* trunkparty(const callrec* rec, char* buf)
{
    return party(rec->trunk, true, buf);
}

// A number as the line shows it: no leading blanks, no leading zeros.
static const char* skipzeros(const char* s)
{
    while (*s == ' ')
        s++;
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

cdrline formatcdr(const callrec* rec)
{
    cdrline line;
    datetime& end = line.end;
    fromticks(getstart(rec) + getduration(rec), &end);

    // The first party is the trunk when it made the call (bit 7).
    bool out = rec->calltype & 0x80;
    char buf[8];
    char* p = line.text;
    *p++ = ':';
    p = puts0(p, skipzeros(out ? trunkparty(rec, buf) : stationparty(rec, buf)));
    *p++ = '|';
    p = puts0(p, skipzeros(out ? stationparty(rec, buf) : trunkparty(rec, buf)));
    *p++ = '|';

    // The dialled field ends in a NUL when a decoder made it; the bound keeps
    // a damaged record from running past the field.
    const char* d = rec->dialled;
    const char* e = d + DIALLEN;
    while (d < e && *d == ' ')
        d++;
    while (d < e && *d)
        *p++ = *d++;
    *p++ = '|';

    p = put2(p, end.date + 1u);
    p = put2(p, end.month + 1u);
    p = put2(p, unsigned(lineyear(end.year)));
    p = put2(p, end.hour);
    p = put2(p, end.minute);
    p = put2(p, end.second);
    *p++ = '|';
    p = putnz(p, getduration(rec));
    *p++ = '|';
    p = putnz(p, getmeter(rec) & 0x1FFFu);
    *p++ = '|';
    p = puts0(p, skipzeros(bcdnumber(rec->charge_lo)));
    *p++ = '|';
    static const char hex[] = "0123456789abcdef";
    *p++ = hex[rec->calltype >> 4];
    *p++ = hex[rec->calltype & 15];
    *p++ = '\n';
    *p = '\0';
    line.len = size_t(p - line.text);

    if (opt.trace)
        fprintf(stderr, "formcall(): [%s", line.text);
    return line;
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
void listcall(const callrec* rec)
{
    char buf[512];
    size_t n = 0;
    const size_t cap = sizeof buf;

    const uint8_t* b = reinterpret_cast<const uint8_t*>(rec);
    for (size_t i = 0; i < sizeof *rec; i++)
        addf(buf, &n, cap, i == 15 ? " %02x\n" : " %02x", b[i]);
    addf(buf, &n, cap, "%s", "\n  DATE      TIME TYPE METER  DURATION                  DIALLED"
                              "  TRUNK  CHARGE-CODE STATION\n");
    addf(buf, &n, cap, "%s ", datetext(getstart(rec)));
    addf(buf, &n, cap, " %02x  ", rec->calltype);
    addf(buf, &n, cap, " %04d", getmeter(rec) & 0x1FFF);
    addf(buf, &n, cap, " %9s", durationtext(getduration(rec)));
    addf(buf, &n, cap, " %.*s", DIALLEN, rec->dialled);
    addf(buf, &n, cap, " %6s", bcdnumber(rec->trunk));
    addf(buf, &n, cap, " %12s", chargetext(rec));
    addf(buf, &n, cap, " %6s\n", bcdnumber(rec->station));
    fputs(buf, stderr);
}
