#include "preview/LogSeries.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "SeriesLines.h"
#include "logfile/LogLineReader.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using testing::RegularLines;
using testing::TempDir;
using testing::ValueLine;

constexpr SecondStamp kStart = 645539400;  // 2005-06-15 12:30:00

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LogSeries, RegularSeriesWithAGapAndASpike) {
    TempDir folder;
    // 100 values a minute apart, then three hours without any, then 50 more.
    auto lines = RegularLines("TEMP", kStart, 60, 100, [](int i) { return i == 40 ? "950.5" : "20"; });
    const SecondStamp resume = kStart + 99 * 60 + 3 * 3600;
    lines = Join(lines, RegularLines("TEMP", resume, 60, 50, [](int i) { return i == 7 ? "-3.25" : "21"; }));
    const std::string path = folder.WriteLines("regular.log", lines);

    const LogSeriesReading reading = ReadLogSeries(path, {"TEMP"});
    ASSERT_EQ(reading.series.size(), 1u);
    const NameSeries& temp = reading.series[0];
    EXPECT_EQ(temp.name, "TEMP");
    EXPECT_EQ(temp.stats.count, 150u);
    EXPECT_EQ(temp.points.size(), 150u);
    EXPECT_EQ(temp.stats.first, kStart);
    EXPECT_EQ(temp.stats.last, resume + 49 * 60);
    EXPECT_EQ(temp.stats.minimum, -3.25);
    EXPECT_EQ(temp.stats.maximum, 950.5);
    EXPECT_EQ(temp.stats.medianInterval, 60);
    EXPECT_EQ(temp.stats.gaps, (std::vector<SeriesGap>{{kStart + 99 * 60, resume}}));
    EXPECT_EQ(temp.stats.stepsBack, 0u);
    EXPECT_TRUE(temp.refused.empty());
    EXPECT_EQ(temp.stats.refusedCount, 0u);
    EXPECT_FALSE(reading.cancelled);
    EXPECT_EQ(reading.bytesRead, reading.fileSize);
}

TEST(LogSeries, RefusedValuesKeepTheirLineAndReason) {
    TempDir folder;
    const std::string path = folder.WriteLines(
        "refused.log", {ValueLine("TEMP", kStart, "20"), ValueLine("TEMP", kStart + 60, "n/a"),
                        "TEMP,02/30/2005,12:32:00,21,G", ValueLine("TEMP", kStart + 180, "1e309"),
                        ValueLine("BATT", kStart + 180, "oops"), ValueLine("TEMP", kStart + 240, "22")});
    const LogSeriesReading reading = ReadLogSeries(path, {"TEMP"});
    ASSERT_EQ(reading.series.size(), 1u);
    const NameSeries& temp = reading.series[0];
    EXPECT_EQ(temp.points, (std::vector<SeriesPoint>{{kStart, 20}, {kStart + 240, 22}}));
    EXPECT_EQ(temp.refused, (std::vector<RefusedValue>{
                                {2, RefusalReason::NotANumber, "n/a", true, kStart + 60},
                                {3, RefusalReason::NoUsableTimeTag, "21", false, 0},
                                {4, RefusalReason::NumberOutOfRange, "1e309", true, kStart + 180},
                            }));
    EXPECT_EQ(temp.stats.refusedCount, 3u);
    EXPECT_STREQ(RefusalText(RefusalReason::NoUsableTimeTag), "no usable time tag");
    EXPECT_STREQ(RefusalText(RefusalReason::NotANumber), "not a number");
    EXPECT_STREQ(RefusalText(RefusalReason::NumberOutOfRange), "number out of range");
}

TEST(LogSeries, OnlyTheFirstRefusedValuesAreListedButAllAreCounted) {
    TempDir folder;
    const auto lines = RegularLines("TEMP", kStart, 1, static_cast<int>(kMaxRefusedKept) + 5,
                                    [](int) { return std::string(60, 'x'); });
    const LogSeriesReading reading = ReadLogSeries(folder.WriteLines("bad.log", lines), {"TEMP"});
    const NameSeries& temp = reading.series.at(0);
    EXPECT_EQ(temp.stats.refusedCount, kMaxRefusedKept + 5);
    ASSERT_EQ(temp.refused.size(), kMaxRefusedKept);
    EXPECT_EQ(temp.refused.back().line, kMaxRefusedKept);
    EXPECT_EQ(temp.refused.back().valueText, std::string(kRefusedTextLength, 'x'));
    EXPECT_EQ(temp.stats.count, 0u);
}

TEST(LogSeries, OnePointAndNone) {
    TempDir folder;
    const std::string path = folder.WriteLines("one.log", {ValueLine("Temp", kStart, "7.5")});
    const LogSeriesReading reading = ReadLogSeries(path, {"TEMP", "HUM"});
    ASSERT_EQ(reading.series.size(), 2u);
    const NameSeries& temp = reading.series[0];
    EXPECT_EQ(temp.name, "TEMP");  // as asked for; matched without regard to case
    EXPECT_EQ(temp.stats.count, 1u);
    EXPECT_EQ(temp.stats.first, kStart);
    EXPECT_EQ(temp.stats.last, kStart);
    EXPECT_EQ(temp.stats.minimum, 7.5);
    EXPECT_EQ(temp.stats.maximum, 7.5);
    EXPECT_EQ(temp.stats.medianInterval, 0);
    EXPECT_TRUE(temp.stats.gaps.empty());

    const NameSeries& hum = reading.series[1];
    EXPECT_EQ(hum.name, "HUM");
    EXPECT_EQ(hum.stats.count, 0u);
    EXPECT_EQ(hum.stats.first, 0);
    EXPECT_EQ(hum.stats.last, 0);
    EXPECT_TRUE(hum.points.empty());

    EXPECT_TRUE(ReadLogSeries(folder.WriteLines("empty.log", {}), {}).series.empty());
}

