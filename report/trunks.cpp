// The trunks file and the group of each trunk.
#include "trunks.h"

#include <algorithm>
#include <climits>

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
        auto [at, made] = index.emplace(g, int(filegroups_.size()));
        if (made) {
            filegroups_.push_back(TrunkGroup{g, 0, long(filegroups_.size()), int(size), {}});
        } else if (filegroups_[size_t(at->second)].size != size) {
            f.fail("group \"" + g + "\" was given size " +
                   std::to_string(filegroups_[size_t(at->second)].size) + " before");
        }
        r.group = at->second;
        ranges_.push_back(r);
        where.push_back(f.line());
    }
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

int Trunks::group(std::string_view trunk, int site)
{
    long n = 0;
    for (char c : trunk)
        n = n * 10 + (c - '0');
    long key = n / 1000;
    if (fromfile()) {
        auto at = std::upper_bound(ranges_.begin(), ranges_.end(), n,
                                   [](long v, const Range& r) { return v < r.first; });
        key = at != ranges_.begin() && std::prev(at)->last >= n ? std::prev(at)->group : -1;
    }
    auto [at, made] = index_.emplace(std::make_pair(site, key), int(groups_.size()));
    if (made) {
        if (!fromfile())
            groups_.push_back(TrunkGroup{std::to_string(key), site, key, 0, {}});
        else if (key >= 0)
            groups_.push_back(TrunkGroup{filegroups_[size_t(key)].name, site, key,
                                         filegroups_[size_t(key)].size, {}});
        else
            groups_.push_back(TrunkGroup{"-", site, -1, 0, {}});
        unlisted_ = unlisted_ || key < 0;
    }
    groups_[size_t(at->second)].seen.insert(n);
    return at->second;
}

void Trunks::settle(int nsites)
{
    for (int site = 0; site < nsites; site++)
        for (const TrunkGroup& g : filegroups_)
            if (index_.emplace(std::make_pair(site, g.key), int(groups_.size())).second)
                groups_.push_back(TrunkGroup{g.name, site, g.key, g.size, {}});
    for (auto& g : groups_)
        if (g.size == 0)
            g.size = int(g.seen.size());
}

std::vector<int> Trunks::order() const
{
    std::vector<int> v;
    for (size_t g = 0; g < groups_.size(); g++)
        v.push_back(int(g));
    // The file's groups in its order, the group of no range last.
    auto place = [](const TrunkGroup& g) { return g.key < 0 ? LONG_MAX : g.key; };
    std::sort(v.begin(), v.end(), [&](int a, int b) {
        const TrunkGroup &x = groups_[size_t(a)], &y = groups_[size_t(b)];
        return x.site != y.site ? x.site < y.site : place(x) < place(y);
    });
    return v;
}
