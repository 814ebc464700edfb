// The packed call record's accessors and codecs.
#include "record.h"

#include "settings.h"

#include <cstdlib>
#include <cstring>

static char bcdbuf[7];     // shared by bcdtext and bcdnumber
static char chgbuf[13];
static char subbuf[256];

static bool isdig(char c) { return c >= '0' && c <= '9'; }

void packbcd(uint8_t* dst, const char* txt, int len)
{
    dst[0] = dst[1] = dst[2] = 0;
    if (len > 6)
        len = 6;
    int nib = 0;    // nibbles placed so far, counted from the right
    for (int i = len - 1; i >= 0; i--) {
        char c = txt[i];
        if (!isdig(c))
            continue;
        uint8_t d = static_cast<uint8_t>(c - '0');
        uint8_t& b = dst[2 - nib / 2];
        b |= (nib % 2) ? static_cast<uint8_t>(d << 4) : d;
        nib++;
    }
}

char* bcdtext(const uint8_t* bcd)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int i = 0; i < 3; i++) {
        bcdbuf[2 * i] = hex[bcd[i] >> 4];
        bcdbuf[2 * i + 1] = hex[bcd[i] & 0x0f];
    }
    bcdbuf[6] = '\0';
    return bcdbuf;
}

char* bcdnumber(const uint8_t* bcd)
{
    char* p = bcdtext(bcd);
    for (int i = 0; i < 5 && *p == '0'; i++)
        p++;
    return p;
}

char* chargetext(const callrec* rec)
{
    std::memcpy(chgbuf, bcdtext(rec->charge_hi), 6);
    std::memcpy(chgbuf + 6, bcdtext(rec->charge_lo), 6);
    chgbuf[12] = '\0';
    char* p = chgbuf;
    while (*p == '0')
        p++;
    return p;
}

// Collects the digits first, so that a blank or dash inside the code cannot
// shift the cut between the two halves: the last six digits always go low.
void setcharge(callrec* rec, const char* code, int len)
{
    if (!opt.longcodes && len > 6)
        len = 6;
    char digits[12];
    int n = 0;
    for (int i = 0; i < len && n < 12; i++)
        if (isdig(code[i]))
            digits[n++] = code[i];
    int split = n > 6 ? n - 6 : 0;
    packbcd(rec->charge_hi, digits, split);
    packbcd(rec->charge_lo, digits + split, n - split);
}

// Callers pass widths of at most 255; a longer one is cut so that the buffer
// cannot overflow.
char* fieldcopy(const char* txt, uint16_t off, uint16_t len)
{
    if (len > sizeof subbuf - 1)
        len = sizeof subbuf - 1;
    std::memcpy(subbuf, txt + off, len);
    subbuf[len] = '\0';
    return subbuf;
}

// The fields of a line are short, so they are read in place without a copy.
uint16_t fieldvalue(const char* txt, uint16_t width)
{
    if (width == 2 && isdig(txt[0]) && isdig(txt[1]))   // most fields: two digits
        return static_cast<uint16_t>((txt[0] - '0') * 10 + (txt[1] - '0'));
    if (width > 9)
        return static_cast<uint16_t>(std::strtol(fieldcopy(txt, 0, width), nullptr, 10));
    const char* p = txt;
    const char* end = txt + width;
    while (p < end && *p && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        p++;
    bool neg = false;
    if (p < end && (*p == '-' || *p == '+'))
        neg = *p++ == '-';
    long v = 0;
    for (; p < end && isdig(*p); p++)
        v = v * 10 + (*p - '0');
    return static_cast<uint16_t>(neg ? -v : v);
}

void setdialled(char* dialled, const char* last, int count)
{
    int n = count > 24 ? 24 : count;
    int pos = 23;
    for (int i = 0; i < n; i++) {
        char c = *(last - i);
        if (isdig(c))
            dialled[pos--] = c;
    }
    while (pos >= 0)
        dialled[pos--] = ' ';
    dialled[24] = '\0';
}

uint16_t getmeter(const callrec* rec)
{
    return static_cast<uint16_t>((rec->meter[0] | rec->meter[1] << 8) & 0x1fff);
}

void setmeter(callrec* rec, uint16_t m)
{
    m &= 0x1fff;
    rec->meter[0] = static_cast<uint8_t>(m);
    rec->meter[1] = static_cast<uint8_t>(m >> 8);
}

uint32_t getduration(const callrec* rec)
{
    const uint8_t* d = rec->duration;
    return d[0] | d[1] << 8 | static_cast<uint32_t>(d[2]) << 16 |
           static_cast<uint32_t>(d[3]) << 24;
}

void setduration(callrec* rec, uint32_t ticks)
{
    if (ticks > 0xffff)
        ticks = 0xffff;
    rec->duration[0] = static_cast<uint8_t>(ticks);
    rec->duration[1] = static_cast<uint8_t>(ticks >> 8);
    rec->duration[2] = 0;
    rec->duration[3] = 0;
}

uint32_t getstart(const callrec* rec)
{
    return rec->start_lo[0] | rec->start_lo[1] << 8 |
           static_cast<uint32_t>(rec->start_lo[2]) << 16 |
           static_cast<uint32_t>(rec->start_hi) << 24;
}

void setstart(callrec* rec, uint32_t ticks)
{
    rec->start_lo[0] = static_cast<uint8_t>(ticks);
    rec->start_lo[1] = static_cast<uint8_t>(ticks >> 8);
    rec->start_lo[2] = static_cast<uint8_t>(ticks >> 16);
    rec->start_hi = static_cast<uint8_t>(ticks >> 24);
}
