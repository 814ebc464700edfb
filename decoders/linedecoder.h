// The line-decoding machine both decoders share, driven by a layout that each
// program gives as data, and the decoder state the programs' own files reach.
#pragma once

#include "decoder.h"
#include "settings.h"
#include "timecheck.h"

// Where a program's record lines keep their fields. Columns count from the
// record start; every column from the month onward moves right by `ldo` on a
// shifted "L" line, and the duration, "." and digit columns also by `sts`.
struct linelayout {
    int anchor;       // column of the date "/": the last "/" of a record line
    int lcol;         // an "L" this far before the last "/" shifts the line by 12
    int month, day, hour, colon, minute;
    int secmark;      // a ":" here announces start seconds; -1 when never
    int second;       // start seconds, read only after that ":"
    int durh;         // duration hours; its minutes at +3, its seconds at +6
    int dot;          // a "." here moves the dialled digits two columns right
    int digits;       // first column of the dialled digits
    bool startfirst;  // convert the start before the duration, as the PABX's program does
    bool mask89;      // "A"/"D" to "A"/"D" (0x89) is a call only with the MASK flag
    int (*stripacc)();                 // leading dialled digits to drop
    void (*charge)(char* line);        // what a charge line does; null drops it
    void (*release)(callrec* rec);     // what a release adds after checkcalltime; may be null
};

// The machine behind packrec and dequeue.
int linepack(const linelayout& L, const uint8_t* record, const datetime* arrived, callrec* rec);
int linedrain(const linelayout& L, callrec* rec);   // releases the held call once
int dofirst(const linelayout& L, char* line, const datetime* arrived, callrec* rec);
// Releases rec (checked against the time its line arrived), or hands a
// charge line to the layout.
int retcall(const linelayout& L, char* line, callrec* rec, int charge, const datetime* arrived);
int isnums(const char* text, int count);
void fixfld(char* text, int count);
void linereset();   // forgets the held call: a fresh decoder, for tests

// Decoder state of the current line. Indices are ints: a line may be 255
// characters long.
extern int slashat;          // position of the last "/" of the compacted line, 0 if none
extern uint8_t ldo;          // 12 on a shifted "L" line, else 0
extern uint8_t sts;          // 3 when the call line carries start seconds, else 0
extern callrec storecall;    // the held call
extern datetime storetime;       // when the held call's line was framed
extern uint8_t scvalid;      // a call is held
extern uint16_t mpulses;     // meter pulses of the last continuation line
extern uint8_t assist;
extern uint8_t accdigs, ddoffset;
extern int icnt, jcnt;       // dialled digits seen and collected

// The charge queue of morva-sl1x11rx (chargeq.cpp).
struct chgentry {
    uint8_t trunk[3];   // BCD key, compared with a record's trunk
    char code[12];      // digits at their column positions, blanks elsewhere
};
static_assert(sizeof(chgentry) == 15, "a charge entry is 15 bytes");
constexpr int QUESIZE = 44;
extern chgentry queue[QUESIZE];
extern uint8_t head, tail, que;
void questore(char* line);    // the charge-line half of retcall
void quescan(callrec* rec);

