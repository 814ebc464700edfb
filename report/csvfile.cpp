// A small CSV reader with line numbers, for the files an administrator
// edits by hand or saves from a spreadsheet (a byte-order mark and CR LF
// line ends are taken as they come).
#include "csvfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

bool wholenumber(std::string_view s, long max, long& v)
{
    v = 0;
    if (s.empty() || s.size() > 9)
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return v <= max;
}

std::unique_ptr<std::istream> CsvFile::open(const std::string& path)
{
    auto f = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*f)
        throw InputError(path + ": cannot open: " + std::strerror(errno));
    return f;
}

CsvFile::CsvFile(std::istream& in, std::string name, std::vector<std::string> required,
                 std::vector<std::string> optional)
    : in_(in), name_(std::move(name))
{
    std::vector<std::string> head;
    if (!readrecord(head))
        fail("empty: the first line names the columns");
    if (!head.empty() && head[0].compare(0, 3, "\xEF\xBB\xBF") == 0)
        head[0].erase(0, 3);
    width_ = head.size();
    std::vector<std::string> all = required;
    all.insert(all.end(), optional.begin(), optional.end());
    index_.assign(all.size(), -1);
    for (size_t i = 0; i < head.size(); i++) {
        auto at = std::find(all.begin(), all.end(), head[i]);
        if (at == all.end())
            fail("unknown column \"" + head[i] + "\" (the columns are " + [&] {
                std::string s;
                for (auto& c : all)
                    s += (s.empty() ? "" : ",") + c;
                return s;
            }() + ")");
        if (index_[size_t(at - all.begin())] >= 0)
            fail("column \"" + head[i] + "\" given twice");
        index_[size_t(at - all.begin())] = int(i);
    }
    for (size_t i = 0; i < required.size(); i++)
        if (index_[i] < 0)
            fail("no column \"" + required[i] + "\" in the first line");
}

void CsvFile::fail(const std::string& what) const
{
    throw InputError(name_ + ":" + std::to_string(recline_) + ": " + what);
}

// One record into out; false at the end of the input. Quoted fields keep
// their blanks; unquoted ones lose those around them.
bool CsvFile::readrecord(std::vector<std::string>& out)
{
    out.clear();
    int c = in_.get();
    if (c == EOF) {
        // A failed read is no end of file: a folder given as a file, an I/O error.
        if (in_.bad()) {
            recline_ = lineno_ + 1;
            fail("cannot be read");
        }
        return false;
    }
    recline_ = ++lineno_;
    std::string field;
    bool quoted = false, wasquoted = false;
    auto endfield = [&] {
        if (!wasquoted) {
            size_t a = field.find_first_not_of(" \t");
            size_t b = field.find_last_not_of(" \t");
            field = a == field.npos ? std::string() : field.substr(a, b - a + 1);
        }
        out.push_back(std::move(field));
        field.clear();
        wasquoted = false;
    };
    for (;; c = in_.get()) {
        if (quoted) {
            if (c == EOF)
                fail(in_.bad() ? "cannot be read" : "a quoted field is not closed");
            if (c == '"') {
                if (in_.peek() == '"') {
                    in_.get();
                    field += '"';
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n')
                    lineno_++;
                field += char(c);
            }
            continue;
        }
        if (c == EOF && in_.bad())
            fail("cannot be read");
        if (c == EOF || c == '\n') {
            if (!field.empty() && field.back() == '\r')
                field.pop_back();
            endfield();
            return true;
        }
        if (c == ',') {
            endfield();
        } else if (c == '"' && field.find_first_not_of(" \t") == field.npos && !wasquoted) {
            field.clear();
            quoted = wasquoted = true;
        } else if (wasquoted) {
            if (c != ' ' && c != '\t' && c != '\r')
                fail("text after a quoted field");
        } else {
            field += char(c);
        }
    }
}

bool CsvFile::next()
{
    for (;;) {
        if (!readrecord(rec_))
            return false;
        if (rec_.size() == 1 && rec_[0].empty())
            continue;
        if (rec_.size() != width_)
            fail(std::to_string(rec_.size()) + " fields where the first line names " +
                 std::to_string(width_));
        return true;
    }
}

std::string_view CsvFile::field(size_t col) const
{
    int i = index_[col];
    return i < 0 ? std::string_view() : std::string_view(rec_[size_t(i)]);
}
