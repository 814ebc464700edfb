// The one shared header of the packer frame: the packed call record, trec,
// the settings and counters shared by the frame's parts, and the interface a
// line decoder defines. A decoder is linked to the frame, never included in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "settings.h"

// ---------------------------------------------------------------------------
// Packed call record: 52 bytes, multi-byte integers little-endian. Byte arrays
// keep the layout exact whatever the host's alignment; use the accessors below.
struct callrec {
    uint8_t start_hi;      // 0: bits 24-31 of the start time (jul ticks)
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

// Broken-down PABX time: 7 unsigned bytes.
struct trec {
    uint8_t year;    // years since 1984
    uint8_t month;   // 0 = January
    uint8_t date;    // day of the month, 0-based
    uint8_t day;     // weekday, 0 = Thursday
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
};
static_assert(sizeof(trec) == 7, "trec is 7 bytes");

// ---------------------------------------------------------------------------
// Interface of a line decoder: defined by the decoder, bound at link time.
int packrec(callrec* rec);      // nonzero when rec holds a released call
int dequeue(callrec* rec);      // at exit, nonzero while it delivers a call
void pabxdep_init();
void pabxdep_status(int changed);

// Build constants a decoder supplies.
extern const unsigned char etx;    // end byte of a record
extern const unsigned char petx;   // lowest index at which etx ends a record
extern const char pakver[20];      // version tag shown in the banner

// ---------------------------------------------------------------------------
// Counters.
struct pakops {
    uint32_t rejcnt;   // lines the decoder refused
};
extern pakops pakrop;
extern uint32_t reccount, lastreccount, flushingpacker;

// The framed record and the one working call record.
extern uint8_t rawbuf[256];
extern callrec pkcall;

// ---------------------------------------------------------------------------
// Run loop and exit (runloop.cpp).
[[noreturn]] void morva(const char* path);
int postpacker(int notpacked);
void dostats();
[[noreturn]] void my_exit(int code);
void flushpackerqueue();
void do_terminate(int sig);
void do_toglograw(int sig);
void do_alarm(int sig);
// Waits until fd is readable, handling signals that arrive meanwhile or that
// are pending when it is. Writes out the raw log first. Returns 1 when
// readable, 0 when a signal woke the wait (already handled), -1 on a failure
// of the wait itself (errno tells).
int waitinput(int fd);
// Lets pending signals in and does their work; cheap when none is pending.
void takesignals();
// Opens path without a wait that no signal could end: the open itself never
// waits, and a FIFO without a reader yet gives -1 with errno EINTR after a
// short wait in which signals were handled. Other failures: -1 and errno.
int openwait(const char* path, int flags, unsigned mode);
// Installs the handlers and blocks their signals outside the waits.
void installsignals();
// Waits, signals let in, until fd takes output again (fd < 0: a short pause
// before another try). Signals are only recorded here. Returns 0 to try
// again; -1 with errno ETIMEDOUT once a stop was asked for and the output
// has had its few seconds' grace, or with the wait's own errno.
int waitoutput(int fd);
// True while a raw-log toggle waits to be done: a raw log that waits for
// its reader then gives up the bytes it holds.
bool toggleasked();
// Takes an exclusive lock on fd, waiting as waitoutput does; 0 or -1.
int lockwait(int fd);
// Prints the message and ends the program through my_exit with code.
[[noreturn]] void fatal(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Options and banner (options.cpp).
void printpkid();
void usage();
void usageto(FILE* to);

// Framing and the raw log (framer.cpp).
extern int cdrfp;                    // input descriptor, -1 when closed
void handlerawrec();                 // frames a record; ends the program at end of input
int framerec();                      // frames a record: its length, 0 at end of input
int getraw_etx(int fd, uint8_t* buf);   // record length, 0 at end of input
int getrawbyte(int fd);              // the next byte, -1 at end of input
void lograwsmdr(size_t len, const uint8_t* bytes);
void rawlog_flush();                 // writes buffered raw bytes out
void rawlog_close();                 // flushes and closes the raw log
void dumpasc();

// Codecs of the packed record (record.cpp).
void cnvbcd(uint8_t* dst, const char* txt, int len);
char* bcd2a(const uint8_t* bcd);
char* bcd2asc(const uint8_t* bcd);
char* mkchg(const callrec* rec);
void dochg(callrec* rec, const char* code, uint8_t len);
char* substr(const char* txt, uint16_t off, uint16_t len);
uint16_t cnvbin(const char* txt, uint16_t width);
extern char ddigits[25];
void ddltor(const char* last, uint8_t count);
void c_dto8(const char* txt, char* dialled);
uint16_t getmeter(const callrec* rec);            // masked to 13 bits
void setmeter(callrec* rec, uint16_t m);
uint32_t getduration(const callrec* rec);
void setduration(callrec* rec, uint32_t ticks);   // stores min(ticks, 65535)
void setstart(callrec* rec, uint32_t ticks);

// Tick clock (clock.cpp). Jul ticks: 4-second ticks since 1 March 1984 local.
extern trec trecbase, real_time_rec;
extern uint32_t tm_trec_basediff;
extern struct tm tmbase, tm_now;
extern time_t secs_now;
void clocksetup();
// mktime and localtime_r, with the same results, answered from the hours
// already seen where that is exact (zonecache.cpp); zoneforget drops them.
// zonemktime leaves tm as it came when it answers without the C library.
time_t zonemktime(struct tm* tm);
void zonelocaltime(time_t t, struct tm* tm);
void zoneforget();
void zonereset();   // zoneforget, and the memory of the last conversion too
void zonerefresh();   // follows a change of the host's zone, once a minute
void getcurtime(trec* t);
void trec_to_tm(const trec* t, struct tm* tm);
void tm_to_trec(const struct tm* tm, trec* t);
uint32_t from_jul(const trec* t);
void to_jul(uint32_t ticks, trec* t);
uint32_t maketime(const callrec* rec);
char* rptbin2asc(uint32_t ticks);
char* hh_mm_ss(uint32_t ticks);
const char* mname(int16_t month);
void dumptm(const struct tm* tm);
void dumptrec(const trec* t);

// PABX time check (timecheck.cpp).
extern uint32_t prvetime;
extern char pabxerr;
extern char errmsg[19];
// Checks the call against the host time at which its own line was framed.
void tvalid(callrec* rec, const trec* arrived);

// Exclusion filter (filter.cpp).
int rejcall(const callrec* rec);
int inrange(const uint8_t* num, const uint8_t* lo, const uint8_t* hi);
int cmpbcd(const uint8_t* a, const uint8_t* b);

// CDR line and the -X listing (cdrline.cpp).
extern trec gnurt;
extern uint8_t isfuj9600l;
extern char iostr[8];
void formcall(char* line, const callrec* rec);
char* ctrk(const callrec* rec);
char* cstat(const callrec* rec);
char* cchg(const callrec* rec);
const char* cdial(const callrec* rec);
const char* lj(const char* s);
const char* ljs(const char* s);
void dofuj96lt8();
void dumppak(const callrec* rec);

// CDR store (cdrstore.cpp).
extern int firstoutcall;
extern trec lasttrec;
void output_call(const callrec* rec);
void cdrstore_flush();              // writes out the CDR lines made so far
void cdrstore_close();              // writes them out and closes the CDR output
