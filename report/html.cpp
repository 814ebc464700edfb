// Writing the page, section by section.
#include "html.h"

#include <cstdio>

#include "civil.h"
#include "svg.h"

namespace {

const char* const STYLE = R"(@page { size: A4 portrait; margin: 14mm 12mm; }
body { font-family: sans-serif; font-size: 10pt; color: #1a202c; max-width: 186mm; margin: 0 auto; padding: 4mm; }
h1 { font-size: 17pt; margin: 0 0 2pt; }
h2 { font-size: 13pt; border-bottom: 1pt solid #718096; margin: 16pt 0 6pt; break-after: avoid; }
h3 { font-size: 10.5pt; margin: 10pt 0 3pt; break-after: avoid; }
p { margin: 3pt 0 6pt; }
.meta, .note { color: #4a5568; font-size: 8.5pt; }
table { border-collapse: collapse; width: 100%; margin: 3pt 0 8pt; font-size: 8.5pt; }
thead { display: table-header-group; }
tr { break-inside: avoid; }
th { text-align: left; border-bottom: 1pt solid #4a5568; padding: 2pt 4pt; font-weight: 600; }
td { border-bottom: 0.5pt solid #e2e8f0; padding: 1.5pt 4pt; }
.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tr.total td { font-weight: 700; border-top: 1pt solid #4a5568; }
figure { margin: 4pt 0 10pt; break-inside: avoid; }
figcaption { font-size: 8.5pt; color: #4a5568; }
svg { display: block; width: 100%; height: auto; }
.plain { font-weight: 600; }
)";

std::string minutes(long long secs)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", double(secs) / 60);
    return b;
}

std::string erl(double e)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", e);
    return b;
}

std::string cell(const Cell& c)
{
    switch (c.kind) {
    case Cell::Text:
        return "<td>" + escape(c.text) + "</td>";
    case Cell::Count:
        return "<td class=\"n\">" + std::to_string(c.n) + "</td>";
    case Cell::Seconds:
        return "<td class=\"n\">" + minutes(c.n) + "</td>";
    case Cell::Amount:
        return "<td class=\"n\">" + money2(c.n) + "</td>";
    case Cell::Erlangs:
        return "<td class=\"n\">" + erl(c.x) + "</td>";
    }
    return "<td></td>";
}

void table(OutFile& out, const Table& t, const char* empty = "None.")
{
    if (t.rows.empty()) {
        out << "<p class=\"note\">" << empty << "</p>\n";
        return;
    }
    out << "<table><thead><tr>";
    for (size_t i = 0; i < t.headings.size(); i++) {
        bool num = t.rows[0][i].kind != Cell::Text;
        out << (num ? "<th class=\"n\">" : "<th>") << escape(t.headings[i]) << "</th>";
    }
    out << "</tr></thead><tbody>\n";
    for (size_t r = 0; r < t.rows.size(); r++) {
        out << (t.totalrow && r + 1 == t.rows.size() ? "<tr class=\"total\">" : "<tr>");
        for (auto& c : t.rows[r])
            out << cell(c);
        out << "</tr>\n";
    }
    out << "</tbody></table>\n";
}

void titled(OutFile& out, const char* title, const Table& t, const char* empty = "None.")
{
    out << "<h3>" << title << "</h3>\n";
    table(out, t, empty);
}

std::string plural(long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string escape(std::string_view s)
{
    std::string r;
    r.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&': r += "&amp;"; break;
        case '<': r += "&lt;"; break;
        case '>': r += "&gt;"; break;
        case '"': r += "&quot;"; break;
        case '\'': r += "&#39;"; break;
        default: r += c;
        }
    }
    return r;
}

void writepage(OutFile& out, const PageInfo& info, const Tables& t, const Tally& tally,
               const Trunks& trunks)
{
    const Settings& s = tally.settings();
    std::string period = datetext(s.from / DAY) + " to " + datetext(s.to / DAY - 1);
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<title>Call accounting " << period << "</title>\n<style>\n" << STYLE
        << "</style>\n</head>\n<body>\n";
    out << "<h1>Call accounting</h1>\n<p class=\"meta\">" << period << " ("
        << plural(tally.days(), "day", "days") << "), database " << escape(info.database);
    for (size_t i = 0; i < info.sites.size(); i++)
        out << (i ? ", " : info.sites.size() > 1 ? ", sites " : ", site ") << escape(info.sites[i]);
    if (!info.tariff.empty())
        out << ", tariff " << escape(info.tariff);
    if (!info.directory.empty())
        out << ", directory " << escape(info.directory);
    if (!info.trunks.empty())
        out << ", trunk groups " << escape(info.trunks);
    out << ". Times are the exchange's as recorded; a call counts on the day and in the hour it"
           " ended. Minutes are the calls' durations; amounts are rounded to two places from"
           " exact sums.</p>\n";

    // 1
    out << "<h2 id=\"summary\">1. Summary</h2>\n";
    out << "<p>Days covered: " << period << ", " << plural(tally.days(), "day", "days") << ". ";
    if (tally.first >= 0)
        out << "Calls from " << stamptext(tally.first) << " to " << stamptext(tally.last) << ".</p>\n";
    else
        out << "No calls in the period.</p>\n";
    table(out, t.summary);
    std::string notes;
    if (tally.unrated.calls)
        notes += plural(tally.unrated.calls, "outgoing or tandem call", "outgoing or tandem calls") +
                 " (" + minutes(tally.unrated.seconds) +
                 " minutes) matched no prefix of the tariff and cost nothing here (section 3). ";
    if (s.pulseprice >= 0)
        notes += plural(tally.pulsepriced.calls, "call was", "calls were") +
                 " priced by their meter pulses at " + money4(s.pulseprice) + " a pulse. ";
    if (s.mask > 0)
        notes += "The last " + std::to_string(s.mask) + " digits of every number are shown as x. ";
    if (info.badrows)
        notes += plural(info.badrows, "row", "rows") + " of the database could not be read and are left out. ";
    if (!notes.empty())
        out << "<p class=\"note\">" << escape(notes) << "</p>\n";

    // 2
    out << "<h2 id=\"extensions\">2. Departments and extensions</h2>\n<p class=\"note\">An extension's calls are the"
           " outgoing calls it made and the incoming calls it took; internal and tandem calls are"
           " counted in the summary only. Extensions not in the directory are under the department"
           " &quot;-&quot;.</p>\n";
    titled(out, "Departments", t.departments);
    titled(out, "Extensions", t.extensions);
    titled(out, "The most costly calls", t.costly, "No call cost anything.");

    // 3
    out << "<h2 id=\"destinations\">3. Destinations</h2>\n";
    if (tally.bycalls.error() > 0 || tally.bycost.error() > 0)
        out << "<p class=\"note\">More than " << s.topcapacity
            << " different numbers were called: each list keeps the heaviest. A number that came"
               " into a list once it was full took over the count of the number it replaced, so"
               " its cost in the list by cost may be overstated by at most "
            << money2(tally.bycost.error()) << " and its calls in the list by calls by at most "
            << tally.bycalls.error()
            << "; its other figures count its calls since it came into the list.</p>\n";
    titled(out, "Numbers by cost", t.numbersbycost);
    titled(out, "Numbers by calls", t.numbersbycalls);
    titled(out, "Tariff labels by cost", t.labelsbycost, "No call matched the tariff.");
    titled(out, "Tariff labels by calls", t.labelsbycalls, "No call matched the tariff.");
    out << "<h3>Unrated calls</h3>\n<p class=\"note\">Outgoing and tandem calls whose number matches"
           " no prefix of the tariff, by their first digits"
        << (s.pulseprice >= 0 ? " (calls priced by their pulses are not among them)" : "") << ".</p>\n";
    table(out, t.unrated);

    // 4
    out << "<h2 id=\"when\">4. When</h2>\n<figure>\n" << heatmap(tally.weekhours)
        << "<figcaption>Calls by weekday and hour of the day, all directions.</figcaption>\n</figure>\n"
        << "<figure>\n" << daybars(tally.perday, s.from / DAY)
        << "<figcaption>Calls per day, by direction.</figcaption>\n</figure>\n";

    // 5
    out << "<h2 id=\"traffic\">5. Trunk traffic</h2>\n<p class=\"note\">SMDR records answered calls only, so this"
           " is the traffic the trunks carried, not the traffic offered to them: calls lost while"
           " every trunk was busy are not in it, and a group that was often all busy may need more"
           " trunks than shown. Carried traffic in erlangs: each call's seconds spread over the"
           " quarter hours it spans, divided by 900. Busy hour: the four consecutive quarter hours"
           " at the same time of day whose traffic, averaged over the days on which the group and"
           " direction carried traffic, is highest (ITU-T E.500); daily peak: the average of each"
           " such day's busiest hour. Trunks needed: Erlang B at a grade of service of 1 % for the"
           " busy-hour traffic (ITU-T E.520). A tandem call holds two trunks; internal calls none.";
    if (trunks.fromfile())
        out << " Trunk groups and their sizes are those of the trunks file";
    else
        out << " A trunk's group is its number without the last three digits, and a group's size"
               " is the number of its trunks that carried a call";
    out << ".</p>\n";
    if (trunks.unlisted())
        out << "<p class=\"note\">Calls on trunks in no range of the trunks file are under the"
               " group &quot;-&quot;.</p>\n";
    titled(out, "Each group, all directions together", t.groups, "No trunk carried a call.");
    titled(out, "Each group and direction", t.traffic, "No trunk carried a call.");
    for (const TrafficRow& x : t.trafficrows) {
        const TrunkGroup& g = trunks.groups()[size_t(x.group)];
        if (!x.series)
            continue;
        out << "<h3>Group " << escape(g.name)
            << (sitecolumn(info.sites) ? " at " + escape(info.sites[size_t(g.site)]) : std::string())
            << ", "
            << (x.dir == 3 ? std::string("all directions") : std::string(SERIESNAMES[x.dir]))
            << "</h3>\n<p>";
        if (x.busy.start >= 0)
            out << "Busy hour " << clocktext(x.busy.start * QUARTER) << " to "
                << clocktext((x.busy.start + 4) * QUARTER) << ", " << erl(x.busy.tcbh)
                << " erlangs on average over " << plural(x.busy.days, "day", "days")
                << " with traffic; average daily peak hour " << erl(x.busy.adph)
                << " erlangs. At most " << plural(x.peak, "call", "calls") << " at once; all "
                << plural(x.size, "trunk", "trunks") << " busy for " << x.allbusy << " s. ";
        else
            out << "No traffic in the period. ";
        out << "<span class=\"plain\">" << plural(x.needed, "trunk", "trunks") << " needed, "
            << x.size << " in the group.</span> " << plural(x.size, "trunk carries", "trunks carry")
            << " " << erl(x.sizecarries) << " erlangs at 1 %.</p>\n";
        out << "<figure>\n" << profile(x.series->quarters.secs(), x.busy.start)
            << "<figcaption>Erlangs per quarter hour: bars the average over the days with traffic,"
               " the line the highest day, the busy hour shaded.</figcaption>\n</figure>\n";
    }

    // 6
    out << "<h2 id=\"watch\">6. Watch list</h2>\n";
    static const char* const heads[] = {"Outgoing calls outside business hours to international or premium numbers",
                                        "Long calls", "Calls to emergency numbers"};
    char hours[64];
    std::snprintf(hours, sizeof hours, "%02d:00 to %02d:00, %s to %s", s.bizfrom, s.bizto,
                  WEEKDAYS[s.bizday1], WEEKDAYS[s.bizday2]);
    std::string emerg;
    for (auto& e : s.emergency)
        emerg += (emerg.empty() ? "" : ", ") + e;
    std::string why[] = {std::string("Business hours: ") + hours + "; by the time the call began.",
                         "Calls of more than " + plural(s.longcall / 3600, "hour", "hours") + ", in any direction.",
                         "Numbers: " + (emerg.empty() ? std::string("none") : emerg) + "."};
    for (size_t k = 0; k < 3; k++) {
        out << "<h3>" << heads[k] << "</h3>\n<p class=\"note\">" << escape(why[k]);
        if (tally.watchcount[k] > long(t.watch[k].rows.size()))
            out << " The first " << t.watch[k].rows.size() << " of " << tally.watchcount[k]
                << " are shown; the file watch.csv of --csv lists all.";
        out << "</p>\n";
        table(out, t.watch[k]);
    }
    out << "</body>\n</html>\n";
}
