// The tables as CSV files for a spreadsheet: one file a table, a header
// line of column names, seconds as seconds and amounts with four places.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "outfile.h"
#include "tables.h"

// One CSV record of cells.
std::string csvrecord(const std::vector<Cell>& cells);
std::string csvrecord(const std::vector<std::string>& fields);

class CsvOut {
public:
    // Checks that dir is a folder, and begins watch.csv there, which
    // the tally fills as it finds the entries.
    CsvOut(const std::string& dir, const Sites& sites);
    void watch(const CallLine& l) { *watch_ << csvrecord(watchrow(l, sites_)); }
    // Writes every table, and the quarter hours of each trunk group and
    // direction, under the files' temporary names.
    void write(const Tables& t, const Tally& tally, const Trunks& trunks);
    // The files, watch.csv among them, for OutFile::commitall.
    std::vector<OutFile*> files() const;

private:
    std::string dir_;
    const Sites& sites_;
    std::unique_ptr<OutFile> watch_;
    std::vector<std::unique_ptr<OutFile>> files_;
};
