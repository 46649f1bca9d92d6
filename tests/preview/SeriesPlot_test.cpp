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

namespace vireo {
namespace {

RefusedValue RefusedAt(SecondStamp stamp, std::uint64_t line) {
    RefusedValue refused;
    refused.line = line;
    refused.hasTimeTag = true;
    refused.stamp = stamp;
    refused.valueText = "n/a";
    return refused;
}

TEST(SeriesPlot, TheFrameCoversRefusedValuesToo) {
    struct Case {
        const char* what;
        std::vector<SeriesPoint> points;
        std::vector<RefusedValue> refused;
        SecondStamp from, to;
    };
    const Case cases[] = {
        {"refused before and after the good values",
         Flat(kStart + 600, 60, 5, 1),
         {RefusedAt(kStart, 1), RefusedAt(kStart + 3600, 9)},
         kStart,
         kStart + 3600},
        {"every value refused", {}, {RefusedAt(kStart + 60, 2), RefusedAt(kStart, 1)}, kStart, kStart + 60},
        {"refused inside the good values", Flat(kStart, 60, 5, 1), {RefusedAt(kStart + 90, 3)}, kStart, kStart + 240},
    };
    for (const Case& c : cases) {
        NameSeries series = SeriesOf(c.points);
        series.refused = c.refused;
        const PlotFrame frame = FrameOf({&series}, 100);
        EXPECT_EQ(frame.from, c.from) << c.what;
        EXPECT_EQ(frame.to, c.to) << c.what;
    }
    // Refused values beyond the kept list still widen it, through the numbers.
    NameSeries series = SeriesOf(Flat(kStart, 60, 5, 1));
    series.stats.refusedTimed = true;
    series.stats.refusedFirst = kStart - 86400;
    series.stats.refusedLast = kStart + 86400;
    const PlotFrame frame = FrameOf({&series}, 100);
    EXPECT_EQ(frame.from, kStart - 86400);
    EXPECT_EQ(frame.to, kStart + 86400);
}

/// The points of the lines, all together.
std::vector<SeriesPoint> Joined(const std::vector<std::vector<SeriesPoint>>& lines) {
    std::vector<SeriesPoint> all;
    for (const auto& line : lines) all.insert(all.end(), line.begin(), line.end());
    return all;
}

TEST(SeriesPlot, AOneMinuteSpikeAndTheGapsStayAtEveryZoom) {
    // Two years of minute values, a spike one minute wide in the middle of
    // them, a gap of a day a little after it.
    std::vector<SeriesPoint> points;
    const int minutes = 2 * 365 * 1440;
    const int spike = minutes / 2;
    const int gapAt = spike + 3 * 1440;
    points.reserve(minutes);
    for (int i = 0; i < minutes; ++i) {
        if (i > gapAt && i <= gapAt + 1440) continue;
        points.push_back({kStart + i * 60, i == spike ? 500.0 : 10.0 + (i % 7), static_cast<std::uint32_t>(i + 1)});
    }
    const NameSeries series = SeriesOf(points);
    ASSERT_EQ(series.stats.gaps.size(), 1u);
    const SecondStamp spikeAt = kStart + spike * 60;

    PlotFrame full = FrameOf({&series}, 800);
    PlotFrame view = FitFrame(full);
    std::vector<std::int64_t> spans;
    // Zoomed in about the spike by halves down to the shortest span, then out again.
    for (int step = 0; step < 44; ++step) {
        const double factor = step < 22 ? 0.5 : 2.0;
        view = ZoomFrame(view, full, factor, spikeAt);
        spans.push_back(std::int64_t{view.to} - view.from);
        const auto lines = PlotLines(series, view);
        const std::vector<SeriesPoint> drawn = Joined(lines);
        EXPECT_LE(drawn.size(), 2 * view.columns + 4 * lines.size()) << "span " << spans.back();
        const auto found = std::find(drawn.begin(), drawn.end(), SeriesPoint{spikeAt, 500.0});
        ASSERT_NE(found, drawn.end()) << "span " << spans.back();
        EXPECT_EQ(found->line, static_cast<std::uint32_t>(spike + 1));
        // The gap is in view while the span reaches it, and breaks the line once it is a column wide.
        const bool gapInView = view.to >= series.stats.gaps[0].from;
        EXPECT_EQ(GapsInFrame(series, view).size(), gapInView ? 1u : 0u) << "span " << spans.back();
        const bool wide = (std::int64_t{1440} * 60 + 60) * static_cast<std::int64_t>(view.columns) >=
                          std::int64_t{view.to} - view.from;
        EXPECT_EQ(lines.size(), gapInView && wide ? 2u : 1u) << "span " << spans.back();
    }
    EXPECT_EQ(*std::min_element(spans.begin(), spans.end()), kShortestSpan);
    EXPECT_EQ(spans.back(), std::int64_t{full.to} - full.from);  // all the way out again
}

TEST(SeriesPlot, ZoomAndPanStayInsideTheWhole) {
    const PlotFrame full{1000, 11000, 100};
    struct Case {
        const char* what;
        PlotFrame result;
        SecondStamp from, to;
    };
    const PlotFrame half{3000, 8000, 100};
    const Case cases[] = {
        {"halved about its middle", ZoomFrame(full, full, 0.5, 6000), 3500, 8500},
        {"halved about a place: it keeps its place", ZoomFrame(full, full, 0.5, 3000), 2000, 7000},
        {"zoomed out past the whole", ZoomFrame(half, full, 4, 5000), 1000, 11000},
        {"zoomed out about its end: held at the start", ZoomFrame(half, full, 1.5, 8000), 1000, 8500},
        {"never shorter than the shortest span", ZoomFrame(full, full, 1e-9, 5000), 4992, 5012},
        {"moved later", PanFrame(half, full, 1000), 4000, 9000},
        {"moved past the end", PanFrame(half, full, 100000), 6000, 11000},
        {"moved before the start", PanFrame(half, full, -100000), 1000, 6000},
        {"a single time tag is shown with an hour around it", FitFrame({5000, 5000, 100}), 3200, 6800},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result.from, c.from) << c.what;
        EXPECT_EQ(c.result.to, c.to) << c.what;
        EXPECT_EQ(c.result.columns, 100u) << c.what;
    }
}

TEST(SeriesPlot, AZoomedFrameDrawsItsPointsAndOneOnEachSide) {
    const NameSeries series = SeriesOf(Flat(kStart, 60, 100, 1));
    const auto lines = PlotLines(series, {kStart + 600, kStart + 1200, 800});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 13u);  // 11 inside, one before and one after
    EXPECT_EQ(lines[0].front().stamp, kStart + 540);
    EXPECT_EQ(lines[0].back().stamp, kStart + 1260);
    EXPECT_TRUE(PlotLines(series, {kStart + 10 * 86400, kStart + 11 * 86400, 800}).size() == 1u);
    EXPECT_EQ(Decimate(series.points, {kStart - 7200, kStart - 3600, 800}).size(), 1u);  // the first one after it
}

}  // namespace
}  // namespace vireo
