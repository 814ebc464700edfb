// Tests of the charge queue: storing charge lines, matching them to released
// calls by trunk, and the slot order a removal leaves behind.
#include "dectest.h"

namespace {

// A charge line for a trunk: its code starts in column 49.
std::string chg(const std::string& trunk, const std::string& code)
{
    std::string s = "A 002 00          " + trunk;
    s.resize(37, ' ');
    return s + "12/06 09:14 " + code;
}

std::string call(const std::string& trunk)
{
    std::string s = "N 001 00 D2101   T" + trunk;
    s.resize(37, ' ');
    return s + "12/06 09:15 00:03:20 90025551234";
}

std::string code(int slot) { return std::string(chargeq.slot[slot].code, 12); }

// The charge code of the record, high half "/" low half.
std::string charge()
{
    std::string hi = bcd(packed.charge_hi);   // bcdtext reuses its buffer
    return hi + "/" + bcd(packed.charge_lo);
}

// Releases a call on the trunk and gives its charge code.
std::string released(const std::string& trunk)
{
    feed(call(trunk));
    EXPECT_EQ(drain(), 1);
    return charge();
}

class ChargeQueue : public DecoderTest {
protected:
    void SetUp() override
    {
        DecoderTest::SetUp();
        opt.longcodes = true;
        chargeq = chargequeue{};
    }
};

// One slot serves every case in turn, so a short code also shows that
// nothing of the longer code before it is left.
TEST_F(ChargeQueue, StoresAndAttachesCodes)
{
    struct { std::string trunk, text, stored, attached; } cases[] = {
        {"000012", "123456789012", "123456789012", "123456/789012"},
        {"000012", "4711", "4711        ", "000000/004711"},
        {"    12", "12-34", "12 34       ", "000000/001234"},
        {"000012", "1234567890123456", "123456789012", "123456/789012"},
    };
    for (auto& c : cases) {
        ASSERT_EQ(feed(chg(c.trunk, c.text)), 0);
        EXPECT_EQ(bcd(chargeq.slot[0].trunk), "000012");
        EXPECT_EQ(code(0), c.stored);
        EXPECT_EQ(released("000012"), c.attached);
        EXPECT_EQ(chargeq.count, 0);
        chargeq.head = chargeq.tail = 0;
    }
}

TEST_F(ChargeQueue, ChargeLineRightAfterItsCall)
{
    feed(call("004012"));
    ASSERT_EQ(feed(chg("004012", "5555")), 1);
    EXPECT_EQ(charge(), "000000/005555");
    EXPECT_EQ(chargeq.count, 0);
}

TEST_F(ChargeQueue, OldestEntryOfTheTrunkFirst)
{
    feed(chg("000009", "999"));
    feed(chg("000012", "111"));
    feed(chg("000012", "222"));
    EXPECT_EQ(released("004012"), "000000/000000");
    EXPECT_EQ(chargeq.count, 3);
    EXPECT_EQ(released("000012"), "000000/000111");
    EXPECT_EQ(released("000012"), "000000/000222");
    EXPECT_EQ(chargeq.count, 1);
    EXPECT_EQ(bcd(chargeq.slot[chargeq.tail].trunk), "000009");
}

TEST_F(ChargeQueue, FullQueueDropsTheOldest)
{
    for (int i = 1; i <= 45; i++) {
        char t[7];
        snprintf(t, sizeof t, "%06d", i);
        feed(chg(t, std::to_string(i)));
    }
    EXPECT_EQ(chargeq.count, 44);
    EXPECT_EQ(chargeq.head, 1);
    EXPECT_EQ(chargeq.tail, 1);
    EXPECT_EQ(released("000001"), "000000/000000");
    EXPECT_EQ(released("000002"), "000000/000002");
    EXPECT_EQ(released("000045"), "000000/000045");
}

TEST_F(ChargeQueue, RemovalMovesTheNewestIntoTheFreedSlot)
{
    feed(chg("000001", "1"));
    feed(chg("000002", "2"));
    feed(chg("000003", "3"));
    EXPECT_EQ(released("000001"), "000000/000001");
    EXPECT_EQ(bcd(chargeq.slot[0].trunk), "000003");
    EXPECT_EQ(bcd(chargeq.slot[1].trunk), "000002");
    EXPECT_EQ(chargeq.count, 2);
    EXPECT_EQ(chargeq.head, 2);
    feed(chg("000004", "4"));
    EXPECT_EQ(bcd(chargeq.slot[2].trunk), "000004");
}

}  // namespace
