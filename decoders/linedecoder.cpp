// The line-decoding machine: compacts a framed line, places it by its last
// "/", decodes call lines into the held call and releases that call when the
// next line comes. Each program supplies its column layout (linedecoder.h).
#include "linedecoder.h"

#include <cstring>

int slashat;
uint8_t ldo;
uint8_t sts;
callrec storecall;
datetime storetime;
uint8_t scvalid;
uint16_t mpulses;
uint8_t assist;
uint8_t accdigs, ddoffset;
int icnt, jcnt;

static callrec setaside;    // the previous held call while a new line decodes
static datetime asidetime;
static uint8_t savevalid;
static char tempbuff[24];   // collected digits, and the party shift
static datetime rt;

// The compacted line. Every fixed column lies at most 30 past the last "/",
// so with blanks after the line feed a short line reads as missing fields,
// never as bytes left over from an earlier, longer line.
static char lbuf[256 + 48];
static const char* lend;    // the line feed in lbuf

// The letter columns of the first and the second party.
static const int partycol[2] = {9, 17};

static bool isdig(char c) { return c >= '0' && c <= '9'; }

// Copies the record up to its line feed without NUL bytes and notes the
// last "/".
static void compact(const uint8_t* record)
{
    const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(record, '\n', 256));
    int len = nl ? int(nl - record) : 256;
    int j = 0;
    if (!std::memchr(record, 0, size_t(len))) {
        // The usual line, without NUL bytes: one copy.
        std::memcpy(lbuf, record, size_t(len));
        j = len;
        const void* slash = memrchr(lbuf, '/', size_t(len));
        slashat = slash ? int(static_cast<const char*>(slash) - lbuf) : 0;
    } else {
        slashat = 0;
        for (int i = 0; i < len; i++) {
            if (record[i] == 0)
                continue;
            if (record[i] == '/')
                slashat = j;
            lbuf[j++] = static_cast<char>(record[i]);
        }
    }
    lbuf[j] = '\n';
    lend = lbuf + j;
    std::memset(lbuf + j + 1, ' ', sizeof lbuf - j - 1);
}

int isnums(const char* text, int count)
{
    for (int i = 0; i < count; i++)
        if (!isdig(text[i]))
            return 0;
    return 1;
}

void fixfld(char* text, int count)
{
    for (int i = 0; i < count && !isdig(text[i]); i++)
        text[i] = '0';
}

