// The CDR line reader's accept/refuse table: every field's grammar and
// range, and the end time checked against the hour of its file.
#include <gtest/gtest.h>

#include <string>

#include "cdrparse.h"
#include "civil.h"

namespace {

// The row as text, or the reason it was refused.
std::string read(const std::string& line, Hour h = {2026, 12, 6, 8})
{
    CdrRow r;
    if (const char* why = parse_cdr(line, h, r))
        return std::string("refused: ") + why;
    return std::string(r.first) + '|' + std::string(r.second) + '|' + std::string(r.dialled) +
           '|' + stamptext(r.end) + '|' + std::to_string(r.duration) + '|' +
           std::to_string(r.meter) + '|' + std::string(r.charge) + '|' + std::to_string(r.type) +
           '|' + r.direction + '|' + (r.assisted ? "assisted" : "-");
}

TEST(CdrLine, AcceptsWhatThePackersWrite)
{
    EXPECT_EQ(read(":2103|4014|0891555777|061226081344|191|31|4711|01"),
              "2103|4014|0891555777|2026-12-06 08:13:44|764|31|4711|1|out|-");
    EXPECT_EQ(read(":4013|2102||061226084504|76|||81"),
              "4013|2102||2026-12-06 08:45:04|304|0||129|in|-");
    EXPECT_EQ(read(":4018|2105||061226082240|65535|8191|999999|c1"),
              "4018|2105||2026-12-06 08:22:40|262140|8191|999999|193|in|assisted");
    EXPECT_EQ(read(":|||061226080000||||89"), "|||2026-12-06 08:00:00|0|0||137|internal|-");
    EXPECT_EQ(read(":1|4019|0401998877|061226085959|12|||42"),
              "1|4019|0401998877|2026-12-06 08:59:59|48|0||66|out|assisted");
    EXPECT_EQ(read(":4016|4017|0612345678|061226080928|112|||03").substr(0, 10), "4016|4017|");
    EXPECT_EQ(read(":1234567|2||311299235959||||01", {1999, 12, 31, 23}),
              "1234567|2||1999-12-31 23:59:59|0|0||1|out|-");
    // From 2100 on the year shows in three digits.
    EXPECT_EQ(read(":1|2||0101100000000||||01", {2100, 1, 1, 0}),
              "1|2||2100-01-01 00:00:00|0|0||1|out|-");
    // The longest line read, every field at its widest, is far from the
    // length past which a line is bad unread.
    const std::string longest = ":1234567|7654321|" + std::string(24, '9') +
                                "|0101100000000|065535|008191|999999|c1";
    EXPECT_EQ(read(longest, {2100, 1, 1, 0}).substr(0, 16), "1234567|7654321|");
    EXPECT_LT(longest.size(), MAXLINE / 2);
}

TEST(CdrLine, RefusesAnythingElse)
{
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"", "not a CDR line"},
        {"2101|4012||061226081820|||01", "not a CDR line"},
        {":2101|4012||061226081820|||", "not a CDR line"},
        {":2101|4012||061226081820|||||01", "not a CDR line"},
        {":2101|4012||061226081820||||01:2102|4013||061226081820||||01", "not a CDR line"},
        {":21O1|4012||061226081820||||01", "bad first party"},
        {":12345678|4012||061226081820||||01", "bad first party"},
        {":2101| 4012||061226081820||||01", "bad second party"},
        {":2101|4012|0123456789012345678901234|061226081820||||01", "bad dialled digits"},
        {":2101|4012|0711*|061226081820||||01", "bad dialled digits"},
        {":2101|4012||06122608182||||01", "bad end date and time"},
        {":2101|4012||061226086000||||01", "bad end date and time"},
        {":2101|4012||06122608 820||||01", "bad end date and time"},
        {":2101|4012||071226081820||||01", "end date and hour disagree with the file's"},
        {":2101|4012||061226091820||||01", "end date and hour disagree with the file's"},
        {":2101|4012||061227081820||||01", "end date and hour disagree with the file's"},
        {":2101|4012||0612126081820||||01", "end date and hour disagree with the file's"},
        {":2101|4012||061226081820|65536|||01", "bad duration"},
        {":2101|4012||061226081820|-1|||01", "bad duration"},
        {":2101|4012||061226081820||8192||01", "bad meter pulses"},
        {":2101|4012||061226081820|||1234567|01", "bad charge code"},
        {":2101|4012||061226081820||||C1", "bad call type"},
        {":2101|4012||061226081820||||1", "bad call type"},
        {":2101|4012||061226081820||||01\r", "bad call type"},
        {":2101|4012||061226081820||||00", "unknown call type"},
        {":2101|4012||061226081820||||83", "unknown call type"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.line), std::string("refused: ") + c.why) << c.line;
}

}  // namespace
