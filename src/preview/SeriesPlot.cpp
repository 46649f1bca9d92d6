#include "preview/SeriesPlot.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vireo {

PlotFrame FrameOf(const std::vector<const NameSeries*>& series, std::size_t columns) {
    PlotFrame frame;
    frame.columns = std::max<std::size_t>(columns, 1);
    bool any = false;
    const auto widen = [&](SecondStamp first, SecondStamp last) {
        frame.from = any ? std::min(frame.from, first) : first;
        frame.to = any ? std::max(frame.to, last) : last;
        any = true;
    };
    for (const NameSeries* one : series) {
        if (!one->points.empty()) widen(one->points.front().stamp, one->points.back().stamp);
        if (one->stats.refusedTimed) widen(one->stats.refusedFirst, one->stats.refusedLast);
        for (const RefusedValue& refused : one->refused) {
            if (refused.hasTimeTag) widen(refused.stamp, refused.stamp);
        }
    }
    return frame;
}

std::size_t ColumnOf(const PlotFrame& frame, SecondStamp stamp) {
    const std::int64_t span = std::int64_t{frame.to} - frame.from;
    if (span <= 0 || stamp <= frame.from) return 0;
    if (stamp >= frame.to) return frame.columns - 1;
    const auto column =
        static_cast<std::size_t>((std::int64_t{stamp} - frame.from) * static_cast<std::int64_t>(frame.columns) / span);
    return std::min(column, frame.columns - 1);
}

namespace {

/// The column of a time tag, with a column of its own before the frame and one after it.
std::int64_t ColumnKey(const PlotFrame& frame, SecondStamp stamp) {
    if (stamp < frame.from) return -1;
    if (stamp > frame.to) return static_cast<std::int64_t>(frame.columns);
    return static_cast<std::int64_t>(ColumnOf(frame, stamp));
}

/// The lowest and the highest point of each column, in time order.
std::vector<SeriesPoint> KeepColumnExtremes(const SeriesPoint* begin, const SeriesPoint* end, const PlotFrame& frame) {
    std::vector<SeriesPoint> kept;
    const SeriesPoint* i = begin;
    while (i != end) {
        const std::int64_t column = ColumnKey(frame, i->stamp);
        const SeriesPoint* low = i;
        const SeriesPoint* high = i;
        const SeriesPoint* j = i + 1;
        for (; j != end && ColumnKey(frame, j->stamp) == column; ++j) {
            if (j->value < low->value) low = j;
            if (j->value > high->value) high = j;
        }
        kept.push_back(*std::min(low, high));
        if (low != high) kept.push_back(*std::max(low, high));
        i = j;
    }
    return kept;
}

/// The indices [first, last) of the points the frame shows: those inside it
/// and the nearest one on each side.
std::pair<std::size_t, std::size_t> ShownRange(const std::vector<SeriesPoint>& points, const PlotFrame& frame) {
    const auto earlier = [](const SeriesPoint& point, SecondStamp stamp) { return point.stamp < stamp; };
    const auto later = [](SecondStamp stamp, const SeriesPoint& point) { return stamp < point.stamp; };
    auto first =
        static_cast<std::size_t>(std::lower_bound(points.begin(), points.end(), frame.from, earlier) - points.begin());
    auto last =
        static_cast<std::size_t>(std::upper_bound(points.begin(), points.end(), frame.to, later) - points.begin());
    if (first > 0) --first;
    if (last < points.size()) ++last;
    return {first, last};
}

std::size_t InsideCount(const std::vector<SeriesPoint>& points, const PlotFrame& frame) {
    const auto [first, last] = ShownRange(points, frame);
    std::size_t count = last - first;
    if (first < last && points[first].stamp < frame.from) --count;
    if (first < last && points[last - 1].stamp > frame.to) --count;
    return count;
}

}  // namespace

std::vector<SeriesPoint> Decimate(const std::vector<SeriesPoint>& sortedPoints, const PlotFrame& frame) {
    const auto [first, last] = ShownRange(sortedPoints, frame);
    const SeriesPoint* begin = sortedPoints.data() + first;
    const SeriesPoint* end = sortedPoints.data() + last;
    if (InsideCount(sortedPoints, frame) <= 2 * frame.columns) return {begin, end};
    return KeepColumnExtremes(begin, end, frame);
}

