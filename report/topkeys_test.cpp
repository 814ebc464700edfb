// The bounded top list against exact counts: exact up to its capacity;
// beyond it the heavy keys stay, and the figure a list is weighed by is
// never below the truth nor above it by more than error().
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "topkeys.h"

TEST(TopKeys, ExactWithinCapacityBoundedBeyond)
{
    std::mt19937 rng(3);
    std::vector<std::string> stream;
    for (int i = 0; i < 20000; i++) {
        // A few heavy numbers among many called once or twice.
        unsigned r = rng() % 100;
        stream.push_back(r < 30 ? "08001" + std::to_string(r % 5) : "0711" + std::to_string(rng() % 3000));
    }
    std::map<std::string, long> exact;
    for (auto& k : stream)
        exact[k]++;

    TopKeys big(exact.size(), TopKeys::By::Calls), small(100, TopKeys::By::Calls),
        smallcost(100, TopKeys::By::Cost);
    for (auto& k : stream) {
        big.add(k, 60, 0);
        small.add(k, 60, 0);
        smallcost.add(k, 60, 100);
    }
    EXPECT_EQ(big.error(), 0);
    for (auto& e : big.top(exact.size()))
        EXPECT_EQ(e.calls, exact[std::string(e.name())]) << e.name();
    auto top = big.top(5);
    for (size_t i = 0; i < top.size(); i++)
        EXPECT_EQ(std::string(top[i].name()).substr(0, 5), "08001");

    EXPECT_GT(small.error(), 0);
    for (auto& e : small.top(5))
        EXPECT_EQ(std::string(e.name()).substr(0, 5), "08001");  // every heavy one kept
    // Every key kept, also one that gave way and came back, by calls and by cost.
    for (TopKeys* k : {&small, &smallcost})
        for (auto& e : k->top(100)) {
            long long truth = exact[std::string(e.name())] * (k == &small ? 1 : 100);
            long long shown = k == &small ? e.calls : e.cost;
            EXPECT_GE(shown, truth) << e.name();
            EXPECT_LE(shown, truth + k->error()) << e.name();
        }
}
