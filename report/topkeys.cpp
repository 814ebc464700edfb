// Space-Saving over a binary heap of entries, lightest at the top.
#include "topkeys.h"

#include <algorithm>
#include <cstring>

bool TopKeys::lighter(size_t a, size_t b) const
{
    return entries_[heap_[a]].weight < entries_[heap_[b]].weight;
}

void TopKeys::swap(size_t a, size_t b)
{
    std::swap(heap_[a], heap_[b]);
    where_[heap_[a]] = unsigned(a);
    where_[heap_[b]] = unsigned(b);
}

void TopKeys::siftdown(size_t i)
{
    for (;;) {
        size_t l = 2 * i + 1, r = l + 1, m = i;
        if (l < heap_.size() && lighter(l, m))
            m = l;
        if (r < heap_.size() && lighter(r, m))
            m = r;
        if (m == i)
            return;
        swap(i, m);
        i = m;
    }
}

void TopKeys::siftup(size_t i)
{
    while (i > 0 && lighter(i, (i - 1) / 2)) {
        swap(i, (i - 1) / 2);
        i = (i - 1) / 2;
    }
}

void TopKeys::add(std::string_view key, long seconds, Money cost)
{
    long long w = by_ == By::Calls ? 1 : cost;
    key = key.substr(0, KEYLEN);
    auto at = pos_.find(key);
    unsigned i;
    if (at != pos_.end()) {
        i = at->second;
    } else {
        if (w == 0)
            return;
        if (entries_.size() < cap_) {
            i = unsigned(entries_.size());
            entries_.push_back(Entry{});
            heap_.push_back(i);
            where_.push_back(unsigned(heap_.size() - 1));
            siftup(heap_.size() - 1);
        } else {
            i = heap_[0];
            Entry& e = entries_[i];
            pos_.erase(e.name());
            error_ = std::max(error_, e.weight);
            e.calls = 0;
            e.seconds = 0;
            e.cost = 0;
        }
        Entry& e = entries_[i];
        if (!key.empty())
            std::memcpy(e.key.data(), key.data(), key.size());
        e.len = (unsigned char)key.size();
        pos_.emplace(e.name(), i);
    }
    Entry& e = entries_[i];
    e.weight += w;
    e.calls++;
    e.seconds += seconds;
    addmoney(e.cost, cost);
    siftdown(where_[i]);
}

std::vector<TopKeys::Entry> TopKeys::top(size_t n) const
{
    std::vector<Entry> all = entries_;
    auto heavier = [](const Entry& a, const Entry& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.name() < b.name();
    };
    n = std::min(n, all.size());
    std::partial_sort(all.begin(), all.begin() + long(n), all.end(), heavier);
    all.resize(n);
    for (Entry& e : all) {
        if (by_ == By::Calls)
            e.calls = long(e.weight);
        else
            e.cost = e.weight;
    }
    return all;
}
