// Trunk groups: which group a trunk number belongs to, and each group's
// size. From a trunks CSV (first,last,group,size), or without one by the
// number: its digits above the last three name the group (4012 is in
// group 4), and the size is the number of its trunks seen. Each site has
// groups of its own: the file's ranges and sizes apply at every site.
#pragma once

#include <istream>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct TrunkGroup {
    std::string name;
    int site = 0;
    long key = 0;                          // its place in the file (-1: in no range),
                                           // or the digits that name it
    int size = 0;                          // 0 until known: then the trunks seen
    std::unordered_set<long> seen;         // trunk numbers that carried a call
};

class Trunks {
public:
    // Throws InputError.
    void load(std::istream& in, const std::string& name);
    bool fromfile() const { return !filegroups_.empty(); }

    // The group of a trunk party as stored (digits, empty for trunk 0) at
    // a site (its place in the report's sites).
    int group(std::string_view trunk, int site = 0);
    // Adds the file's groups that carried no call at each of nsites
    // sites, and sets the size of each group whose size the file did not
    // give to the number of its trunks seen.
    void settle(int nsites = 1);
    // The groups by site, then in the file's order or by number.
    std::vector<int> order() const;
    const std::vector<TrunkGroup>& groups() const { return groups_; }
    // Whether some trunk was in no range of the file (group "-").
    bool unlisted() const { return unlisted_; }

private:
    struct Range {
        long first, last;
        int group;
    };
    std::vector<Range> ranges_;            // sorted, not overlapping
    std::vector<TrunkGroup> filegroups_;   // as the file gives them
    std::vector<TrunkGroup> groups_;       // of each site, as found
    // (site, the file's group, -1 for none, or the digits above the last
    // three) -> group
    std::map<std::pair<int, long>, int> index_;
    bool unlisted_ = false;
};
