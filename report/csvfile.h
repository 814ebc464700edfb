// The administrator's CSV files (directory, tariff, trunk groups): fields
// separated by commas, a field in double quotes may hold commas, line
// breaks and "" for a quote; the first line names the columns, in any
// order. Every error names FILE:LINE.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file the report was given that cannot be used; the text says where.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A whole number of up to 9 digits, all of s, at most max.
bool wholenumber(std::string_view s, long max, long& v);

class CsvFile {
public:
    // Reads the header of in, named name in messages: every column of
    // required must be there; those of optional may be; any other name is
    // an error (a misspelt optional column would otherwise go unnoticed).
    CsvFile(std::istream& in, std::string name, std::vector<std::string> required,
            std::vector<std::string> optional = {});
    // Opens path; a file that cannot be opened is an InputError.
    static std::unique_ptr<std::istream> open(const std::string& path);

    // The next record, false at the end; blank lines are skipped.
    bool next();
    // Field of the column given at position col of required, then optional
    // (empty when an optional column is absent). Blanks around a field
    // that is not quoted are dropped.
    std::string_view field(size_t col) const;
    // The line the current record began on.
    long line() const { return recline_; }
    [[noreturn]] void fail(const std::string& what) const;

private:
    bool readrecord(std::vector<std::string>& out);

    std::istream& in_;
    std::string name_;
    long lineno_ = 0, recline_ = 0;
    std::vector<int> index_;        // column position in the file, -1 when absent
    std::vector<std::string> rec_;
    size_t width_ = 0;
};
