// mktime and localtime_r with the same results, answered from the local
// hours already seen where that is exact; the clock converts through them.
#pragma once

#include <ctime>

// zonemktime leaves tm as it came when it answers without the C library.
time_t zonemktime(struct tm* tm);
void zonelocaltime(time_t t, struct tm* tm);
void zoneforget();   // drops the hours seen
void zonereset();    // zoneforget, and the memory of the last conversion too
