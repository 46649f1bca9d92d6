#include "preview/SeriesPlot.h"

#include <algorithm>
#include <limits>

namespace vireo {

PlotFrame FrameOf(const std::vector<const NameSeries*>& series, std::size_t columns) {
    PlotFrame frame;
    frame.columns = std::max<std::size_t>(columns, 1);
    bool any = false;
    for (const NameSeries* one : series) {
        if (one->points.empty()) continue;
        const SecondStamp first = one->points.front().stamp;
        const SecondStamp last = one->points.back().stamp;
        frame.from = any ? std::min(frame.from, first) : first;
        frame.to = any ? std::max(frame.to, last) : last;
        any = true;
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

/// The lowest and the highest point of each column, in time order.
std::vector<SeriesPoint> KeepColumnExtremes(const std::vector<SeriesPoint>& sortedPoints, const PlotFrame& frame) {
    std::vector<SeriesPoint> kept;
    std::size_t i = 0;
    while (i < sortedPoints.size()) {
        const std::size_t column = ColumnOf(frame, sortedPoints[i].stamp);
        std::size_t low = i;
        std::size_t high = i;
        std::size_t j = i + 1;
        for (; j < sortedPoints.size() && ColumnOf(frame, sortedPoints[j].stamp) == column; ++j) {
            if (sortedPoints[j].value < sortedPoints[low].value) low = j;
            if (sortedPoints[j].value > sortedPoints[high].value) high = j;
        }
        kept.push_back(sortedPoints[std::min(low, high)]);
        if (low != high) kept.push_back(sortedPoints[std::max(low, high)]);
        i = j;
    }
    return kept;
}

}  // namespace

std::vector<SeriesPoint> Decimate(const std::vector<SeriesPoint>& sortedPoints, const PlotFrame& frame) {
    if (sortedPoints.size() <= 2 * frame.columns) return sortedPoints;
    return KeepColumnExtremes(sortedPoints, frame);
}

std::vector<std::vector<SeriesPoint>> PlotLines(const NameSeries& series, const PlotFrame& frame) {
    std::vector<std::vector<SeriesPoint>> lines;
    const auto& points = series.points;
    if (points.empty()) return lines;
    const std::int64_t span = std::int64_t{frame.to} - frame.from;
    // A gap shows as a break when it is at least one column wide.
    const auto visible = [&](const SeriesGap& gap) {
        return span > 0 && (std::int64_t{gap.to} - gap.from) * static_cast<std::int64_t>(frame.columns) >= span;
    };
    // Every part is thinned when the whole series is too long to draw: the
    // parts lie in separate columns, so together they keep at most two
    // points per column and two more per part.
    const bool thin = points.size() > 2 * frame.columns;
    const auto finish = [&](const std::vector<SeriesPoint>& part) {
        lines.push_back(thin ? KeepColumnExtremes(part, frame) : part);
    };
    std::vector<SeriesPoint> part;
    auto gap = series.stats.gaps.begin();
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (gap != series.stats.gaps.end() && gap->to < points[i].stamp) ++gap;
        if (i > 0 && gap != series.stats.gaps.end() && gap->from == points[i - 1].stamp && gap->to == points[i].stamp &&
            visible(*gap)) {
            finish(part);
            part.clear();
        }
        part.push_back(points[i]);
    }
    finish(part);
    return lines;
}

}  // namespace vireo
