// The report as one self-contained HTML page: inline CSS and SVG, no
// script, nothing fetched; laid out to print on A4 in portrait.
#pragma once

#include <string>
#include <vector>

#include "outfile.h"
#include "tables.h"

struct PageInfo {
    std::string database;                   // as messages name it: never a password
    std::vector<std::string> sites;         // the sites covered
    std::string tariff, directory, trunks;  // the files given; empty for none
    long long badrows = 0;                  // rows of the database not read
};

void writepage(OutFile& out, const PageInfo& info, const Tables& t, const Tally& tally,
               const Trunks& trunks);

// Text made safe for HTML.
std::string escape(std::string_view s);
