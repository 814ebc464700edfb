// The line-decoding machine: compacts a framed line, places it by its last
// "/", decodes a call line into the held call and releases that call when
// the next line comes.
#include "linedecoder.h"

#include <cstring>

#include "settings.h"
#include "timecheck.h"

// The call of the last call line, held until the next line releases it (a
// line without a record "/" may give it its meter pulses first).
static callrec held;
static datetime heldarrived;   // when its line was framed
static bool holding;

// Start seconds (":ss") move the duration, "." and digit columns this far.
constexpr int SECSHIFT = 3;

static bool isdig(char c) { return c >= '0' && c <= '9'; }

static bool alldigits(const char* text, int count)
{
    for (int i = 0; i < count; i++)
        if (!isdig(text[i]))
            return false;
    return true;
}

// A framed line without its NUL bytes. Every fixed column lies at most 30
// past the last "/", so with blanks after the line feed a short line reads
// as missing fields, never as bytes left over from an earlier, longer line.
struct compacted {
    char text[256 + 48];
    const char* end;   // the line feed
    int slash;         // the last "/", 0 if none
};

static void compact(const uint8_t* record, compacted* line)
{
    char* text = line->text;
    const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(record, '\n', 256));
    int len = nl ? int(nl - record) : 256;
    int j = 0;
    if (!std::memchr(record, 0, size_t(len))) {
        // The usual line, without NUL bytes: one copy.
        std::memcpy(text, record, size_t(len));
        j = len;
        const void* slash = memrchr(text, '/', size_t(len));
        line->slash = slash ? int(static_cast<const char*>(slash) - text) : 0;
    } else {
        line->slash = 0;
        for (int i = 0; i < len; i++) {
            if (record[i] == 0)
                continue;
            if (record[i] == '/')
                line->slash = j;
            text[j++] = static_cast<char>(record[i]);
        }
    }
    text[j] = '\n';
    line->end = text + j;
    std::memset(text + j + 1, ' ', sizeof line->text - j - 1);
}

// A record line placed by its "/": column c of the layout is at[c], and a
// shifted column at[c + shift] (at[c + shift + secs]).
struct placed {
    const char* at;    // the record letter
    const char* end;   // the line feed
    int shift;         // lshift on a shifted "L" line, else 0
    int secs;          // SECSHIFT on a line with start seconds, else 0
};

static placed place(const linelayout& L, const compacted& line)
{
    int shift = line.slash >= L.anchor + L.lshift &&
                        line.text[line.slash - L.anchor - L.lshift] == 'L'
                    ? L.lshift
                    : 0;
    const char* at = line.text + line.slash - L.anchor - shift;
    int secs = L.secmark >= 0 && at[L.secmark + shift] == ':' ? SECSHIFT : 0;
    return {at, line.end, shift, secs};
}

// A released call is checked against the time its own line came; then the
// layout adds what it keeps for it (a queued charge code).
static int release(const linelayout& L, callrec* rec, const datetime* arrived)
{
    checkcalltime(rec, arrived);
    if (L.release)
        L.release(rec);
    return 1;
}

// A party as its columns show it. An "A" not followed by "T" is a trunk
// reached through the attendant; a bare number is a station written
// without its letter (its seventh digit is lost).
struct party {
    char letter;
    const char* number;   // six characters
    bool assisted;
};

static party readparty(const char* at)
{
    if (at[0] == 'A' && at[1] != 'T')
        return {'T', at + 1, true};
    if (isdig(at[0]))
        return {'D', at, false};
    return {at[0], at + 1, false};
}

// Call type of the two party letters: 0 when they form no call, -1 when the
// first letter is no party at all.
static int calltypeof(char first, char second)
{
    int col;
    switch (second) {
    case 'A': col = 0; break;
    case 'C': col = 1; break;
    case 'D': col = 2; break;
    case 'T': col = 3; break;
    default: col = 4; break;
    }
    static const uint8_t table[4][5] = {
        {0x89, 0, 0x89, 0x02, 0},   // A
        {0, 0, 0, 0x01, 0},         // C
        {0x89, 0, 0x89, 0x01, 0},   // D
        {0x82, 0x81, 0x81, 0x03, 0} // T
    };
    switch (first) {
    case 'A': return table[0][col];
    case 'C': return table[1][col];
    case 'D': return table[2][col];
    case 'T': return table[3][col];
    default: return -1;
    }
}

static uint8_t field2(const char* at) { return static_cast<uint8_t>(fieldvalue(at, 2)); }

// Durations go through the clock as a time of day on the epoch day, so that
// hours beyond 23 count on into the following days.
static void readduration(const linelayout& L, const placed& l, callrec* rec)
{
    const char* d = l.at + L.durh + l.shift + l.secs;
    datetime t = {0, 2, 0, 0, field2(d), field2(d + 3), field2(d + 6)};
    setduration(rec, toticks(&t));
}

