#include "preview/SeriesPlot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vireo {
namespace {

constexpr SecondStamp kStart = 645539400;  // 2005-06-15 12:30:00

/// `count` points one every `step` seconds from `start`, all of value `value`.
std::vector<SeriesPoint> Flat(SecondStamp start, int step, int count, double value) {
    std::vector<SeriesPoint> points;
    for (int i = 0; i < count; ++i) points.push_back({start + i * step, value});
    return points;
}

NameSeries SeriesOf(std::vector<SeriesPoint> points) {
    NameSeries series;
    series.points = std::move(points);
    FinishSeries(series);
    return series;
}

bool InTimeOrder(const std::vector<SeriesPoint>& points) {
    return std::is_sorted(points.begin(), points.end(), [](auto& a, auto& b) { return a.stamp < b.stamp; });
}

TEST(SeriesPlot, SpikesSurviveDecimation) {
    std::vector<SeriesPoint> points = Flat(kStart, 1, 100000, 5);
    points[31234].value = 1000;  // one high spike
    points[77777].value = -400;  // one low spike
    const PlotFrame frame{kStart, kStart + 99999, 500};
    const std::vector<SeriesPoint> kept = Decimate(points, frame);
    EXPECT_LE(kept.size(), 1000u);
    EXPECT_TRUE(InTimeOrder(kept));
    EXPECT_NE(std::find(kept.begin(), kept.end(), SeriesPoint{kStart + 31234, 1000}), kept.end());
    EXPECT_NE(std::find(kept.begin(), kept.end(), SeriesPoint{kStart + 77777, -400}), kept.end());
    EXPECT_EQ(kept.front().stamp, kStart);
}

TEST(SeriesPlot, ShortSeriesAreDrawnWhole) {
    const std::vector<SeriesPoint> points = Flat(kStart, 60, 20, 1);
    EXPECT_EQ(Decimate(points, {kStart, kStart + 19 * 60, 10}), points);
    EXPECT_EQ(Decimate({}, {0, 0, 10}), std::vector<SeriesPoint>{});
}

TEST(SeriesPlot, ColumnsOfTheFrame) {
    const PlotFrame frame{1000, 2000, 10};
    EXPECT_EQ(ColumnOf(frame, 1000), 0u);
    EXPECT_EQ(ColumnOf(frame, 1099), 0u);
    EXPECT_EQ(ColumnOf(frame, 1100), 1u);
    EXPECT_EQ(ColumnOf(frame, 2000), 9u);
    EXPECT_EQ(ColumnOf(frame, 500), 0u);
    EXPECT_EQ(ColumnOf(frame, 5000), 9u);
    EXPECT_EQ(ColumnOf({1000, 1000, 10}, 1000), 0u);  // one point: no span
}

TEST(SeriesPlot, FrameSpansEverySeries) {
    const NameSeries a = SeriesOf(Flat(kStart + 100, 10, 5, 1));
    const NameSeries b = SeriesOf(Flat(kStart, 10, 3, 1));
    const NameSeries none = SeriesOf({});
    const PlotFrame frame = FrameOf({&a, &none, &b}, 800);
    EXPECT_EQ(frame.from, kStart);
    EXPECT_EQ(frame.to, kStart + 140);
    EXPECT_EQ(frame.columns, 800u);
    const PlotFrame empty = FrameOf({&none}, 0);
    EXPECT_EQ(empty.from, 0);
    EXPECT_EQ(empty.to, 0);
    EXPECT_EQ(empty.columns, 1u);
}

TEST(SeriesPlot, WideGapsBreakTheLineNarrowOnesDoNot) {
    // A minute apart; a gap of a day, then one of ten minutes.
    std::vector<SeriesPoint> points = Flat(kStart, 60, 100, 1);
    const SecondStamp afterDay = points.back().stamp + 86400;
    const auto second = Flat(afterDay, 60, 100, 2);
    points.insert(points.end(), second.begin(), second.end());
    const SecondStamp afterTen = points.back().stamp + 600;
    const auto third = Flat(afterTen, 60, 100, 3);
    points.insert(points.end(), third.begin(), third.end());
    const NameSeries series = SeriesOf(points);
    ASSERT_EQ(series.stats.gaps.size(), 2u);

    // 100 columns over about 1.2 days: a column is about 17 minutes wide.
    const PlotFrame frame = FrameOf({&series}, 100);
    const auto lines = PlotLines(series, frame);
    ASSERT_EQ(lines.size(), 2u);
    // Thinned: each part keeps the lowest and highest of its columns, on its own side of the gap.
    EXPECT_LE(lines[0].back().stamp, kStart + 99 * 60);
    EXPECT_GE(lines[1].front().stamp, afterDay);
    EXPECT_EQ(lines[0].front(), (SeriesPoint{kStart, 1}));
    std::size_t drawn = lines[0].size() + lines[1].size();
    EXPECT_LE(drawn, 2 * frame.columns + 4);

    // With 100000 columns every gap is wide enough, and nothing is thinned.
    const auto fine = PlotLines(series, FrameOf({&series}, 100000));
    ASSERT_EQ(fine.size(), 3u);
    EXPECT_EQ(fine[0].size() + fine[1].size() + fine[2].size(), 300u);
}

TEST(SeriesPlot, OnePointAndNone) {
    const NameSeries one = SeriesOf({{kStart, 4}});
    const auto lines = PlotLines(one, FrameOf({&one}, 100));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (std::vector<SeriesPoint>{{kStart, 4}}));
    EXPECT_TRUE(PlotLines(SeriesOf({}), {0, 0, 100}).empty());
}

TEST(SeriesPlot, ManyGapsStillGiveAFewThousandPointsAtMost) {
    // Bursts of 50 values a second apart, a burst every hour for a month.
    std::vector<SeriesPoint> points;
    for (int hour = 0; hour < 24 * 30; ++hour) {
        for (int i = 0; i < 50; ++i) points.push_back({kStart + hour * 3600 + i, static_cast<double>(i % 7)});
    }
    const NameSeries series = SeriesOf(points);
    const PlotFrame frame = FrameOf({&series}, 1000);
    std::size_t drawn = 0;
    for (const auto& line : PlotLines(series, frame)) {
        EXPECT_TRUE(InTimeOrder(line));
        drawn += line.size();
    }
    EXPECT_LE(drawn, 4 * frame.columns);
}

}  // namespace
}  // namespace vireo
