// Reads a CDR line back into typed fields and checks its end time against
// the hour of the file it was found in.
#include "cdrparse.h"

#include <array>
#include <cstdio>

#include "cdrschema.h"
#include "civil.h"

namespace {

bool isdigits(std::string_view s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// An unsigned decimal up to max; the packers write none for zero.
bool number(std::string_view s, long max, long& v)
{
    v = 0;
    if (s.size() > 6 || !isdigits(s))
        return false;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v <= max;
}

int twodigits(std::string_view s) { return (s[0] - '0') * 10 + (s[1] - '0'); }

}  // namespace

std::string CdrRow::key() const
{
    char nums[64];
    std::snprintf(nums, sizeof nums, "|%ld|%ld|", duration, meter);
    std::string k;
    k.append(first).append(1, '|').append(second).append(1, '|').append(dialled);
    k.append(1, '|').append(std::to_string(end)).append(nums).append(charge);
    return k.append(1, '|').append(std::to_string(type));
}

const char* parse_cdr(std::string_view line, const Hour& h, CdrRow& row)
{
    if (line.empty() || line[0] != ':')
        return "not a CDR line";
    std::array<std::string_view, 8> f;
    size_t n = 0, at = 1;
    for (;;) {
        size_t bar = line.find('|', at);
        if (n == f.size())
            return "not a CDR line";
        f[n++] = line.substr(at, bar == line.npos ? line.npos : bar - at);
        if (bar == line.npos)
            break;
        at = bar + 1;
    }
    if (n != f.size())
        return "not a CDR line";

    // A party is a station or trunk number: six digits, seven for a trunk
    // number one exchange model widens.
    if (f[0].size() > 7 || !isdigits(f[0]))
        return "bad first party";
    if (f[1].size() > 7 || !isdigits(f[1]))
        return "bad second party";
    if (f[2].size() > 24 || !isdigits(f[2]))
        return "bad dialled digits";

    // The year shows as years since 1900 before 2000 and since 2000 after,
    // three digits from 2100 on.
    std::string_view when = f[3];
    if ((when.size() != 12 && when.size() != 13) || !isdigits(when))
        return "bad end date and time";
    // Compared number by number: a line of every call, no text made.
    std::string_view year = when.substr(4, when.size() - 10);
    int yy = 0;
    for (char c : year)
        yy = yy * 10 + (c - '0');
    if (twodigits(when) != h.day || twodigits(when.substr(2)) != h.month ||
        yy != (h.year < 2000 ? h.year - 1900 : h.year - 2000) || (yy >= 100) != (year.size() == 3) ||
        twodigits(when.substr(when.size() - 6)) != h.hour)
        return "end date and hour disagree with the file's";
    int minute = twodigits(when.substr(when.size() - 4));
    int second = twodigits(when.substr(when.size() - 2));
    if (minute > 59 || second > 59)
        return "bad end date and time";

    long ticks;
    if (!number(f[4], 65535, ticks))
        return "bad duration";
    if (!number(f[5], 8191, row.meter))
        return "bad meter pulses";
    if (f[6].size() > 6 || !isdigits(f[6]))
        return "bad charge code";

    std::string_view t = f[7];
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (t.size() != 2 || hex(t[0]) < 0 || hex(t[1]) < 0)
        return "bad call type";
    row.type = hex(t[0]) * 16 + hex(t[1]);
    row.direction = cdrdirection(row.type).name;
    if (!row.direction)
        return "unknown call type";
    row.assisted = row.type & 0x40;

    row.first = f[0];
    row.second = f[1];
    row.dialled = f[2];
    row.end = daysfromcivil(h.year, h.month, h.day) * DAY + h.hour * 3600 + minute * 60 + second;
    row.duration = ticks * 4;
    row.charge = f[6];
    return nullptr;
}
