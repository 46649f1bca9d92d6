#pragma once

#include <cstddef>
#include <vector>

#include "db/StoredValues.h"
#include "preview/LogSeries.h"

namespace vireo {

/// What TF_DATA1 holds for the values of one log sensor, time tag by time tag.
struct StoredComparison {
    std::vector<SeriesPoint> original;  ///< ORIG_VALUE of every row with one, in time order
    std::vector<SeriesPoint> edited;    ///< ED_VALUE of every row with one, in time order
    /// Rows whose ED_VALUE differs from their ORIG_VALUE (edited in the
    /// database), at the edited value.
    std::vector<SeriesPoint> editedRows;
    /// Rows whose ORIG_VALUE differs from the log's value of the same time tag
    /// (the last one in the file when the log has several), at the stored value.
    std::vector<SeriesPoint> differsFromLog;
    /// Log values whose time tag has no row, at the log's value.
    std::vector<SeriesPoint> missing;
};

/// Compares the log's points (in time order) with the rows read back for the
/// same span (in time order). Values are compared exactly: the import writes
/// the log's number unchanged.
StoredComparison CompareWithStored(const std::vector<SeriesPoint>& logPoints, const std::vector<StoredValue>& rows);

}  // namespace vireo
