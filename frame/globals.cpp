// The frame's shared state: counters and the working buffers.
// Single instances for the life of the process; nothing is allocated.
#include "morva.h"

pakops pakrop;
uint32_t reccount = 0;
uint32_t lastreccount = 0;
uint32_t flushingpacker = 0;

uint8_t rawbuf[256];
callrec pkcall;
