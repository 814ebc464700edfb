// The checks behind cdrcheck.h. They restate the CDR line and the tree in
// their own terms rather than through the frame's code, so that a fault in
// the frame cannot hide itself.
#include "cdrcheck.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

void broken(const char* what, const char* text, size_t len)
{
    fprintf(stderr, "\nCDR check broken: %s: [%.*s]\n", what, int(len), text ? text : "");
    fflush(stderr);
    abort();
}

namespace {

struct field {
    const char* p;
    size_t n;
};

// The date and hour of a line's call end, as its date field shows them.
struct enddate {
    int day, month, year, hour, minute, second;
};

bool alldigits(const field& f)
{
    for (size_t i = 0; i < f.n; i++)
        if (f.p[i] < '0' || f.p[i] > '9')
            return false;
    return true;
}

long num(const char* p, size_t n)
{
    long v = 0;
    for (size_t i = 0; i < n; i++)
        v = v * 10 + (p[i] - '0');
    return v;
}

// A decimal number as the CDR line shows it: empty for zero, no leading
// zero, at most `width` digits and `max` in value.
bool plainnum(const field& f, size_t width, long max)
{
    return f.n <= width && alldigits(f) && (f.n == 0 || f.p[0] != '0') && num(f.p, f.n) <= max;
}

int monthdays(int month, int year)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : days[month - 1];
}

// Twelve digits DDMMYYhhmmss; thirteen (a three-digit year from 100) only
// past 2099. The host clocks the harness sets all lie after 2000.
bool parsedate(const field& f, enddate* d)
{
    if ((f.n != 12 && f.n != 13) || !alldigits(f))
        return false;
    const char* p = f.p;
    size_t yw = f.n - 10;
    d->day = int(num(p, 2));
    d->month = int(num(p + 2, 2));
    int yy = int(num(p + 4, yw));
    if (yw == 3 && yy < 100)
        return false;
    d->year = 2000 + yy;
    d->hour = int(num(p + 4 + yw, 2));
    d->minute = int(num(p + 6 + yw, 2));
    d->second = int(num(p + 8 + yw, 2));
    return d->month >= 1 && d->month <= 12 && d->day >= 1 &&
           d->day <= monthdays(d->month, d->year) && d->hour <= 23 && d->minute <= 59 &&
           d->second <= 59;
}

// The call types the decoders make: the party-letter table, with 0x40 for
// a trunk reached through the attendant.
bool knowntype(unsigned t)
{
    switch (t & ~0x40u) {
    case 0x89: case 0x82: case 0x81: case 0x03: case 0x02: case 0x01:
        return true;
    default:
        return false;
    }
}

bool excluded(const runfacts& f, uint32_t station)
{
    if (!(f.exclusion & 0x10))
        return false;
    uint32_t lo = f.lo < f.hi ? f.lo : f.hi, hi = f.lo < f.hi ? f.hi : f.lo;
    bool in = station >= lo && station <= hi;
    switch ((f.exclusion >> 2) & 3) {
    case 1: return in;
    case 2: return !in;
    default: return false;
    }
}

// Checks one line, s[0..n) ending in its newline; returns its end date.
enddate checkline(const char* s, size_t n, const runfacts& f)
{
    if (n < 2 || s[0] != ':' || s[n - 1] != '\n')
        broken("not a colon ... newline line", s, n);
    field fl[8];
    int k = 0;
    const char* start = s + 1;
    for (const char* p = s + 1; p < s + n; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '|' || p == s + n - 1) {
            if (k == 8)
                broken("more than eight fields", s, n);
            fl[k++] = field{start, size_t(p - start)};
            start = p + 1;
        } else if (c < 0x20 || c == 0x7f) {
            broken("control byte inside a field", s, n);
        }
    }
    if (k != 8)
        broken("fewer than eight fields", s, n);

    const field &first = fl[0], &second = fl[1], &dialled = fl[2], &date = fl[3];
    if (!plainnum(first, 6, 999999) || !plainnum(second, 6, 999999))
        broken("party field not a number of up to six digits", s, n);
    if (dialled.n > 24 || !alldigits(dialled))
        broken("dialled field not up to 24 digits", s, n);
    enddate d;
    if (!parsedate(date, &d))
        broken("date field not DDMMYYhhmmss", s, n);
    if (!plainnum(fl[4], 5, 65535))
        broken("duration not a tick count", s, n);
    if (!plainnum(fl[5], 4, 8191))
        broken("meter not a 13-bit count", s, n);
    if (!plainnum(fl[6], 6, 999999))
        broken("charge field not a number of up to six digits", s, n);
    const field& type = fl[7];
    auto lowhex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    if (type.n != 2 || !lowhex(type.p[0]) || !lowhex(type.p[1]))
        broken("type not two lower-case hex digits", s, n);
    unsigned t = unsigned((type.p[0] <= '9' ? type.p[0] - '0' : type.p[0] - 'a' + 10) * 16 +
                 (type.p[1] <= '9' ? type.p[1] - '0' : type.p[1] - 'a' + 10));
    if (!knowntype(t))
        broken("call type no decoder makes", s, n);

    // A call whose first party is a trunk has no dialled digits; any other
    // call has some, or its line was refused.
    bool trunkfirst = t & 0x80;
    if (trunkfirst != (dialled.n == 0))
        broken("dialled digits where none belong, or none where they must", s, n);

    const field& station = trunkfirst ? second : first;
    if (excluded(f, uint32_t(num(station.p, station.n))))
        broken("an excluded station's call was written", s, n);

    if (f.timed) {
        // Moved calls end at a host time the frame saw, kept ones within
        // 72 hours before and 90 minutes after it; two hours more cover a
        // local hour shown twice or never.
        time_t end = localsecs(d.year, d.month, d.day, d.hour, d.minute, d.second);
        if (end < f.tmin - 74 * 3600 || end > f.tmax + 210 * 60)
            broken("call end far from the host time though the time check is on", s, n);
    }
    return d;
}

