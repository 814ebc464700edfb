// What both sources share: the sites covered, the checks of a row read,
// the last full month, and the choice of the back end.
#include <algorithm>

#include "calls.h"
#include "civil.h"
#include "pgdb.h"

namespace {

bool digits(std::string_view s, size_t most)
{
    return s.size() <= most && s.find_first_not_of("0123456789") == s.npos;
}

}  // namespace

void CallSource::choosesites(std::vector<std::string> there, const std::vector<std::string>& asked)
{
    if (asked.empty()) {
        sites_ = std::move(there);
        return;
    }
    for (const std::string& s : asked) {
        if (std::find(there.begin(), there.end(), s) == there.end())
            throw DbError(name_ + ": no site \"" + s + "\" (no file of it was ever loaded)");
        if (std::find(sites_.begin(), sites_.end(), s) == sites_.end())
            sites_.push_back(s);
    }
    std::sort(sites_.begin(), sites_.end());
}

void CallSource::addfile(long long id, std::string_view site)
{
    auto at = std::lower_bound(sites_.begin(), sites_.end(), site);
    if (at != sites_.end() && *at == site)
        files_[id] = int(at - sites_.begin());
}

bool CallSource::take(long long file, std::string_view first, std::string_view second,
                      std::string_view dialled, long long end, long long duration,
                      long long meter, long long type, Call& c)
{
    auto site = files_.find(file);
    CdrDirection d = cdrdirection(type);
    if (site == files_.end() || !d.known || duration < 0 || duration > MAXCALL ||
        meter < 0 || meter > 1000000 || !digits(first, 7) || !digits(second, 7) ||
        !digits(dialled, 24)) {
        bad_++;
        return false;
    }
    c.dir = d.dir;
    c.site = site->second;
    c.first = first;
    c.second = second;
    c.dialled = dialled;
    c.end = end;
    c.duration = long(duration);
    c.meter = long(meter);
    c.type = int(type);
    return true;
}

std::optional<Month> CallSource::lastfullmonth()
{
    auto newest = newestbefore(1LL << 62);
    if (!newest)
        return std::nullopt;
    int y, m, d;
    civilfromdays(floordiv(*newest, DAY), y, m, d);
    auto full = newestbefore(daysfromcivil(y, m, 1) * DAY);
    if (!full)
        return std::nullopt;
    civilfromdays(floordiv(*full, DAY), y, m, d);
    return Month{y, m};
}

std::unique_ptr<CallSource> opensource(const std::string& database,
                                       const std::vector<std::string>& sites)
{
    if (ispgconninfo(database))
        return openpgsource(database, sites);
    return opensqlitesource(database, sites);
}
