// What a line decoder offers the frame: a constant value that each
// program's main hands to run(). The frame never calls a decoder by name;
// a decoder knows of the frame only the headers it includes.
#pragma once

#include <cstdint>

#include "clock.h"
#include "record.h"

struct decoder {
    uint8_t endbyte;       // the byte that ends a record
    uint8_t minend;        // the lowest index at which it ends one: shorter records are dropped
    const char* version;   // the version tag the banner shows
    bool longcodes;        // 12-digit charge codes unless -m says 6
    bool hosttime;         // calls stamped with the host's time unless -p says otherwise
    void (*init)();        // once, before the first record
    // Decodes a record (up to its end byte, in a 256-byte buffer) framed at
    // the host time arrived; nonzero when rec holds a call it released.
    int (*pack)(const uint8_t* record, const datetime* arrived, callrec* rec);
    // At exit: nonzero while it releases a call it still holds.
    int (*drain)(callrec* rec);
    // After each status line; changed when records came since the last.
    void (*status)(int changed);
};

// Lines the decoder refused: it counts them, the status line shows them.
extern uint32_t rejectedlines;
