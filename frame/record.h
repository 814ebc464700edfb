// The packed call record, its accessors, and the codecs that fill it from a
// line's text: BCD numbers, the split charge code, the right-justified
// dialled digits and fixed-width decimal fields.
#pragma once

#include <cstddef>
#include <cstdint>

// 52 bytes, multi-byte integers little-endian. Byte arrays keep the layout
// exact whatever the host's alignment; use the accessors below.
struct callrec {
    uint8_t start_hi;      // 0: bits 24-31 of the start time (ticks, clock.h)
    uint8_t calltype;      // 1: bit 7 first party in trunk, bit 6 assisted
    uint8_t meter[2];      // 2-3: meter pulses in the low 13 bits
    uint8_t duration[4];   // 4-7: duration in ticks, at most 65535
    uint8_t start_lo[3];   // 8-10: bits 0-23 of the start time
    uint8_t trunk[3];      // 11-13: BCD
    uint8_t charge_lo[3];  // 14-16: BCD, last six digits of the charge code
    uint8_t station[3];    // 17-19: BCD
    uint8_t charge_hi[3];  // 20-22: BCD, the digits before the last six
    uint8_t spare1[3];     // 23-25: always zero
    char dialled[25];      // 26-50: 24 characters right-justified, then NUL
    uint8_t spare2;        // 51: always zero
};
static_assert(sizeof(callrec) == 52, "packed call record is 52 bytes");
static_assert(offsetof(callrec, calltype) == 1);
static_assert(offsetof(callrec, meter) == 2);
static_assert(offsetof(callrec, duration) == 4);
static_assert(offsetof(callrec, start_lo) == 8);
static_assert(offsetof(callrec, trunk) == 11);
static_assert(offsetof(callrec, charge_lo) == 14);
static_assert(offsetof(callrec, station) == 17);
static_assert(offsetof(callrec, charge_hi) == 20);
static_assert(offsetof(callrec, spare1) == 23);
static_assert(offsetof(callrec, dialled) == 26);
static_assert(offsetof(callrec, spare2) == 51);

uint32_t getstart(const callrec* rec);
void setstart(callrec* rec, uint32_t ticks);
uint32_t getduration(const callrec* rec);
void setduration(callrec* rec, uint32_t ticks);   // stores min(ticks, 65535)
uint16_t getmeter(const callrec* rec);            // masked to 13 bits
void setmeter(callrec* rec, uint16_t m);

// The digits among the first len characters of txt (six at most), packed
// right-aligned into three BCD bytes.
void packbcd(uint8_t* dst, const char* txt, int len);
// Three BCD bytes as six characters (nibbles above 9 as letters), and the
// same without its leading zeros (at least one character). Both texts live
// until the next call of either.
char* bcdtext(const uint8_t* bcd);
char* bcdnumber(const uint8_t* bcd);
// The charge code from the digits among len characters of code (twelve at
// most, six with short codes): its last six digits go to the low half.
void setcharge(callrec* rec, const char* code, int len);
// The charge code's twelve digits without their leading zeros.
char* chargetext(const callrec* rec);
// The dialled field: the digits among the last count characters up to and
// including last (24 at most looked at), right-justified behind blanks in
// 24 places, then a NUL.
void setdialled(char* dialled, const char* last, int count);

// The number at the head of a fixed-width field, read as strtol reads it
// (blanks, a sign, digits up to the first other character); an overlong
// field saturates as strtol does; the low 16 bits are kept.
uint16_t fieldvalue(const char* txt, uint16_t width);
// A copy of len bytes from txt + off (255 at most), then a NUL; it lives
// until the next call.
char* fieldcopy(const char* txt, uint16_t off, uint16_t len);
