// The trunks file and the group of each trunk.
#include "trunks.h"

#include <algorithm>

#include "csvfile.h"

void Trunks::load(std::istream& in, const std::string& name)
{
    enum { FIRST, LAST, GROUP, SIZE };
    CsvFile f(in, name, {"first", "last", "group", "size"});
    std::map<std::string, int> index;
    std::vector<long> where;  // line of each range, for the overlap message
    while (f.next()) {
        Range r;
        long size;
        if (!wholenumber(f.field(FIRST), 9999999, r.first) || !wholenumber(f.field(LAST), 9999999, r.last))
            f.fail("first and last must be trunk numbers of up to 7 digits");
        if (r.last < r.first)
            f.fail("last is below first");
        std::string g(f.field(GROUP));
        if (g.empty())
            f.fail("no group name");
        if (!wholenumber(f.field(SIZE), 100000, size) || size < 1)
            f.fail("size \"" + std::string(f.field(SIZE)) + "\" is not a number of trunks from 1");
        auto [at, made] = index.emplace(g, int(groups_.size()));
        if (made) {
            groups_.push_back(TrunkGroup{g, int(size), {}});
        } else if (groups_[size_t(at->second)].size != size) {
            f.fail("group \"" + g + "\" was given size " +
                   std::to_string(groups_[size_t(at->second)].size) + " before");
        }
        r.group = at->second;
        ranges_.push_back(r);
        where.push_back(f.line());
    }
    filegroups_ = int(groups_.size());
    std::vector<size_t> order(ranges_.size());
    for (size_t i = 0; i < order.size(); i++)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return ranges_[a].first < ranges_[b].first; });
    std::vector<Range> sorted;
    for (size_t i : order) {
        if (!sorted.empty() && sorted.back().last >= ranges_[i].first)
            throw InputError(name + ":" + std::to_string(where[i]) + ": trunks " +
                             std::to_string(ranges_[i].first) + " to " +
                             std::to_string(ranges_[i].last) + " overlap another range");
        sorted.push_back(ranges_[i]);
    }
    ranges_ = std::move(sorted);
}

int Trunks::group(std::string_view trunk)
{
    long n = 0;
    for (char c : trunk)
        n = n * 10 + (c - '0');
    int g;
    if (fromfile()) {
        auto at = std::upper_bound(ranges_.begin(), ranges_.end(), n,
                                   [](long v, const Range& r) { return v < r.first; });
        if (at != ranges_.begin() && std::prev(at)->last >= n) {
            g = std::prev(at)->group;
        } else {
            if (unlisted_ < 0) {
                unlisted_ = int(groups_.size());
                groups_.push_back(TrunkGroup{"-", 0, {}});
            }
            g = unlisted_;
        }
    } else {
        auto [at, made] = byrule_.emplace(n / 1000, int(groups_.size()));
        if (made)
            groups_.push_back(TrunkGroup{std::to_string(n / 1000), 0, {}});
        g = at->second;
    }
    groups_[size_t(g)].seen.insert(n);
    return g;
}

void Trunks::settle()
{
    for (auto& g : groups_)
        if (g.size == 0)
            g.size = int(g.seen.size());
}
