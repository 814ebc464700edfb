// The tables of each section, from the totals.
#include "tables.h"

#include <algorithm>
#include <map>

#include "civil.h"
#include "erlang.h"

const char* const DIRNAMES[NDIRS] = {"outgoing", "incoming", "tandem", "internal"};
const char* const SERIESNAMES[SERIES] = {"out", "in", "tandem", "all"};
const char* const WEEKDAYS[7] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                  "Friday", "Saturday", "Sunday"};
const char* const WATCHFILE = "watch.csv";
const std::vector<std::string> WATCHCOLUMNS = {"kind", "start", "extension", "parties", "dialled",
                                               "seconds", "label", "cost"};

Cell text(std::string s)
{
    Cell c;
    c.text = std::move(s);
    return c;
}

Cell count(long long n)
{
    Cell c;
    c.kind = Cell::Count;
    c.n = n;
    return c;
}

Cell seconds(long long s)
{
    Cell c = count(s);
    c.kind = Cell::Seconds;
    return c;
}

Cell amount(Money m)
{
    Cell c = count(m);
    c.kind = Cell::Amount;
    return c;
}

Cell erlangs(double e)
{
    Cell c;
    c.kind = Cell::Erlangs;
    c.x = e;
    return c;
}

namespace {

// Extension numbers in numeric order: shorter first, then by digits.
bool numless(const std::string& a, const std::string& b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

Table numbers(const TopKeys& k, size_t n, const char* file)
{
    Table t(file, {"dialled", "calls", "seconds", "cost"}, {"number", "calls", "minutes", "cost"});
    for (auto& e : k.top(n))
        t.rows.push_back({text(std::string(e.name())), count(e.calls), seconds(e.seconds),
                          amount(e.cost)});
    return t;
}

Table labels(const Tally& t, const Tariff& tariff, bool bycost, const char* file)
{
    std::vector<size_t> order;
    for (size_t i = 0; i < t.labels.size(); i++)
        if (t.labels[i].calls > 0)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const Totals &x = t.labels[a], &y = t.labels[b];
        return bycost ? x.cost > y.cost : x.calls > y.calls;
    });
    order.resize(std::min(order.size(), t.settings().top));
    Table tab(file, {"label", "calls", "seconds", "cost"}, {"tariff label", "calls", "minutes", "cost"});
    for (size_t i : order)
        tab.rows.push_back({text(tariff.labels()[i]), count(t.labels[i].calls),
                            seconds(t.labels[i].seconds), amount(t.labels[i].cost)});
    return tab;
}

}  // namespace

std::vector<Cell> watchrow(const CallLine& l, const Sites& sites)
{
    static const char* const kinds[] = {"after hours", "long", "emergency"};
    std::vector<Cell> row{text(kinds[int(l.kind)]), text(stamptext(l.start)), text(l.extension),
                          text(l.parties), text(l.number), seconds(l.seconds), text(l.label),
                          amount(l.cost)};
    if (sitecolumn(sites))
        row.push_back(text(sites[size_t(l.site)]));
    return row;
}

namespace {

// A table with a site column last when the report has more than one site.
Table sitetable(const Sites& sites, std::string file, std::vector<std::string> columns,
                std::vector<std::string> headings)
{
    if (sitecolumn(sites)) {
        columns.push_back("site");
        if (!headings.empty())
            headings.push_back("site");
    }
    return Table(std::move(file), std::move(columns), std::move(headings));
}

}  // namespace

