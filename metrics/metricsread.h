// Reading back a metrics file in the Prometheus text format: the loader
// carries its counts over from the file of its last run, morva-check
// judges the files of the packers and the loader.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

struct MetricSample {
    std::string name;
    std::vector<std::pair<std::string, std::string>> labels;  // values unescaped
    double value = 0;

    // The value of a label, or nullptr when the series has none of that name.
    const std::string* label(std::string_view name) const;
};

// The samples of a text-format file; comments (HELP, TYPE) and blank lines
// are passed over, a sample's timestamp ignored. False with why naming the
// first line that is not a sample.
bool parsemetrics(std::string_view text, std::vector<MetricSample>& out, std::string& why);

// The text of a metrics file and its status, if it is a regular file of at
// most 1 MiB; false with why (errno kept: ENOENT for a missing file).
bool readmetrics(const std::string& path, std::string& text, struct stat& sb, std::string& why);

// The first sample of that name whose label lname (if given) is lvalue.
const MetricSample* findsample(const std::vector<MetricSample>& samples, std::string_view name,
                               std::string_view lname = {}, std::string_view lvalue = {});
