#pragma once

#include <cstddef>
#include <vector>

#include "preview/LogSeries.h"

namespace vireo {

/// The time span a chart shows, in seconds, and its width in pixel columns.
struct PlotFrame {
    SecondStamp from = 0;
    SecondStamp to = 0;
    std::size_t columns = 1000;
};

/// The span of every series together (earliest and latest time tag of all
/// their points), for `columns` pixel columns; from = to = 0 when no series
/// has a point.
PlotFrame FrameOf(const std::vector<const NameSeries*>& series, std::size_t columns);

/// The pixel column of a time tag in the frame (0 .. columns - 1; times outside
/// the frame are put in its first or last column).
std::size_t ColumnOf(const PlotFrame& frame, SecondStamp stamp);

/// Points in time order thinned for drawing: of the points that fall into
/// one pixel column, the lowest and the highest are kept, in time order, so a
/// spike stays visible however many points share its column. At most two
/// points per column; a series no longer than that is returned whole.
std::vector<SeriesPoint> Decimate(const std::vector<SeriesPoint>& sortedPoints, const PlotFrame& frame);

/// The lines to draw for one series: its points split at the gaps that are at
/// least one pixel column wide (narrower ones cannot be seen as breaks), each
/// part decimated. A gap narrower than that is drawn as a line.
std::vector<std::vector<SeriesPoint>> PlotLines(const NameSeries& series, const PlotFrame& frame);

}  // namespace vireo
