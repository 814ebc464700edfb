// The run's settings: the command line's options (main.cpp) over the
// defaults here. One instance, read by every module: written at start, and
// the raw-log switch also by SIGUSR1.
#pragma once

#include <cstdint>

struct settings {
    bool pause = false;          // -n: wait for a key before each record
    bool trace = false;          // -x: trace decisions
    bool tracerecords = false;   // -X: also the bytes, records and packed records
    bool tracetime = false;      // -t: trace time conversions
    bool rawlog = false;         // -r, -R: log every input byte; SIGUSR1 switches it
    bool checktime = true;       // -v switches the check of the exchange clock off
    bool hosttime = false;       // -s: stamp calls with the host's time, -p the exchange's
    bool longcodes = true;       // -c: 12-digit charge codes, -m: 6 digits
    bool maskparity = false;     // -M: the MASK parity flag
    uint8_t exclusion = 0;       // -e: exclusion code (filter.cpp)
    uint8_t stationlow[3] = {};  // -l: one end of the station range, BCD
    uint8_t stationhigh[3] = {}; // -h: the other end
    const char* rawpath = "rawsmdr";      // -R
    const char* input = "";               // -i; "" for standard input
    const char* cdrdir = "";              // -o: the CDR tree's root; "" for standard output
    const char* handshakeport = nullptr;  // -H: recorded and shown only
    const char* metrics = nullptr;        // --metrics: the metrics file
};

inline settings opt;
