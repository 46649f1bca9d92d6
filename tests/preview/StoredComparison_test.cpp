#include "preview/StoredComparison.h"

#include <gtest/gtest.h>

#include <vector>

namespace vireo {
namespace {

constexpr SecondStamp kT = 645539400;  // 2005-06-15 12:30:00

TEST(StoredComparison, EditedRowsDifferencesAndMissingValues) {
    const std::vector<SeriesPoint> log = {{kT, 1},         {kT + 60, 2},  {kT + 120, 3},
                                          {kT + 120, 3.5}, {kT + 180, 4}, {kT + 240, 5}};
    const std::vector<StoredValue> rows = {
        {kT, 1, 1},                   // as imported
        {kT + 60, 2, 2.5},            // edited in the database
        {kT + 120, 3.5, 3.5},         // the last of two log values of one time tag
        {kT + 180, 40, 40},           // differs from the log
        {kT + 200, 9, std::nullopt},  // not in the log, no edited value
    };
    const StoredComparison comparison = CompareWithStored(log, rows);
    EXPECT_EQ(comparison.original,
              (std::vector<SeriesPoint>{{kT, 1}, {kT + 60, 2}, {kT + 120, 3.5}, {kT + 180, 40}, {kT + 200, 9}}));
    EXPECT_EQ(comparison.edited, (std::vector<SeriesPoint>{{kT, 1}, {kT + 60, 2.5}, {kT + 120, 3.5}, {kT + 180, 40}}));
    EXPECT_EQ(comparison.editedRows, (std::vector<SeriesPoint>{{kT + 60, 2.5}}));
    EXPECT_EQ(comparison.differsFromLog, (std::vector<SeriesPoint>{{kT + 180, 40}}));
    EXPECT_EQ(comparison.missing, (std::vector<SeriesPoint>{{kT + 240, 5}}));
}

TEST(StoredComparison, NothingStoredMeansEveryValueIsMissing) {
    const std::vector<SeriesPoint> log = {{kT, 1}, {kT + 60, 2}};
    const StoredComparison comparison = CompareWithStored(log, {});
    EXPECT_EQ(comparison.missing, log);
    EXPECT_TRUE(comparison.original.empty());
    EXPECT_TRUE(CompareWithStored({}, {}).missing.empty());
}

TEST(StoredComparison, ANullOriginalValueDiffersFromTheLog) {
    const StoredComparison comparison = CompareWithStored({{kT, 1}}, {{kT, std::nullopt, 7}});
    EXPECT_EQ(comparison.differsFromLog, (std::vector<SeriesPoint>{{kT, 1}}));
    EXPECT_EQ(comparison.editedRows, (std::vector<SeriesPoint>{{kT, 7}}));
    EXPECT_TRUE(comparison.missing.empty());
}

}  // namespace
}  // namespace vireo
