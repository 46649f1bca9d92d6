#include "db/RowPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vireo {
namespace {

// A row per batch: its values (group, key), the keys stored before it, which
// of its first values were written when it is planned again (none: it is
// not), and the outcomes as planned, I and U.
TEST(RowPlanTest, FirstValueOfAKeyWithoutARowInserts) {
    struct Value {
        std::size_t group;
        std::int64_t key;
    };
    const struct {
        const char* what;
        std::vector<Value> values;
        std::vector<Value> stored;
        std::vector<bool> written;  // of the values before the replan
        std::string outcomes;
    } cases[] = {
        {"rising keys walk the stored ones", {{0, 1}, {0, 2}, {0, 3}, {0, 9}}, {{0, 9}, {0, 2}, {0, 0}}, {}, "IUIU"},
        {"a repeated key stops the walk", {{0, 1}, {0, 2}, {0, 2}, {0, 3}}, {{0, 3}}, {}, "IIUU"},
        {"falling keys after rising ones", {{0, 5}, {0, 7}, {0, 5}, {0, 6}}, {{0, 6}}, {}, "IIUU"},
        {"groups apart, one rising", {{0, 5}, {1, 5}, {1, 4}, {0, 6}, {1, 5}}, {{1, 4}}, {}, "IIUIU"},
        {"a refused value is no row", {{0, 7}, {0, 7}, {0, 7}}, {}, {false}, "IIU"},
        {"a written value is one", {{0, 7}, {0, 7}, {0, 7}}, {}, {true}, "IUU"},
        {"a refused value of a stored key", {{0, 7}, {0, 7}}, {{0, 7}}, {false}, "UU"},
        {"refusals leave rising keys", {{0, 1}, {1, 8}, {0, 2}, {1, 8}}, {{0, 2}}, {false, false}, "IIUI"},
    };
    for (const auto& c : cases) {
        RowPlan plan;
        plan.Start();
        for (const Value& v : c.values) plan.Add(v.group, v.key);
        for (const Value& v : c.stored) plan.AddStored(v.group, v.key);
        plan.Decide();
        std::vector<WriteResult> results(c.written.size());
        for (std::size_t i = 0; i < c.written.size(); ++i) {
            results[i].outcome = c.written[i] ? plan.Outcome(i) : WriteOutcome::Failed;
        }
        if (!c.written.empty()) plan.Replan(results, c.written.size());
        std::string outcomes;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            outcomes += plan.Outcome(i) == WriteOutcome::Inserted ? 'I' : 'U';
        }
        EXPECT_EQ(outcomes, c.outcomes) << c.what;
    }
}

}  // namespace
}  // namespace vireo