Tables maketables(const Tally& t, const Directory& dir, const Trunks& trunks, const Tariff& tariff,
                  const Sites& sites)
{
    const bool bysite = sitecolumn(sites);
    Tables r;
    r.summary = Table("summary.csv", {"direction", "calls", "seconds", "cost"},
                 {"direction", "calls", "minutes", "cost"});
    Totals all;
    for (int d = 0; d < NDIRS; d++) {
        const Totals& x = t.bydir[size_t(d)];
        r.summary.rows.push_back({text(DIRNAMES[d]), count(x.calls), seconds(x.seconds), amount(x.cost)});
        all.calls += x.calls;
        all.seconds += x.seconds;
        addmoney(all.cost, x.cost);
    }
    r.summary.rows.push_back({text("all"), count(all.calls), seconds(all.seconds), amount(all.cost)});
    r.summary.totalrow = true;

    // Extensions: every one with calls at each site, and every one in the
    // directory (which serves every site) that had none at any.
    struct Row {
        std::string ext;
        const Person* who;
        ExtTotals x;
        int site;  // -1: none
    };
    std::vector<Row> exts;
    for (size_t site = 0; site < t.extensions.size(); site++)
        for (auto& [ext, x] : t.extensions[site])
            exts.push_back({ext, dir.find(ext), x, int(site)});
    for (auto& [ext, p] : dir.all())
        if (std::none_of(t.extensions.begin(), t.extensions.end(),
                         [&](auto& site) { return site.count(ext) > 0; }))
            exts.push_back({ext, &p, ExtTotals{}, bysite ? -1 : 0});
    auto dept = [](const Row& r) { return r.who ? r.who->department : std::string("-"); };
    std::map<std::string, ExtTotals> depts;
    for (auto& e : exts) {
        ExtTotals& d = depts[dept(e)];
        d.calls_out += e.x.calls_out;
        d.calls_in += e.x.calls_in;
        d.seconds_out += e.x.seconds_out;
        d.seconds_in += e.x.seconds_in;
        addmoney(d.cost, e.x.cost);
    }
    std::sort(exts.begin(), exts.end(), [&](const Row& a, const Row& b) {
        if (dept(a) != dept(b))
            return dept(a) < dept(b);
        if (a.x.cost != b.x.cost)
            return a.x.cost > b.x.cost;
        if (a.ext != b.ext)
            return numless(a.ext, b.ext);
        return a.site < b.site;
    });
    r.extensions = sitetable(sites, "extensions.csv",
                    {"extension", "name", "department", "calls_out", "calls_in", "seconds_out",
                     "seconds_in", "cost"},
                    {"extension", "name", "department", "calls out", "calls in", "minutes out",
                     "minutes in", "cost"});
    for (auto& e : exts) {
        r.extensions.rows.push_back({text(e.ext), text(e.who ? e.who->name : ""), text(dept(e)),
                                     count(e.x.calls_out), count(e.x.calls_in),
                                     seconds(e.x.seconds_out), seconds(e.x.seconds_in),
                                     amount(e.x.cost)});
        if (bysite)
            r.extensions.rows.back().push_back(text(e.site < 0 ? "" : sites[size_t(e.site)]));
    }
    std::vector<std::pair<std::string, ExtTotals>> dlist(depts.begin(), depts.end());
    std::stable_sort(dlist.begin(), dlist.end(),
                     [](auto& a, auto& b) { return a.second.cost > b.second.cost; });
    r.departments = Table("departments.csv",
                     {"department", "calls_out", "calls_in", "seconds_out", "seconds_in", "cost"},
                     {"department", "calls out", "calls in", "minutes out", "minutes in", "cost"});
    for (auto& [name, x] : dlist)
        r.departments.rows.push_back({text(name), count(x.calls_out), count(x.calls_in),
                                      seconds(x.seconds_out), seconds(x.seconds_in), amount(x.cost)});

    r.costly = sitetable(sites, "costly_calls.csv",
                {"end", "extension", "name", "dialled", "seconds", "label", "cost"},
                {"ended", "extension", "name", "number", "minutes", "tariff label", "cost"});
    for (auto& c : t.costly) {
        const Person* p = c.extension.empty() ? nullptr : dir.find(c.extension);
        r.costly.rows.push_back({text(stamptext(c.end)), text(c.extension.empty() ? c.parties : c.extension),
                                 text(p ? p->name : ""), text(c.number), seconds(c.seconds),
                                 text(c.label), amount(c.cost)});
        if (bysite)
            r.costly.rows.back().push_back(text(sites[size_t(c.site)]));
    }

    size_t top = t.settings().top;
    r.numbersbycost = numbers(t.bycost, top, "numbers_by_cost.csv");
    r.numbersbycalls = numbers(t.bycalls, top, "numbers_by_calls.csv");
    r.labelsbycost = labels(t, tariff, true, "labels_by_cost.csv");
    r.labelsbycalls = labels(t, tariff, false, "labels_by_calls.csv");
    std::vector<std::pair<std::string, Totals>> un(t.unratedprefix.begin(), t.unratedprefix.end());
    std::sort(un.begin(), un.end(), [](auto& a, auto& b) {
        return a.second.calls != b.second.calls ? a.second.calls > b.second.calls : a.first < b.first;
    });
    r.unrated = Table("unrated.csv", {"leading_digits", "calls", "seconds"},
                 {"dialled, first digits", "calls", "minutes"});
    for (auto& [lead, x] : un)
        r.unrated.rows.push_back({text(lead.empty() ? "(no digits)" : lead), count(x.calls), seconds(x.seconds)});

    r.hours = Table("hours.csv", {"weekday", "hour", "calls"}, {});
    for (int d = 0; d < 7; d++)
        for (int h = 0; h < 24; h++)
            r.hours.rows.push_back({text(WEEKDAYS[d]), count(h), count(t.weekhours[size_t(d)][size_t(h)])});
    r.days = Table("days.csv", {"date", "calls_out", "calls_in", "calls_tandem", "calls_internal"}, {});
    for (int d = 0; d < t.days(); d++) {
        auto& n = t.perday[size_t(d)];
        r.days.rows.push_back({text(datetext(t.settings().from / DAY + d)), count(n[0]), count(n[1]),
                               count(n[2]), count(n[3])});
    }

    // Trunk groups by site, then in the file's order, those named by the
    // rule by number, the unlisted last.
    std::vector<int> order = trunks.order();
    auto rowof = [&](int g, int d) {
        const TrunkGroup& tg = trunks.groups()[size_t(g)];
        size_t k = size_t(g) * SERIES + size_t(d);
        const Series* s = k < t.series.size() ? t.series[k].get() : nullptr;
        TrafficRow x{g, d, s, s ? busyhours(s->quarters.secs()) : BusyHours{},
                     s ? s->occupancy.peak() : 0, s ? s->occupancy.atleast(tg.size) : 0, tg.size, 0, 0};
        x.needed = trunksneeded(x.busy.tcbh, 0.01);
        x.sizecarries = trafficfor(tg.size, 0.01);
        return x;
    };
    auto cells = [&](const TrafficRow& x, bool withdir) {
        std::vector<Cell> c{text(trunks.groups()[size_t(x.group)].name)};
        if (withdir)
            c.push_back(text(SERIESNAMES[x.dir]));
        c.push_back(text(x.busy.start < 0 ? "" : clocktext(x.busy.start * QUARTER)));
        c.push_back(erlangs(x.busy.tcbh));
        c.push_back(erlangs(x.busy.adph));
        c.push_back(count(x.peak));
        c.push_back(count(x.allbusy));
        c.push_back(count(x.size));
        c.push_back(count(x.needed));
        if (bysite)
            c.push_back(text(sites[size_t(trunks.groups()[size_t(x.group)].site)]));
        return c;
    };
    r.traffic = sitetable(sites, "traffic.csv",
                 {"group", "direction", "busy_hour", "erlangs_tcbh", "erlangs_adph", "peak_calls",
                  "seconds_all_busy", "size", "trunks_needed"},
                 {"group", "direction", "busy hour", "erlangs, busy hour", "erlangs, daily peak",
                  "most calls at once", "seconds all busy", "trunks", "trunks needed"});
    r.groups = sitetable(sites, "trunk_groups.csv",
                {"group", "busy_hour", "erlangs_tcbh", "erlangs_adph", "peak_calls",
                 "seconds_all_busy", "size", "trunks_needed"},
                {"group", "busy hour", "erlangs, busy hour", "erlangs, daily peak",
                 "most calls at once", "seconds all busy", "trunks", "trunks needed"});
    std::vector<TrafficRow> groups;
    for (int g : order) {
        for (int d = 0; d < 3; d++) {
            TrafficRow x = rowof(g, d);
            if (x.series && x.series->calls + x.busy.days > 0) {
                r.traffic.rows.push_back(cells(x, true));
                r.trafficrows.push_back(x);
            }
        }
        TrafficRow x = rowof(g, 3);
        r.groups.rows.push_back(cells(x, false));
        groups.push_back(x);
    }
    r.trafficrows.insert(r.trafficrows.end(), groups.begin(), groups.end());

    for (size_t k = 0; k < 3; k++) {
        // The page shows each kind in a table of its own: no kind column.
        r.watch[k] = sitetable(sites, "", {}, {"started", "extension", "parties", "number", "minutes",
                                               "tariff label", "cost"});
        r.watch[k].columns.clear();
        for (auto& l : t.watch[k]) {
            r.watch[k].rows.push_back(watchrow(l, sites));
            r.watch[k].rows.back().erase(r.watch[k].rows.back().begin());
        }
    }
    return r;
}
