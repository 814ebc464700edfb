// Writing the CSV files.
#include "csvout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "civil.h"
#include "money.h"

namespace {

// A text field: one that begins as a spreadsheet formula does (=, +, -,
// @, a tab or a carriage return) gets a ' before it, which makes it text
// (the lone - of no department or group cannot be a formula); then quoted
// where it must be.
std::string field(const std::string& text)
{
    bool formula = !text.empty() && text != "-" &&
                   std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    std::string s = formula ? "'" + text : text;
    if (s.find_first_of(",\"\r\n") == s.npos)
        return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"')
            q += '"';
        q += c;
    }
    return q + '"';
}

std::string cell(const Cell& c)
{
    char b[64];
    switch (c.kind) {
    case Cell::Text:
        return field(c.text);
    case Cell::Count:
    case Cell::Seconds:
        return std::to_string(c.n);
    case Cell::Amount:
        return money4(c.n);
    case Cell::Erlangs:
        std::snprintf(b, sizeof b, "%.3f", c.x);
        return b;
    }
    return {};
}

}  // namespace

std::string csvrecord(const std::vector<Cell>& cells)
{
    std::string s;
    for (size_t i = 0; i < cells.size(); i++)
        s += (i ? "," : "") + cell(cells[i]);
    return s + "\n";
}

std::string csvrecord(const std::vector<std::string>& fields)
{
    std::string s;
    for (size_t i = 0; i < fields.size(); i++)
        s += (i ? "," : "") + field(fields[i]);
    return s + "\n";
}

CsvOut::CsvOut(const std::string& dir, const Sites& sites) : dir_(dir), sites_(sites)
{
    struct stat sb;
    if (stat(dir.c_str(), &sb) != 0)
        throw OutputError(dir + ": " + std::strerror(errno));
    if (!S_ISDIR(sb.st_mode))
        throw OutputError(dir + ": " + std::strerror(ENOTDIR));
    watch_ = std::make_unique<OutFile>(dir_ + "/" + WATCHFILE);
    std::vector<std::string> columns = WATCHCOLUMNS;
    if (sitecolumn(sites))
        columns.push_back("site");
    *watch_ << csvrecord(columns);
}

void CsvOut::write(const Tables& t, const Tally& tally, const Trunks& trunks)
{
    for (const Table* tab : {&t.summary, &t.departments, &t.extensions, &t.costly,
                             &t.numbersbycost, &t.numbersbycalls, &t.labelsbycost,
                             &t.labelsbycalls, &t.unrated, &t.hours, &t.days, &t.traffic,
                             &t.groups}) {
        files_.push_back(std::make_unique<OutFile>(dir_ + "/" + tab->file));
        OutFile& f = *files_.back();
        f << csvrecord(tab->columns);
        for (auto& row : tab->rows)
            f << csvrecord(row);
    }

    // Every quarter hour of the period, for each group and direction that
    // carried traffic: written as it is read, never held as text.
    files_.push_back(std::make_unique<OutFile>(dir_ + "/quarters.csv"));
    OutFile& q = *files_.back();
    q << (sitecolumn(sites_) ? "group,direction,start,erlangs,site\n" : "group,direction,start,erlangs\n");
    for (const TrafficRow& x : t.trafficrows) {
        if (!x.series || x.busy.days == 0)
            continue;
        const TrunkGroup& g = trunks.groups()[size_t(x.group)];
        std::string head = field(g.name) + "," + SERIESNAMES[x.dir] + ",";
        std::string site = sitecolumn(sites_) ? "," + field(sites_[size_t(g.site)]) : "";
        const auto& secs = x.series->quarters.secs();
        long long from = tally.settings().from;
        for (size_t i = 0; i < secs.size(); i++) {
            char b[48];
            std::snprintf(b, sizeof b, ",%.3f", double(secs[i]) / QUARTER);
            q << head << stamptext(from + (long long)i * QUARTER).substr(0, 16) << b << site << "\n";
        }
    }
}

std::vector<OutFile*> CsvOut::files() const
{
    std::vector<OutFile*> v{watch_.get()};
    for (auto& f : files_)
        v.push_back(f.get());
    return v;
}
