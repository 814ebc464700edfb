// The hourly files of a CDR tree: CDRDIR/MM_YYYY/DD_MM_YYYY/DD_MM_YYYY:HH.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cdrparse.h"

struct HourFile {
    std::string rel;  // path relative to the tree's root
    Hour hour;
};

// The names of the three levels; each is true only for a name the packers
// make, whose date agrees with the levels above it.
bool monthdir(std::string_view name, int& month, int& year);
bool daydir(std::string_view name, int month, int year, int& day);
bool hourfile(std::string_view name, int day, int month, int year, int& hour);

// The hourly files under root, oldest hour first. Anything else is ignored;
// a directory that cannot be read is named in problems.
std::vector<HourFile> findhours(const std::string& root, std::vector<std::string>& problems);