std::vector<std::vector<SeriesPoint>> PlotLines(const NameSeries& series, const PlotFrame& frame) {
    std::vector<std::vector<SeriesPoint>> lines;
    const auto& points = series.points;
    const auto [first, last] = ShownRange(points, frame);
    if (first == last) return lines;
    const std::int64_t span = std::int64_t{frame.to} - frame.from;
    // A gap shows as a break when it is at least one column wide.
    const auto visible = [&](const SeriesGap& gap) {
        return span > 0 && (std::int64_t{gap.to} - gap.from) * static_cast<std::int64_t>(frame.columns) >= span;
    };
    // Every part is thinned when the frame shows too many points to draw:
    // the parts lie in separate columns, so together they keep at most two
    // points per column and two more per part.
    const bool thin = InsideCount(points, frame) > 2 * frame.columns;
    const auto finish = [&](std::size_t from, std::size_t to) {
        const SeriesPoint* begin = points.data() + from;
        const SeriesPoint* end = points.data() + to;
        lines.push_back(thin ? KeepColumnExtremes(begin, end, frame) : std::vector<SeriesPoint>(begin, end));
    };
    const auto& gaps = series.stats.gaps;
    auto gap = std::lower_bound(gaps.begin(), gaps.end(), points[first].stamp,
                                [](const SeriesGap& one, SecondStamp stamp) { return one.to < stamp; });
    std::size_t start = first;
    for (std::size_t i = first; i < last; ++i) {
        while (gap != gaps.end() && gap->to < points[i].stamp) ++gap;
        if (i > start && gap != gaps.end() && gap->from == points[i - 1].stamp && gap->to == points[i].stamp &&
            visible(*gap)) {
            finish(start, i);
            start = i;
        }
    }
    finish(start, last);
    return lines;
}

std::vector<SeriesGap> GapsInFrame(const NameSeries& series, const PlotFrame& frame) {
    std::vector<SeriesGap> shown;
    for (const SeriesGap& gap : series.stats.gaps) {
        if (gap.to >= frame.from && gap.from <= frame.to) shown.push_back(gap);
    }
    return shown;
}

PlotFrame FitFrame(PlotFrame full) {
    if (full.from == full.to) {
        const std::int64_t middle = full.from;
        full.from = static_cast<SecondStamp>(std::max<std::int64_t>(middle - 1800, 0));
        full.to =
            static_cast<SecondStamp>(std::min<std::int64_t>(middle + 1800, std::numeric_limits<SecondStamp>::max()));
    }
    return full;
}

namespace {

/// A span of `length` seconds starting near `from`, moved to lie inside `fit`.
PlotFrame Within(const PlotFrame& fit, std::int64_t from, std::int64_t length, std::size_t columns) {
    const std::int64_t widest = std::int64_t{fit.to} - fit.from;
    length = std::clamp<std::int64_t>(length, std::min(kShortestSpan, widest), widest);
    from = std::clamp<std::int64_t>(from, fit.from, std::int64_t{fit.to} - length);
    PlotFrame frame;
    frame.from = static_cast<SecondStamp>(from);
    frame.to = static_cast<SecondStamp>(from + length);
    frame.columns = columns;
    return frame;
}

}  // namespace

PlotFrame ZoomFrame(const PlotFrame& view, const PlotFrame& full, double factor, SecondStamp anchor) {
    const PlotFrame fit = FitFrame(full);
    const double length = static_cast<double>(std::int64_t{view.to} - view.from);
    const double place = length > 0 ? (static_cast<double>(anchor) - view.from) / length : 0.5;
    const double widest = static_cast<double>(std::int64_t{fit.to} - fit.from);
    const double zoomed = std::clamp(length * factor, std::min(static_cast<double>(kShortestSpan), widest), widest);
    const double from = static_cast<double>(anchor) - std::clamp(place, 0.0, 1.0) * zoomed;
    return Within(fit, std::llround(from), std::llround(zoomed), view.columns);
}

PlotFrame PanFrame(const PlotFrame& view, const PlotFrame& full, std::int64_t seconds) {
    return Within(FitFrame(full), std::int64_t{view.from} + seconds, std::int64_t{view.to} - view.from, view.columns);
}

}  // namespace vireo
