// Erlang B against published values of the loss formula.
#include <gtest/gtest.h>

#include "erlang.h"

TEST(ErlangB, PublishedValues)
{
    EXPECT_NEAR(erlangb(30, 25.0), 0.0526, 0.00005);
    EXPECT_NEAR(trafficfor(15, 0.01), 8.11, 0.005);
    EXPECT_EQ(trunksneeded(33.33, 0.01), 45);
    EXPECT_EQ(trunksneeded(2.0, 0.01), 7);
    // The needed count is the first whose loss is at most the grade.
    EXPECT_GT(erlangb(6, 2.0), 0.01);
    EXPECT_LE(erlangb(7, 2.0), 0.01);
    // No traffic needs no trunk; no trunk loses every call.
    EXPECT_EQ(trunksneeded(0.0, 0.01), 0);
    EXPECT_DOUBLE_EQ(erlangb(0, 3.0), 1.0);
    // Inverse and forward agree.
    EXPECT_NEAR(erlangb(15, trafficfor(15, 0.01)), 0.01, 1e-9);
}
