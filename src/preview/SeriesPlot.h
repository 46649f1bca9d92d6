#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "preview/LogSeries.h"

namespace vireo {

/// The time span a chart shows, in seconds, and its width in pixel columns.
struct PlotFrame {
    SecondStamp from = 0;
    SecondStamp to = 0;
    std::size_t columns = 1000;
};

/// The span of every value the series were given with a time tag, good or
/// refused (earliest and latest time tag of their points and of their refused
/// values that have one), for `columns` pixel columns; from = to = 0 when no
/// series has a value with a time tag.
PlotFrame FrameOf(const std::vector<const NameSeries*>& series, std::size_t columns);

/// The pixel column of a time tag in the frame (0 .. columns - 1; times outside
/// the frame are put in its first or last column).
std::size_t ColumnOf(const PlotFrame& frame, SecondStamp stamp);

/// Points in time order thinned for drawing the frame: the points inside it,
/// and the nearest one on each side of it so that a line runs to the frame's
/// edges. Of the points that fall into one pixel column, the lowest and the
/// highest are kept, in time order, so a spike stays visible however many
/// points share its column. At most two points per column; when no more than
/// that fall inside the frame, they are returned whole.
std::vector<SeriesPoint> Decimate(const std::vector<SeriesPoint>& sortedPoints, const PlotFrame& frame);

/// The lines to draw for one series in the frame: its points there (with the
/// nearest one on each side) split at the gaps that are at least one pixel
/// column wide (narrower ones cannot be seen as breaks), each part decimated.
/// A gap narrower than that is drawn as a line.
std::vector<std::vector<SeriesPoint>> PlotLines(const NameSeries& series, const PlotFrame& frame);

/// The gaps of the series that reach into the frame, in time order.
std::vector<SeriesGap> GapsInFrame(const NameSeries& series, const PlotFrame& frame);

/// The shortest span a chart is zoomed to, in seconds.
inline constexpr std::int64_t kShortestSpan = 20;

/// The span that shows the whole of `full`: itself, or an hour around it when
/// it is a single time tag.
PlotFrame FitFrame(PlotFrame full);

/// `view` zoomed by `factor` (below 1 nearer, above 1 farther) about the time
/// `anchor`, which keeps its place in the frame; kept inside the fitted `full`
/// span and never shorter than kShortestSpan.
PlotFrame ZoomFrame(const PlotFrame& view, const PlotFrame& full, double factor, SecondStamp anchor);

/// `view` moved by `seconds` (later when positive), kept inside the fitted `full` span.
PlotFrame PanFrame(const PlotFrame& view, const PlotFrame& full, std::int64_t seconds);

}  // namespace vireo
