// The charge queue of morva-sl1x11rx: a charge line's code waits here, 44
// at most, until a call released on its trunk takes it.
#pragma once

#include <cstdint>

#include "record.h"

struct chargeentry {
    uint8_t trunk[3];   // BCD key, compared with a record's trunk
    char code[12];      // digits at their column positions, blanks elsewhere
};
static_assert(sizeof(chargeentry) == 15, "a charge entry is 15 bytes");

constexpr int CHARGESLOTS = 44;
struct chargequeue {
    chargeentry slot[CHARGESLOTS];
    uint8_t head;    // the slot the next entry goes to
    uint8_t tail;    // the oldest entry
    uint8_t count;   // entries held
};
// The decoder's one queue; tests and the fuzz harness look into it and
// start it afresh.
extern chargequeue chargeq;

// A charge line: its trunk (BCD) and the twelve characters of its code.
// A full queue gives up its oldest entry.
void chargeq_put(const uint8_t* trunk, const char* code);
// A released call takes the code of the oldest entry for its trunk.
void chargeq_take(callrec* rec);