// Checks whole lines in buf[0..len); `hour`, when given, is the hour of the
// file holding them.
size_t checklines(const char* buf, size_t len, const runfacts& f, const enddate* hour)
{
    if (len > 0 && buf[len - 1] != '\n')
        broken("output ends inside a line", buf, len);
    size_t count = 0;
    const char* p = buf;
    const char* end = buf + len;
    while (p < end) {
        const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
        size_t n = size_t(nl - p) + 1;
        enddate d = checkline(p, n, f);
        if (hour && (d.day != hour->day || d.month != hour->month || d.hour != hour->hour ||
                     (d.year % 100 != hour->year % 100) || ((d.year >= 2100) != (hour->year >= 2100))))
            broken("line in another hour's file", p, n);
        count++;
        p += n;
    }
    return count;
}

// "dd" digits at p; -1 when any is not a digit.
int digits(const char* p, int n)
{
    int v = 0;
    for (int i = 0; i < n; i++) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

bool isdirat(int dfd, const char* name, bool dir)
{
    struct stat st;
    if (fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return dir ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

std::vector<char> filebuf;

void readall(int dfd, const char* name)
{
    int fd = openat(dfd, name, O_RDONLY);
    if (fd < 0)
        broken("hourly file cannot be read back", name, strlen(name));
    filebuf.clear();
    char chunk[4096];
    ssize_t k;
    while ((k = read(fd, chunk, sizeof chunk)) > 0)
        filebuf.insert(filebuf.end(), chunk, chunk + k);
    close(fd);
}

// Every entry of the directory dfd, "." and ".." left out; the names are
// copied so the caller may remove entries while going through them.
std::vector<std::string> entries(int dfd)
{
    std::vector<std::string> names;
    int fd = dup(dfd);
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        broken("tree directory cannot be listed", nullptr, 0);
    }
    while (struct dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    closedir(d);
    return names;
}

}  // namespace

size_t checkstream(const char* buf, size_t len, const runfacts& f)
{
    return checklines(buf, len, f, nullptr);
}

size_t checktree(const char* root, const runfacts& f, bool show)
{
    size_t count = 0;
    int rfd = open(root, O_RDONLY | O_DIRECTORY);
    if (rfd < 0)
        broken("tree root is gone", root, strlen(root));
    for (const std::string& m : entries(rfd)) {
        const char* mn = m.c_str();
        // MM_YYYY
        if (m.size() != 7 || mn[2] != '_' || digits(mn, 2) < 1 || digits(mn, 2) > 12 ||
            digits(mn + 3, 4) < 0 || !isdirat(rfd, mn, true))
            broken("first level not a MM_YYYY directory", mn, m.size());
        int mfd = openat(rfd, mn, O_RDONLY | O_DIRECTORY);
        for (const std::string& dname : entries(mfd)) {
            const char* dn = dname.c_str();
            // DD_MM_YYYY of this month
            if (dname.size() != 10 || dn[2] != '_' || digits(dn, 2) < 1 ||
                memcmp(dn + 3, mn, 7) != 0 || !isdirat(mfd, dn, true))
                broken("second level not a DD_MM_YYYY directory of its month", dn, dname.size());
            int dfd = openat(mfd, dn, O_RDONLY | O_DIRECTORY);
            for (const std::string& h : entries(dfd)) {
                const char* hn = h.c_str();
                // DD_MM_YYYY:HH of this day
                int hour = h.size() == 13 ? digits(hn + 11, 2) : -1;
                if (h.size() != 13 || memcmp(hn, dn, 10) != 0 || hn[10] != ':' || hour < 0 ||
                    hour > 23 || !isdirat(dfd, hn, false))
                    broken("third level not a DD_MM_YYYY:HH file of its day", hn, h.size());
                readall(dfd, hn);
                if (filebuf.empty())
                    broken("empty hourly file", hn, h.size());
                if (show)
                    fprintf(stderr, "%s/%s/%s:\n%.*s", mn, dn, hn, int(filebuf.size()),
                            filebuf.data());
                enddate at{digits(dn, 2), digits(mn, 2), digits(mn + 3, 4), hour, 0, 0};
                count += checklines(filebuf.data(), filebuf.size(), f, &at);
                unlinkat(dfd, hn, 0);
            }
            close(dfd);
            unlinkat(mfd, dn, AT_REMOVEDIR);
        }
        close(mfd);
        unlinkat(rfd, mn, AT_REMOVEDIR);
    }
    close(rfd);
    return count;
}

time_t localsecs(int year, int month, int day, int hour, int minute, int second)
{
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return mktime(&tm);
}
