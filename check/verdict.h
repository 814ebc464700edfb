// What morva-check concludes from the metrics files of packers and
// loaders: one status and one line in the monitoring-plugin convention.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "metricsread.h"

enum Status { OK = 0, WARNING = 1, CRITICAL = 2, UNKNOWN = 3 };

struct CheckSettings {
    double silent = 30 * 60;      // an exchange silent longer in business hours: CRITICAL
    unsigned days = 0x3e;         // business days, bit n for tm_wday n: Monday to Friday
    int opens = 8 * 60;           // business hours, local time, in minutes of the day
    int closes = 18 * 60;
    double rejectratio = 0.01;    // rejected lines per record above it: WARNING ...
    double minrecords = 100;      // ... from this many records on
    double restamped = 1;         // calls re-stamped since the packer started: WARNING
    double loaderage = 2 * 3600;  // no successful load for longer: CRITICAL
    double stale = 5 * 60;        // a packer's file not rewritten for longer: CRITICAL
    double loaderstale = 15 * 60; // a loader's file, written every five minutes
};

// One metrics file, as far as the check needs it; a time absent is -1.
struct FileFigures {
    std::string name;  // as shown: ttyS0, loader ttyS0
    bool loader = false;
    double mtime = 0;
    // A packer's.
    double start = -1, lastrecord = -1;
    double records = 0, rejected = 0, writeerrors = 0;
    double ahead = 0, behind = 0, backwards = 0;
    // A loader's.
    double lastsuccess = -1, failures = 0, rows = 0, bad = 0;
};

// The figures of a packer's or a loader's file; false with why for
// another file or one that lacks a series the check needs.
bool figures(const std::vector<MetricSample>& samples, double mtime, FileFigures& f,
             std::string& why);

struct Verdict {
    Status status;
    std::string line;  // "MORVA OK - ... | perfdata", no line feed
};

// The verdict on the files read, and on those that could not be (each
// problem as "PATH: reason"), at the time now.
Verdict judge(const std::vector<FileFigures>& files, const std::vector<std::string>& unreadable,
              const CheckSettings& s, time_t now);
