// The frame's shared state: settings, counters and the working buffers.
// Single instances for the life of the process; nothing is allocated.
#include "morva.h"

uint8_t nopause = 1;
uint8_t dodebug = 0;
uint8_t doXdebug = 0;
uint8_t dodumpt = 0;
uint8_t dolograw = 0;
uint8_t dtvalidate = 1;
const char* rawfile = "rawsmdr";
const char* inpath = "";
const char* cdrdir = "";
const char* handshakeport = nullptr;
uint8_t sector0[512];
uint8_t crjcode = 0;
uint8_t stnlow[3];
uint8_t stnhigh[3];

pakops pakrop;
uint32_t reccount = 0;
uint32_t lastreccount = 0;
uint32_t flushingpacker = 0;

uint8_t rawbuf[256];
callrec pkcall;
