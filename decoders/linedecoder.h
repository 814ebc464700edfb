// The line-decoding machine both decoders share: a framed line is placed by
// its last "/", a call line decoded into the held call, and the held call
// released when the next line comes. Each program gives its columns as a
// layout; a third exchange of this family is one more layout.
#pragma once

#include "decoder.h"

// Where a program's lines keep their fields. Columns count from the record
// letter of a line placed by its last "/". Every column from the month
// onward moves right by lshift on a shifted "L" line, and the duration, "."
// and digit columns also by 3 on a line with start seconds (":ss").
struct linelayout {
    int anchor;       // the date's "/": the last "/" of a record line
    int lshift;       // a record letter "L" this many columns further left shifts the line as far
    int party[2];     // the letters of the first and the second party, each followed by six digits
    int month, day, hour, colon, minute;
    int secmark;      // a ":" here announces start seconds; -1 when never
    int second;       // start seconds, read only after that ":"
    int durh;         // duration hours; its minutes at +3, its seconds at +6
    int dot;          // a "." here moves the dialled digits two columns right
    int digits;       // first column of the dialled digits
    int meter;        // a line without a record "/": five meter digits this far after its "/"
                      // (or its start), a blank on either side
    int chargetrunk;  // a charge line's trunk: six digits, not shifted
    int chargecode;   // and its code: twelve characters
    bool startfirst;  // convert the start before the duration, as the PABX's program does
    bool mask89;      // "A"/"D" to "A"/"D" (0x89) is a call only with the MASK flag
    int (*stripacc)();   // leading dialled digits to drop
    // What a charge line does with its trunk (BCD) and code; null drops it.
    void (*charge)(const uint8_t* trunk, const char* code);
    // What a release adds after the time check; may be null.
    void (*release)(callrec* rec);
};

// A decoder's pack and drain: nonzero when rec holds a released call. The
// drain releases the held call once.
int linepack(const linelayout& L, const uint8_t* record, const datetime* arrived, callrec* rec);
int linedrain(const linelayout& L, callrec* rec);

// The value of a decoder that is this machine reading layout L: records end
// at a line feed, and by default charge codes have 12 digits and calls the
// exchange's time.
template <const linelayout& L>
constexpr decoder linedecoder(const char* version, uint8_t minend, void (*init)(),
                              void (*status)(int))
{
    return {
        .endbyte = '\n',
        .minend = minend,
        .version = version,
        .longcodes = true,
        .hosttime = false,
        .init = init,
        .pack = [](const uint8_t* record, const datetime* arrived, callrec* rec) {
            return linepack(L, record, arrived, rec);
        },
        .drain = [](callrec* rec) { return linedrain(L, rec); },
        .status = status,
    };
}

// For tests: whether a call is held, and a fresh start without one.
bool lineholding();
void linereset();
