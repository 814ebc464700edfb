// The hourly files of a CDR tree: CDRDIR/MM_YYYY/DD_MM_YYYY/DD_MM_YYYY:HH.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cdrparse.h"

struct stat;

struct HourFile {
    std::string rel;         // path relative to the tree's root
    Hour hour;
    long long size = 0;      // size and modification time when found
    long long mtime_ns = 0;
};

// A file's modification time in nanoseconds, as a file's record keeps it.
long long mtime_ns(const struct stat& sb);

// The names of the three levels; each is true only for a name the packers
// make, whose date agrees with the levels above it.
bool monthdir(std::string_view name, int& month, int& year);
bool daydir(std::string_view name, int month, int year, int& day);
bool hourfile(std::string_view name, int day, int month, int year, int& hour);

// A path of the tree as messages name it: CDRDIR as given, a slash, and the
// path relative to it.
std::string treepath(const std::string& root, const std::string& rel);

// The hourly files under root, oldest hour first: regular files in
// directories, none reached through a symbolic link below root (root itself
// may be one). Anything else is ignored; a symbolic link named as a month,
// day or hour, and a directory that cannot be read, are named in problems.
std::vector<HourFile> findhours(const std::string& root, std::vector<std::string>& problems);

// Opens the hourly file rel under root for reading, one level at a time
// and following no symbolic link below root. On failure returns -1 with
// errno set (ELOOP for a symbolic link) and `at` naming the path that
// failed.
int openhour(const std::string& root, const std::string& rel, std::string& at);
