// The page's plots as inline SVG: no script, no font or picture fetched;
// each scales to the width of the page.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "calls.h"

// Calls by weekday (rows, Monday first) and hour of the day.
std::string heatmap(const std::array<std::array<long, 24>, 7>& calls);

// Calls per day, stacked by direction; firstday is the day count of the first.
std::string daybars(const std::vector<std::array<long, NDIRS>>& perday, long long firstday);

// The average day of a trunk group in one direction: erlangs per quarter
// hour averaged over the days with traffic, the highest day's as a line,
// and the busy hour (from quarter `start`, -1 for none) shaded.
std::string profile(const std::vector<long long>& secs, int start);
