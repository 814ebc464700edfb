// Finds the hourly files of a CDR tree by their names.
#include "hourtree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <tuple>

namespace {

// Exactly len digits at s, as a number.
bool num(std::string_view s, size_t len, int& v)
{
    if (s.size() != len)
        return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int monthdays(int month, int year)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap(year) ? 29 : days[month - 1];
}

// DD_MM_YYYY, a real date.
bool date(std::string_view s, int& day, int& month, int& year)
{
    return s.size() == 10 && s[2] == '_' && s[5] == '_' && num(s.substr(0, 2), 2, day) &&
           monthdir(s.substr(3), month, year) && day >= 1 && day <= monthdays(month, year);
}

// The names in a directory, or false with errno set.
bool names(const std::string& dir, std::vector<std::string>& out)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return false;
    errno = 0;
    while (dirent* e = readdir(d))
        out.emplace_back(e->d_name);
    int err = errno;
    closedir(d);
    errno = err;
    return err == 0;
}

bool isa(const std::string& path, mode_t type)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

}  // namespace

// The packers date their tree from 1984 on.
bool monthdir(std::string_view name, int& month, int& year)
{
    return name.size() == 7 && name[2] == '_' && num(name.substr(0, 2), 2, month) &&
           num(name.substr(3), 4, year) && month >= 1 && month <= 12 && year >= 1984;
}

bool daydir(std::string_view name, int month, int year, int& day)
{
    int m, y;
    return date(name, day, m, y) && m == month && y == year;
}

bool hourfile(std::string_view name, int day, int month, int year, int& hour)
{
    int d, m, y;
    return name.size() == 13 && name[10] == ':' && date(name.substr(0, 10), d, m, y) &&
           d == day && m == month && y == year && num(name.substr(11), 2, hour) && hour <= 23;
}

std::vector<HourFile> findhours(const std::string& root, std::vector<std::string>& problems)
{
    std::vector<HourFile> found;
    auto unreadable = [&](const std::string& dir) {
        const char* why = std::strerror(errno);
        problems.push_back(dir + ": cannot read the directory: " + why);
    };
    std::vector<std::string> months;
    if (!names(root, months)) {
        unreadable(root);
        return found;
    }
    for (const std::string& mname : months) {
        int month, year;
        std::string mdir = root + '/' + mname;
        if (!monthdir(mname, month, year) || !isa(mdir, S_IFDIR))
            continue;
        std::vector<std::string> days;
        if (!names(mdir, days)) {
            unreadable(mdir);
            continue;
        }
        for (const std::string& dname : days) {
            int day;
            std::string ddir = mdir + '/' + dname;
            if (!daydir(dname, month, year, day) || !isa(ddir, S_IFDIR))
                continue;
            std::vector<std::string> hours;
            if (!names(ddir, hours)) {
                unreadable(ddir);
                continue;
            }
            for (const std::string& hname : hours) {
                int hour;
                if (hourfile(hname, day, month, year, hour) &&
                    isa(ddir + '/' + hname, S_IFREG))
                    found.push_back({mname + '/' + dname + '/' + hname, {year, month, day, hour}});
            }
        }
    }
    auto when = [](const HourFile& f) {
        return std::tuple(f.hour.year, f.hour.month, f.hour.day, f.hour.hour);
    };
    std::sort(found.begin(), found.end(),
              [&](const HourFile& a, const HourFile& b) { return when(a) < when(b); });
    return found;
}