int retcall(const linelayout& L, char* line, callrec* rec, int charge, const datetime* arrived)
{
    if (charge) {
        if (L.charge)
            L.charge(line);
        return 0;
    }
    checkcalltime(rec, arrived);
    if (L.release)
        L.release(rec);
    return 1;
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
static void readduration(const linelayout& L, const char* line, callrec* rec)
{
    const char* d = line + L.durh + ldo + sts;
    rt = datetime{0, 2, 0, 0, field2(d), field2(d + 3), field2(d + 6)};
    setduration(rec, toticks(&rt));
}

// The year is not on the line: it is the host's year when the record came,
// but a December line read in January belongs to the year before, and a
// January line read in December (a PABX clock a little ahead) to the next.
static int readstart(const linelayout& L, const char* line, const datetime* arrived, callrec* rec)
{
    const int s = ldo;
    uint16_t day = fieldvalue(line + L.day + s, 2);
    if (day == 0) {
        rejectedlines++;
        return 0;
    }
    uint8_t month = field2(line + L.month + s);
    rt.year = arrived->year;
    if (month == 12 && arrived->month == 0)
        rt.year--;
    else if (month == 1 && arrived->month == 11)
        rt.year++;
    rt.month = static_cast<uint8_t>(month - 1);
    rt.date = static_cast<uint8_t>(day - 1);
    rt.day = 0;
    rt.hour = field2(line + L.hour + s);
    rt.minute = field2(line + L.minute + s);
    rt.second = sts ? field2(line + L.second + s) : 0;
    setstart(rec, toticks(&rt));
    return 1;
}

int dofirst(const linelayout& L, char* line, const datetime* arrived, callrec* rec)
{
    const int s = ldo;
    if (line[L.anchor + s] != '/' || line[L.colon + s] != ':') {
        rejectedlines++;
        return 0;
    }
    switch (line[0]) {
    case 'A': case 'C':
        return retcall(L, line, rec, 1, nullptr);
    case 'E': case 'L': case 'N': case 'S': case 'X':
        break;
    default:
        return 0;
    }
    setcharge(rec, tempbuff, 0);

    // An "A" not followed by "T" is a trunk reached through the attendant; a
    // bare number is a station written without its letter.
    assist = 0;
    for (int col : partycol)
        if (line[col] == 'A' && line[col + 1] != 'T') {
            line[col] = 'T';
            assist = 1;
        }
    for (int col : partycol)
        if (isdig(line[col])) {
            std::memcpy(tempbuff, line + col, 6);
            std::memcpy(line + col + 1, tempbuff, 6);
            line[col] = 'D';
        }

    int type = calltypeof(line[9], line[17]);
    if (type < 0) {
        rejectedlines++;
        return 0;
    }
    if (type == 0 || (type == 0x89 && L.mask89 && !opt.maskparity))
        return 0;
    rec->calltype = static_cast<uint8_t>(type | (assist ? 0x40 : 0));

    if (L.secmark >= 0 && line[L.secmark + s] == ':')
        sts = 3;
    if (L.startfirst) {
        if (!readstart(L, line, arrived, rec))
            return 0;
        readduration(L, line, rec);
    } else {
        readduration(L, line, rec);
        if (!readstart(L, line, arrived, rec))
            return 0;
    }
    setmeter(rec, 0);

    fixfld(line + 10, 6);
    fixfld(line + 18, 6);
    if (type & 0x80) {
        packbcd(rec->trunk, line + 10, 6);
        packbcd(rec->station, line + 18, 6);
    } else {
        packbcd(rec->station, line + 10, 6);
        packbcd(rec->trunk, line + 18, 6);
    }

    // A call whose first party is a trunk carries no dialled digits.
    jcnt = 0;
    if (!(type & 0x80)) {
        accdigs = static_cast<uint8_t>(L.stripacc());
        ddoffset = line[L.dot + s + sts] == '.' ? 2 : 0;
        icnt = 0;
        for (const char* p = line + L.digits + s + sts + ddoffset; p < lend && jcnt < 24; p++) {
            if (!isdig(*p))
                continue;
            if (icnt++ < accdigs)
                continue;
            tempbuff[jcnt++] = *p;
        }
        if (jcnt == 0) {
            rejectedlines++;
            return 0;
        }
    }
    setdialled(rec->dialled, jcnt ? tempbuff + jcnt - 1 : tempbuff, jcnt);
    return 1;
}

// A line without a record "/" completes the held call with its meter pulses,
// or releases it with none when the meter field is not there.
static int contline(const linelayout& L, callrec* rec)
{
    const char* p = lbuf + slashat;
    bool valid = p[24] == ' ' && p[30] == ' ' && isnums(p + 25, 5);
    mpulses = valid ? fieldvalue(p + 25, 5) % 8192 : 0;
    if (!scvalid) {
        if (valid)
            rejectedlines++;
        return 0;
    }
    scvalid = 0;
    *rec = storecall;
    setmeter(rec, mpulses);
    return retcall(L, nullptr, rec, 0, &storetime);
}

int linepack(const linelayout& L, const uint8_t* record, const datetime* arrived, callrec* rec)
{
    compact(record);
    if (slashat < L.anchor)
        return contline(L, rec);

    sts = 0;
    ldo = slashat >= L.lcol && lbuf[slashat - L.lcol] == 'L' ? 12 : 0;
    if (scvalid) {
        setaside = storecall;
        asidetime = storetime;
        savevalid = 1;
    }
    scvalid = 0;
    if (dofirst(L, lbuf + slashat - L.anchor - ldo, arrived, rec)) {
        storecall = *rec;
        storetime = *arrived;
        scvalid = 1;
    }
    if (savevalid) {
        savevalid = 0;
        *rec = setaside;
        return retcall(L, nullptr, rec, 0, &asidetime);
    }
    return 0;
}

// The call held when the input ends is released as the next record line
// would release it, so the last call of a run is not lost.
int linedrain(const linelayout& L, callrec* rec)
{
    if (!scvalid)
        return 0;
    scvalid = 0;
    *rec = storecall;
    return retcall(L, nullptr, rec, 0, &storetime);
}

void linereset()
{
    scvalid = 0;
    savevalid = 0;
    slashat = 0;
    ldo = 0;
    sts = 0;
}
