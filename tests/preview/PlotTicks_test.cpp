#include "preview/PlotTicks.h"

#include <gtest/gtest.h>

#include <vector>

namespace vireo {
namespace {

TEST(PlotTicks, ValueTicksAreRoundNumbers) {
    struct Case {
        double low, high;
        int most;
        double step;
        std::vector<double> values;
    };
    const Case cases[] = {
        {1.43, 2.77, 6, 0.2, {1.6, 1.8, 2.0, 2.2, 2.4, 2.6}},
        {-12.4, 51.9, 8, 10, {-10, 0, 10, 20, 30, 40, 50}},
        {12.1, 14.9, 4, 1, {13, 14}},
        {0, 1, 3, 0.5, {0, 0.5, 1}},
        {-0.004, 0.013, 5, 0.005, {0, 0.005, 0.01}},
        {990, 1230000, 3, 500000, {500000, 1000000}},
        {5, 5, 4, 1, {4, 5, 6}},  // an empty range: one unit around it
    };
    for (const Case& c : cases) {
        const ValueTicks ticks = NiceValueTicks(c.low, c.high, c.most);
        EXPECT_DOUBLE_EQ(ticks.step, c.step) << c.low << ".." << c.high;
        ASSERT_EQ(ticks.values.size(), c.values.size()) << c.low << ".." << c.high;
        for (std::size_t i = 0; i < c.values.size(); ++i) EXPECT_NEAR(ticks.values[i], c.values[i], 1e-9);
    }
}

TEST(PlotTicks, ValueTextHasTheDecimalsOfTheStep) {
    struct Case {
        double value, step;
        const char* text;
    };
    const Case cases[] = {
        {1.6000000000000001, 0.2, "1.6"},
        {20, 10, "20"},
        {0.005, 0.005, "0.005"},
        {-1e-17, 0.1, "0.0"},
        {2, 0.5, "2.0"},
        {1000000, 500000, "1000000"},
    };
    for (const Case& c : cases) EXPECT_EQ(ValueTickText(c.value, c.step), c.text);
}

constexpr SecondStamp kDay = 86400;
// 2005-06-15 00:00:00 (stamp 0 is 1984-12-31, a Monday)
constexpr SecondStamp kJune15 = 7471 * kDay;

std::vector<std::string> Texts(const std::vector<TimeTick>& ticks) {
    std::vector<std::string> texts;
    for (const TimeTick& tick : ticks) texts.push_back(tick.date.empty() ? tick.text : tick.text + " " + tick.date);
    return texts;
}

TEST(PlotTicks, TimeTicksStandOnWholeUnits) {
    struct Case {
        SecondStamp from, to;
        int most;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        // A minute and a half: every 15 s.
        {kJune15 + 43207,
         kJune15 + 43297,
         8,
         {"12:00:15 06/15/2005", "12:00:30", "12:00:45", "12:01:00", "12:01:15", "12:01:30"}},
        // Three and a half hours: whole hours.
        {kJune15 + 43140, kJune15 + 55740, 5, {"12:00:00 06/15/2005", "13:00:00", "14:00:00", "15:00:00"}},
        // Across midnight: the date under the first tick of the new day, midnight as 00:00:00.
        {kJune15 + 72000, kJune15 + kDay + 14400, 4, {"21:00:00 06/15/2005", "00:00:00 06/16/2005", "03:00:00"}},
        // Ten days: every 2 days from the epoch's Monday.
        {kJune15 + 1000,
         kJune15 + 10 * kDay,
         6,
         {"06/16/2005", "06/18/2005", "06/20/2005", "06/22/2005", "06/24/2005"}},
        // Two years: quarters from January.
        {kJune15,
         kJune15 + 730 * kDay,
         10,
         {"Jul 2005", "Oct 2005", "Jan 2006", "Apr 2006", "Jul 2006", "Oct 2006", "Jan 2007", "Apr 2007"}},
        // Twenty years: every five.
        {kDay, kJune15, 6, {"1985", "1990", "1995", "2000", "2005"}},
    };
    for (const Case& c : cases) {
        const auto ticks = NiceTimeTicks(c.from, c.to, c.most);
        EXPECT_LE(ticks.size(), static_cast<std::size_t>(std::max(c.most, 2)) + 2);
        for (const TimeTick& tick : ticks) {
            EXPECT_GE(tick.stamp, c.from);
            EXPECT_LE(tick.stamp, c.to);
        }
        EXPECT_EQ(Texts(ticks), c.texts) << c.from << ".." << c.to;
    }
}

}  // namespace
}  // namespace vireo
