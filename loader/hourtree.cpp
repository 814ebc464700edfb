// Finds the hourly files of a CDR tree by their names.
#include "hourtree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

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

// An open directory of the tree.
struct Dir {
    DIR* d = nullptr;
    // Takes fd over; on failure d stays null and errno is kept.
    explicit Dir(int fd)
    {
        if (fd >= 0 && !(d = fdopendir(fd))) {
            int err = errno;
            close(fd);
            errno = err;
        }
    }
    ~Dir()
    {
        if (d)
            closedir(d);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
};

struct Entry {
    std::string name;
    struct stat st;
};

// The entries of a directory whose names pass keep, as they are themselves
// and not what a symbolic link points to. Links are named in problems and
// left out. False with errno set when the directory cannot be read.
template <class Keep>
bool entries(const Dir& dir, const std::string& path, Keep keep, std::vector<Entry>& out,
             std::vector<std::string>& problems)
{
    if (!dir.d)
        return false;
    for (;;) {
        errno = 0;
        dirent* e = readdir(dir.d);
        if (!e)
            return errno == 0;
        Entry en{e->d_name, {}};
        if (!keep(en.name) || fstatat(dirfd(dir.d), e->d_name, &en.st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since listed: as if never there
        if (S_ISLNK(en.st.st_mode))
            problems.push_back(treepath(path, en.name) + ": a symbolic link: skipped");
        else
            out.push_back(std::move(en));
    }
}

// A directory below root, never through a link at its own name.
int opensub(const Dir& parent, const std::string& name)
{
    return openat(dirfd(parent.d), name.c_str(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

long long mtime_ns(const struct stat& sb)
{
    return (long long)sb.st_mtim.tv_sec * 1000000000LL + sb.st_mtim.tv_nsec;
}

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

std::string treepath(const std::string& root, const std::string& rel)
{
    return root == "/" ? root + rel : root + '/' + rel;
}

std::vector<HourFile> findhours(const std::string& root, std::vector<std::string>& problems)
{
    std::vector<HourFile> found;
    auto unreadable = [&](const std::string& dir) {
        const char* why = std::strerror(errno);
        problems.push_back(dir + ": cannot read the directory: " + why);
    };
    int month, year, day, hour;
    auto ismonth = [](const std::string& n) { int m, y; return monthdir(n, m, y); };

    Dir top(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<Entry> months;
    if (!entries(top, root, ismonth, months, problems))
        unreadable(root);
    for (const Entry& m : months) {
        if (!S_ISDIR(m.st.st_mode) || !monthdir(m.name, month, year))
            continue;
        std::string mdir = treepath(root, m.name);
        auto isday = [&](const std::string& n) { int d; return daydir(n, month, year, d); };
        Dir md(opensub(top, m.name));
        std::vector<Entry> days;
        if (!entries(md, mdir, isday, days, problems)) {
            unreadable(mdir);
            continue;
        }
        for (const Entry& d : days) {
            if (!S_ISDIR(d.st.st_mode) || !daydir(d.name, month, year, day))
                continue;
            std::string ddir = mdir + '/' + d.name;
            auto ishour = [&](const std::string& n) { int h; return hourfile(n, day, month, year, h); };
            Dir dd(opensub(md, d.name));
            std::vector<Entry> hours;
            if (!entries(dd, ddir, ishour, hours, problems)) {
                unreadable(ddir);
                continue;
            }
            for (const Entry& h : hours)
                if (S_ISREG(h.st.st_mode) && hourfile(h.name, day, month, year, hour))
                    found.push_back({m.name + '/' + d.name + '/' + h.name,
                                     {year, month, day, hour},
                                     (long long)h.st.st_size,
                                     mtime_ns(h.st)});
        }
    }
    auto when = [](const HourFile& f) {
        return std::tuple(f.hour.year, f.hour.month, f.hour.day, f.hour.hour);
    };
    std::sort(found.begin(), found.end(),
              [&](const HourFile& a, const HourFile& b) { return when(a) < when(b); });
    return found;
}

int openhour(const std::string& root, const std::string& rel, std::string& at)
{
    at = root;
    int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t from = 0; dir >= 0;) {
        size_t slash = rel.find('/', from);
        bool last = slash == rel.npos;
        std::string name = rel.substr(from, last ? rel.npos : slash - from);
        at = treepath(root, rel.substr(0, slash));
        // O_NONBLOCK: a FIFO put in a file's place must not hold the run.
        int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC |
                    (last ? O_NONBLOCK | O_NOCTTY : O_DIRECTORY);
        int fd = openat(dir, name.c_str(), flags);
        int err = errno;
        struct stat sb;
        if (fd < 0 && fstatat(dir, name.c_str(), &sb, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(sb.st_mode))
            err = ELOOP;  // O_DIRECTORY makes a link ENOTDIR: say what it is
        close(dir);
        errno = err;
        if (fd < 0 || last)
            return fd;
        dir = fd;
        from = slash + 1;
    }
    return -1;
}
