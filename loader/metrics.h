// The loader's figures for monitoring, in one metrics file per instance:
// its counts run across runs, carried over from the file the last run
// wrote, and start again from 0 only when the file is removed.
#pragma once

#include <string>

#include "loader.h"
#include "metricsfile.h"

class LoaderMetrics {
public:
    explicit LoaderMetrics(const std::string& path) : file_(path) {}

    // Takes the counts of the runs before from the file. False with why
    // when a file is there but cannot be read: the counts then start at 0.
    bool readprevious(std::string& why);

    // Adds this run and writes the file: success is a run that went through
    // the whole tree (exit status 0 or 1), ended and seconds the real time
    // at its end and its length.
    bool write(const Tally& run, bool success, double ended, double seconds, std::string& why);

private:
    MetricsFile file_;
    Tally total_;
    long long successes_ = 0, failures_ = 0;
    double lastsuccess_ = -1;  // none yet
};
