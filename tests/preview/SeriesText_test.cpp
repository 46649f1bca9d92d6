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
