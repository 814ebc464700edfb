// Records out of the SMDR byte stream, and the raw log: an exact copy of
// every byte read while logging is on.
#pragma once

#include <cstdint>

#include "clock.h"

// The descriptor records are framed from, and its close at exit.
void setinput(int fd);
void closeinput();
// The decoder's end byte, and the lowest index at which it ends a record.
void setrecordend(uint8_t endbyte, int minend);
// Frames the next record and reads the host clock into arrived. Returns
// the record (up to its end byte, in a 256-byte buffer the next call
// reuses), or nullptr at the end of the input.
const uint8_t* framerecord(datetime* arrived);

// What the framer has taken from the input since the start.
struct inputfigures {
    uint64_t bytes;     // bytes read
    uint64_t records;   // records framed
};
inputfigures inputcounts();

void rawlog_flush();   // writes out the bytes logged so far
void rawlog_close();   // writes them out and closes the raw log
