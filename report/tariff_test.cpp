// Rating on a table of prefixes: the longest prefix wins, the cost rounds
// the duration up to the increment, amounts stay exact; and the tariff
// file's errors name FILE:LINE.
#include <gtest/gtest.h>

#include <sstream>

#include "csvfile.h"
#include "tariff.h"

namespace {

Tariff tariff(const std::string& text)
{
    std::istringstream in(text);
    Tariff t;
    t.load(in, "tariff.csv");
    return t;
}

}  // namespace

TEST(Rating, LongestPrefixAndCost)
{
    Tariff t = tariff("prefix,label,setup,per_minute,increment_seconds,watch\r\n"
                      "0,National,0.05,0.09,60,\r\n"
                      "00,International,0,0.5,1,international\r\n"
                      "0049,\"Germany, fixed\",0,0.1,1,\r\n"
                      "004915,Germany mobile,0,0.0123,1,\r\n"
                      "0900,Premium,0.5,1.99,60,premium\r\n");
    struct {
        const char* dialled;
        const char* label;   // nullptr: unrated
        long seconds;
        Money cost;
    } cases[] = {
        {"0711234567", "National", 61, 500 + 900 * 2},  // two started minutes
        {"0711234567", "National", 60, 500 + 900},
        {"0711234567", "National", 0, 500},             // setup alone
        {"0044171234", "International", 61, 5083},      // 0.508333 rounds to 0.5083
        {"004930112233", "Germany, fixed", 90, 1500},
        {"00491512345", "Germany mobile", 7, 14},       // 0.001435 rounds to 0.0014
        {"0049", "Germany, fixed", 1, 17},              // 0.00166.. rounds up
        {"004", "International", 60, 5000},
        {"09001234", "Premium", 1, 5000 + 19900},
        {"1234", nullptr, 60, 0},
        {"", nullptr, 60, 0},
    };
    for (auto& c : cases) {
        const Rate* r = t.match(c.dialled);
        if (!c.label) {
            EXPECT_EQ(r, nullptr) << c.dialled;
            continue;
        }
        ASSERT_NE(r, nullptr) << c.dialled;
        EXPECT_EQ(t.labels()[size_t(r->label)], c.label) << c.dialled;
        EXPECT_EQ(callcost(*r, c.seconds), c.cost) << c.dialled << " " << c.seconds << " s";
    }
    EXPECT_EQ(t.match("0041")->watch, Watch::International);
    EXPECT_EQ(t.match("0900")->watch, Watch::Premium);
    EXPECT_EQ(t.match("0711")->watch, Watch::None);
}

TEST(Rating, Amounts)
{
    Money v;
    for (auto [text, want] : {std::pair{"0.09", 900LL}, {"12", 120000LL}, {"1.2345", 12345LL},
                              {"0", 0LL}, {"10000", 10000 * UNIT}})
        EXPECT_TRUE(parsemoney(text, MAXPRICE, v) && v == want) << text;
    for (const char* bad : {"", ".", "1.", "1.23456", "-1", "1e3", "1,5", "10000.0001"})
        EXPECT_FALSE(parsemoney(bad, MAXPRICE, v)) << bad;
    EXPECT_EQ(money2(12345), "1.23");
    EXPECT_EQ(money2(12350), "1.24");   // half up
    EXPECT_EQ(money4(5), "0.0005");
    Money sum = LLONG_MAX - 1;
    EXPECT_THROW(addmoney(sum, 2), std::overflow_error);
}

TEST(Rating, FileErrorsNameTheLine)
{
    struct {
        const char* text;
        const char* where;
    } cases[] = {
        {"prefix,label,setup,per_minute\n", "tariff.csv:1: no column \"increment_seconds\""},
        {"prefix,label,setup,per_minute,increment_seconds,note\n", "tariff.csv:1: unknown column \"note\""},
        {"prefix,label,setup,per_minute,increment_seconds\n0,\"two\nlines\",0,1,60\n01,x,0,1.23456,60\n",
         "tariff.csv:4: per_minute"},
        {"prefix,label,setup,per_minute,increment_seconds\n0,a,0,1,60\n\n0,b,0,1,60\n",
         "tariff.csv:4: the prefix \"0\" is given twice"},
        {"prefix,label,setup,per_minute,increment_seconds\n0x,a,0,1,60\n", "tariff.csv:2: the prefix"},
        {"prefix,label,setup,per_minute,increment_seconds\n0,a,0,1,0\n", "tariff.csv:2: increment_seconds"},
        {"prefix,label,setup,per_minute,increment_seconds\n0,a,0,1\n", "tariff.csv:2: 4 fields"},
        {"prefix,label,setup,per_minute,increment_seconds\n0,\"open,0,1,60\n", "tariff.csv:2: a quoted field"},
    };
    for (auto& c : cases) {
        try {
            tariff(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const InputError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.where, 0), 0u) << e.what();
        }
    }
}
