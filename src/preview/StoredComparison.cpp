#include "preview/StoredComparison.h"

namespace vireo {

StoredComparison CompareWithStored(const std::vector<SeriesPoint>& logPoints, const std::vector<StoredValue>& rows) {
    StoredComparison comparison;
    for (const StoredValue& row : rows) {
        if (row.original) comparison.original.push_back({row.stamp, *row.original});
        if (row.edited) comparison.edited.push_back({row.stamp, *row.edited});
        if (row.edited != row.original && row.edited) comparison.editedRows.push_back({row.stamp, *row.edited});
    }
    // Both lists are in time order: one walk over the two. Of several log
    // values of one time tag the last one is the one an import leaves.
    std::size_t r = 0;
    for (std::size_t i = 0; i < logPoints.size(); ++i) {
        const SeriesPoint& point = logPoints[i];
        if (i + 1 < logPoints.size() && logPoints[i + 1].stamp == point.stamp) continue;
        while (r < rows.size() && rows[r].stamp < point.stamp) ++r;
        if (r == rows.size() || rows[r].stamp != point.stamp) {
            comparison.missing.push_back(point);
            continue;
        }
        if (rows[r].original != point.value) {
            comparison.differsFromLog.push_back({point.stamp, rows[r].original.value_or(point.value)});
        }
    }
    return comparison;
}

}  // namespace vireo
