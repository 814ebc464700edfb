// The tariff file and the cost of a call.
#include "tariff.h"

#include <algorithm>

#include "csvfile.h"

Money callcost(const Rate& r, long seconds)
{
    long long inc = r.increment;
    long long billed = (seconds + inc - 1) / inc * inc;
    return r.setup + (r.per_minute * billed + 30) / 60;
}

void Tariff::load(std::istream& in, const std::string& name)
{
    enum { PREFIX, LABEL, SETUP, PERMIN, INCREMENT, WATCH };
    CsvFile f(in, name, {"prefix", "label", "setup", "per_minute", "increment_seconds"},
              {"watch"});
    while (f.next()) {
        Rate r;
        r.prefix = f.field(PREFIX);
        if (!std::all_of(r.prefix.begin(), r.prefix.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            r.prefix.size() > 24)
            f.fail("the prefix \"" + r.prefix + "\" is not up to 24 digits");
        std::string label(f.field(LABEL));
        if (label.empty())
            label = r.prefix.empty() ? "(any)" : r.prefix;
        auto at = std::find(labels_.begin(), labels_.end(), label);
        r.label = int(at - labels_.begin());
        if (at == labels_.end())
            labels_.push_back(label);
        if (!parsemoney(f.field(SETUP), MAXPRICE, r.setup))
            f.fail("setup \"" + std::string(f.field(SETUP)) +
                   "\" is not an amount from 0 to 10000 with up to 4 decimals");
        if (!parsemoney(f.field(PERMIN), MAXPRICE, r.per_minute))
            f.fail("per_minute \"" + std::string(f.field(PERMIN)) +
                   "\" is not an amount from 0 to 10000 with up to 4 decimals");
        std::string_view inc = f.field(INCREMENT);
        long seconds;
        if (!wholenumber(inc, 86400, seconds) || seconds < 1)
            f.fail("increment_seconds \"" + std::string(inc) +
                   "\" is not a whole number of seconds from 1 to 86400");
        r.increment = int(seconds);
        std::string_view w = f.field(WATCH);
        if (w.empty())
            r.watch = Watch::None;
        else if (w == "international")
            r.watch = Watch::International;
        else if (w == "premium")
            r.watch = Watch::Premium;
        else
            f.fail("watch \"" + std::string(w) + "\" is neither international, premium nor empty");

        int n = 0;
        for (char c : r.prefix) {
            int d = c - '0';
            if (nodes_[size_t(n)].child[d] < 0) {
                nodes_[size_t(n)].child[d] = int(nodes_.size());
                nodes_.push_back(Node{{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}, -1});
            }
            n = nodes_[size_t(n)].child[d];
        }
        if (nodes_[size_t(n)].rate >= 0)
            f.fail("the prefix \"" + r.prefix + "\" is given twice");
        nodes_[size_t(n)].rate = int(rates_.size());
        rates_.push_back(std::move(r));
    }
}

const Rate* Tariff::match(std::string_view digits) const
{
    int n = 0, best = nodes_[0].rate;
    for (char c : digits) {
        if (c < '0' || c > '9' || (n = nodes_[size_t(n)].child[c - '0']) < 0)
            break;
        if (nodes_[size_t(n)].rate >= 0)
            best = nodes_[size_t(n)].rate;
    }
    return best < 0 ? nullptr : &rates_[size_t(best)];
}
