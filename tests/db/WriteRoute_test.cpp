#include "db/WriteRoute.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/Chronos.h"
#include "support/ImportModes.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoon = 645537600;  // 2005-06-15 12:00:00

class ValueWriterTest : public ImportModeTest {
protected:
    long RowCount() const { return std::stol(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0")); }
    /// Hands noon, one minute past and noon again to the door, in a batch on
    /// the routes that have one, and gives what became of each once written.
    std::vector<WriteOutcome> HandThree(ValueWriter& door, bool commit) {
        if (InBatches(door.Route())) door.BeginBatch();
        std::vector<WriteOutcome> outcomes;
        for (const int minute : {0, 1, 0}) {
            const Handed handed = door.Write({station_, sensor_, SecondsToDateTime(kNoon + 60 * minute), minute + 0.5});
            EXPECT_FALSE(handed.lostError);
            EXPECT_EQ(handed.result.has_value(), !door.InBatch() || door.Route() == WriteRoute::Batched);
            if (!door.InBatch()) outcomes.push_back(handed.result->outcome);
        }
        door.WriteKept();
        if (door.InBatch()) {
            for (const WriteResult& result : door.Results()) outcomes.push_back(result.outcome);
        }
        if (commit) door.CommitBatch();
        return outcomes;
    }

    std::string station_ = "st01";
    std::string sensor_ = "Temp";
};

TEST_P(ValueWriterTest, EveryValueGetsItsOutcomeAndABatchCountsOnlyOnceCommitted) {
    using enum WriteOutcome;
    {
        ValueWriter door(*writer_, mode(), false);
        EXPECT_EQ(door.Route(), mode()) << door.Choice().why;
        EXPECT_EQ(HandThree(door, false), (std::vector{Inserted, Inserted, Updated}));
    }
    // A batch left without its commit is rolled back; one statement a value
    // commits each, and the engine's interface a batch once it is written.
    const bool kept = mode() == WriteRoute::OneByOne || mode() == WriteRoute::EngineInterface;
    EXPECT_EQ(RowCount(), kept ? 2 : 0);
    ValueWriter door(*writer_, mode(), false);
    EXPECT_EQ(HandThree(door, true), (std::vector{kept ? Updated : Inserted, kept ? Updated : Inserted, Updated}));
    EXPECT_FALSE(door.InBatch());
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(source_->Select("SELECT ORIG_VALUE, ED_VALUE FROM TF_DATA1 WHERE ED_VALUE < 1")[0],
              (std::vector<std::optional<std::string>>{"0.5", "0.5"}));
}

INSTANTIATE_TEST_SUITE_P(Routes, ValueWriterTest, EveryBackendIn(kAllRoutes), BackendAndModeName);

}  // namespace
}  // namespace vireo::testing
