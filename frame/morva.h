// What the frame and the line decoders share: the interface a decoder
// defines, bound at link time, and the buffers and counter both reach.
#pragma once

#include <cstdint>

#include "clock.h"
#include "record.h"
#include "settings.h"
#include "timecheck.h"

// Interface of a line decoder: defined by the decoder, bound at link time.
int packrec(callrec* rec);      // nonzero when rec holds a released call
int dequeue(callrec* rec);      // at exit, nonzero while it delivers a call
void pabxdep_init();
void pabxdep_status(int changed);

// Build constants a decoder supplies.
extern const unsigned char etx;    // end byte of a record
extern const unsigned char petx;   // lowest index at which etx ends a record
extern const char pakver[20];      // version tag shown in the banner

// Counters.
struct pakops {
    uint32_t rejcnt;   // lines the decoder refused
};
extern pakops pakrop;

// The framed record, the host time when it was framed, and the one working
// call record.
extern uint8_t rawbuf[256];
extern datetime real_time_rec;
extern callrec pkcall;
