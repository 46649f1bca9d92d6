#include "preview/SeriesText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vireo {
namespace {

TEST(SeriesText, Durations) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "00:00:00"},        {59, "00:00:59"},       {60, "00:01:00"},     {86399, "23:59:59"},
        {86400, "1d 00:00:00"}, {90061, "1d 01:01:01"}, {-3600, "-01:00:00"}, {40 * 86400, "40d 00:00:00"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST(SeriesText, TimeTagsAndNumbers) {
    EXPECT_EQ(IsoTimeTagText(645539400), "2005-06-15 12:30:00");
    EXPECT_EQ(IsoTimeTagText(86400), "1985-01-01 00:00:00");
    EXPECT_EQ(ShortestNumberText(21.5), "21.5");
    EXPECT_EQ(ShortestNumberText(-4), "-4");
    EXPECT_EQ(ShortestNumberText(0.1), "0.1");
    EXPECT_EQ(ShortestNumberText(1e20), "1e+20");
}

}  // namespace
}  // namespace vireo

namespace vireo {
namespace {

TEST(SeriesText, TablesShowMidnightWithItsTime) {
    EXPECT_EQ(RegionalTimeTagText(7471 * 86400), "06/15/2005 00:00:00");
    EXPECT_EQ(RegionalTimeTagText(7471 * 86400 + 45296), "06/15/2005 12:34:56");
}

TEST(SeriesText, ValuesInASpanAsCommaSeparatedText) {
    constexpr SecondStamp kT = 7471 * 86400;
    NameSeries temp;
    temp.name = "TEMP";
    temp.points = {{kT, 20.5, 1}, {kT + 60, 21, 2}, {kT + 120, 22, 4}, {kT + 180, 23, 5}};
    RefusedValue bad;
    bad.line = 3;
    bad.valueText = "1,5";
    bad.hasTimeTag = true;
    bad.stamp = kT + 90;
    temp.refused = {bad};
    NameSeries odd;
    odd.name = "A,B";
    odd.points = {{kT + 60, -1, 9}};

    const auto text = SeriesCsv({&temp, &odd}, kT + 60, kT + 120, 10);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text,
              "Name,Time tag,Value,Line,Refused\r\n"
              "TEMP,2005-06-15 00:01:00,21,2,\r\n"
              "TEMP,2005-06-15 00:02:00,22,4,\r\n"
              "TEMP,2005-06-15 00:01:30,\"1,5\",3,not a number\r\n"
              "\"A,B\",2005-06-15 00:01:00,-1,9,\r\n");
    // Four lines to write: three are too many, four are not.
    EXPECT_FALSE(SeriesCsv({&temp, &odd}, kT + 60, kT + 120, 3).has_value());
    EXPECT_TRUE(SeriesCsv({&temp, &odd}, kT + 60, kT + 120, 4).has_value());
}

}  // namespace
}  // namespace vireo
