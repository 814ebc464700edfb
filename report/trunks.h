// Trunk groups: which group a trunk number belongs to, and each group's
// size. From a trunks CSV (first,last,group,size), or without one by the
// number: its digits above the last three name the group (4012 is in
// group 4), and the size is the number of its trunks seen.
#pragma once

#include <istream>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct TrunkGroup {
    std::string name;
    int size = 0;                          // 0 until known: then the trunks seen
    std::unordered_set<long> seen;         // trunk numbers that carried a call
};

class Trunks {
public:
    // Throws InputError.
    void load(std::istream& in, const std::string& name);
    bool fromfile() const { return !ranges_.empty() || filegroups_ > 0; }

    // The group of a trunk party as stored (digits, empty for trunk 0).
    int group(std::string_view trunk);
    // Sets the size of each group whose size the file did not give to the
    // number of its trunks seen.
    void settle();
    const std::vector<TrunkGroup>& groups() const { return groups_; }
    // The group of trunks in no range of the file, -1 when there is none.
    int unlisted() const { return unlisted_; }

private:
    struct Range {
        long first, last;
        int group;
    };
    std::vector<Range> ranges_;            // sorted, not overlapping
    std::vector<TrunkGroup> groups_;
    std::map<long, int> byrule_;           // digits above the last three -> group
    int filegroups_ = 0;
    int unlisted_ = -1;
};