// The year is not on the line: it is the host's year when the record came,
// but a December line read in January belongs to the year before, and a
// January line read in December (a PABX clock a little ahead) to the next.
// A day 00 refuses the line.
static bool readstart(const linelayout& L, const placed& l, const datetime* arrived, callrec* rec)
{
    const char* at = l.at + l.shift;
    uint16_t day = fieldvalue(at + L.day, 2);
    if (day == 0) {
        rejectedlines++;
        return false;
    }
    uint8_t month = field2(at + L.month);
    datetime t;
    t.year = arrived->year;
    if (month == 12 && arrived->month == 0)
        t.year--;
    else if (month == 1 && arrived->month == 11)
        t.year++;
    t.month = static_cast<uint8_t>(month - 1);
    t.date = static_cast<uint8_t>(day - 1);
    t.day = 0;
    t.hour = field2(at + L.hour);
    t.minute = field2(at + L.minute);
    t.second = l.secs ? field2(at + L.second) : 0;
    setstart(rec, toticks(&t));
    return true;
}

// Start and duration in the layout's order: the order of the conversions
// can decide a local time that occurs twice.
static bool readtimes(const linelayout& L, const placed& l, const datetime* arrived, callrec* rec)
{
    if (L.startfirst) {
        if (!readstart(L, l, arrived, rec))
            return false;
        readduration(L, l, rec);
        return true;
    }
    readduration(L, l, rec);
    return readstart(L, l, arrived, rec);
}

// The dialled digits after the access digits the layout drops; none left
// refuses the line.
static bool readdialled(const linelayout& L, const placed& l, callrec* rec)
{
    const char* at = l.at + l.shift + l.secs;
    const char* p = at + L.digits + (at[L.dot] == '.' ? 2 : 0);
    int skip = L.stripacc();
    char digits[24];
    int n = 0;
    for (int seen = 0; p < l.end && n < 24; p++) {
        if (!isdig(*p))
            continue;
        if (seen++ < skip)
            continue;
        digits[n++] = *p;
    }
    if (n == 0) {
        rejectedlines++;
        return false;
    }
    setdialled(rec->dialled, digits + n - 1, n);
    return true;
}

// Decodes a call line into rec. False when it is no call: a refused line is
// counted, a line without a call type is not.
static bool decodecall(const linelayout& L, const placed& l, const datetime* arrived, callrec* rec)
{
    party first = readparty(l.at + L.party[0]);
    party second = readparty(l.at + L.party[1]);
    int type = calltypeof(first.letter, second.letter);
    if (type < 0) {
        rejectedlines++;
        return false;
    }
    if (type == 0 || (type == 0x89 && L.mask89 && !opt.maskparity))
        return false;
    rec->calltype = static_cast<uint8_t>(type | (first.assisted || second.assisted ? 0x40 : 0));
    if (!readtimes(L, l, arrived, rec))
        return false;

    // The first party is the trunk when it made the call; such a call
    // carries no dialled digits.
    bool trunkfirst = type & 0x80;
    packbcd(trunkfirst ? rec->trunk : rec->station, first.number, 6);
    packbcd(trunkfirst ? rec->station : rec->trunk, second.number, 6);
    if (trunkfirst) {
        setdialled(rec->dialled, "", 0);
        return true;
    }
    return readdialled(L, l, rec);
}

// A line with a record "/": a charge line goes to the layout, a call line
// becomes the held call.
static void recordline(const linelayout& L, const placed& l, const datetime* arrived)
{
    if (l.at[L.colon + l.shift] != ':') {
        rejectedlines++;
        return;
    }
    switch (l.at[0]) {
    case 'A': case 'C':
        if (L.charge) {
            uint8_t trunk[3];
            packbcd(trunk, l.at + L.chargetrunk, 6);
            L.charge(trunk, l.at + L.chargecode + l.shift);
        }
        return;
    case 'E': case 'L': case 'N': case 'S': case 'X':
        break;
    default:
        return;
    }
    callrec call{};
    if (decodecall(L, l, arrived, &call)) {
        held = call;
        heldarrived = *arrived;
        holding = true;
    }
}

// A line without a record "/" completes the held call with its meter
// pulses, or releases it with none when the meter field is not there.
static int meterline(const linelayout& L, const compacted& line, callrec* rec)
{
    const char* p = line.text + line.slash + L.meter;
    bool valid = p[-1] == ' ' && p[5] == ' ' && alldigits(p, 5);
    uint16_t pulses = valid ? fieldvalue(p, 5) % 8192 : 0;
    if (!holding) {
        if (valid)
            rejectedlines++;
        return 0;
    }
    holding = false;
    *rec = held;
    setmeter(rec, pulses);
    return release(L, rec, &heldarrived);
}

int linepack(const linelayout& L, const uint8_t* record, const datetime* arrived, callrec* rec)
{
    compacted line;
    compact(record, &line);
    if (line.slash < L.anchor)
        return meterline(L, line, rec);

    // The call held so far goes out after this line is decoded: a charge
    // line right after its call still gives it its code.
    bool had = holding;
    callrec before = held;
    datetime beforearrived = heldarrived;
    holding = false;
    recordline(L, place(L, line), arrived);
    if (!had)
        return 0;
    *rec = before;
    return release(L, rec, &beforearrived);
}

// The call held when the input ends is released as the next record line
// would release it, so the last call of a run is not lost.
int linedrain(const linelayout& L, callrec* rec)
{
    if (!holding)
        return 0;
    holding = false;
    *rec = held;
    return release(L, rec, &heldarrived);
}

bool lineholding() { return holding; }

void linereset() { holding = false; }