TEST(LogSeries, AClockThatSteppedBackIsSortedAndCounted) {
    TempDir folder;
    const std::string path =
        folder.WriteLines("clock.log", {ValueLine("TEMP", kStart, "1"), ValueLine("TEMP", kStart + 600, "2"),
                                        ValueLine("TEMP", kStart + 300, "3"), ValueLine("TEMP", kStart + 900, "4"),
                                        ValueLine("TEMP", kStart + 900, "5")});
    const NameSeries temp = ReadLogSeries(path, {"TEMP"}).series.at(0);
    EXPECT_EQ(temp.points,
              (std::vector<SeriesPoint>{
                  {kStart, 1}, {kStart + 300, 3}, {kStart + 600, 2}, {kStart + 900, 4}, {kStart + 900, 5}}));
    EXPECT_EQ(temp.stats.stepsBack, 1u);
    // Repeated time tags give no interval of 0.
    EXPECT_EQ(temp.stats.medianInterval, 300);
}

TEST(LogSeries, EveryNameInTheOrderOfTheSensorList) {
    TempDir folder;
    const std::string path = folder.WriteLines(
        "all.PRN", {ValueLine("temp", kStart, "1"), ValueLine("BATT", kStart, "12.5"),
                    ValueLine("TEMP", kStart + 60, "2"), "\"Date\" \"Time\" \"Stage\"", "06/15/2005 12:32:00 1.5 13"});
    const LogSeriesReading reading = ReadLogSeries(path, {});
    std::vector<std::string> names;
    std::vector<std::size_t> counts;
    for (const NameSeries& series : reading.series) {
        names.push_back(series.name);
        counts.push_back(series.stats.count);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"0:2", "BATT", "Stage", "temp"}));
    EXPECT_EQ(counts, (std::vector<std::size_t>{1, 1, 1, 2}));
}

TEST(LogSeries, MedianAndGapsOfGeneratedIntervals) {
    struct Case {
        std::vector<int> steps;
        std::int64_t median;
        std::size_t gaps;
    };
    const std::vector<Case> cases = {
        {{}, 0, 0},                    // one point
        {{10}, 10, 0},                 // two points
        {{10, 10, 31}, 10, 1},         // 31 > 3 x 10
        {{10, 10, 30}, 10, 0},         // exactly three times is no gap
        {{10, 20, 30, 40}, 20, 0},     // lower of the two middle ones
        {{0, 0, 5, 0, 5, 100}, 5, 1},  // repeated time tags are no interval
        {{60, 60, 60, 1000, 60, 500}, 60, 2},
    };
    for (const Case& c : cases) {
        std::vector<SeriesPoint> points{{kStart, 0}};
        for (int step : c.steps) points.push_back({points.back().stamp + step, 0});
        const std::int64_t median = MedianInterval(points);
        EXPECT_EQ(median, c.median) << ::testing::PrintToString(c.steps);
        EXPECT_EQ(FindGaps(points, median).size(), c.gaps) << ::testing::PrintToString(c.steps);
    }
}

TEST(LogSeries, ProgressIsReportedAndCancelStopsTheReading) {
    TempDir folder;
    const auto lines = RegularLines("TEMP", kStart, 60, 100000, [](int i) { return std::to_string(i % 17); });
    const std::string path = folder.WriteLines("big.log", lines);

    std::vector<std::uint64_t> reported;
    SeriesReadControl control;
    control.progress = [&](std::uint64_t read, std::uint64_t size) {
        reported.push_back(read);
        EXPECT_GT(size, 2 * kProgressStep);
    };
    const LogSeriesReading whole = ReadLogSeries(path, {"TEMP"}, control);
    EXPECT_EQ(whole.series.at(0).stats.count, 100000u);
    ASSERT_GE(reported.size(), 3u);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_EQ(reported.back(), whole.fileSize);

    // Cancelled after the first report: the reading stops there.
    std::atomic<bool> cancel{false};
    control.progress = [&](std::uint64_t, std::uint64_t) { cancel = true; };
    control.cancel = &cancel;
    const LogSeriesReading stopped = ReadLogSeries(path, {"TEMP"}, control);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_LT(stopped.bytesRead, 2 * kProgressStep);
    EXPECT_LT(stopped.series.at(0).stats.count, 100000u);
}

TEST(LogSeries, AFileThatCannotBeOpenedThrowsWithTheSystemsWords) {
    TempDir folder;
    try {
        ReadLogSeries(folder.File("missing.log"), {"TEMP"});
        FAIL() << "no error";
    } catch (const LogFileError& error) {
        EXPECT_EQ(error.systemMessage(), "No such file or directory");
    }
}

}  // namespace
}  // namespace vireo
