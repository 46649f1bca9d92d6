#include "db/NamedParameters.h"

#include <gtest/gtest.h>

#include "db/DataWriter.h"

namespace vireo::testing {
namespace {

using Markers = std::vector<std::string>;

struct MarkCase {
    const char* sql;
    const char* text;
    Markers markers;
};

TEST(MarkParameters, TurnsNamesIntoMarkers) {
    const MarkCase cases[] = {
        {"SELECT 1", "SELECT 1", {}},
        {"WHERE A = :A", "WHERE A = ?", {"A"}},
        {"VALUES(:x_1,:Y)", "VALUES(?,?)", {"x_1", "Y"}},
        {"A = :K AND B = :k OR C = :K", "A = ? AND B = ? OR C = ?", {"K", "k", "K"}},
        {"WHERE A = ':NOT' AND B = :B", "WHERE A = ':NOT' AND B = ?", {"B"}},
        {"WHERE A = \":NOT\" AND B = :B", "WHERE A = \":NOT\" AND B = ?", {"B"}},
        {"WHERE A = 'it''s :NOT' AND B = :B", "WHERE A = 'it''s :NOT' AND B = ?", {"B"}},
        {"SELECT x::text, :P", "SELECT x::text, ?", {"P"}},
        {"A = : B, C = :", "A = : B, C = :", {}},
        {"UNCLOSED ':A", "UNCLOSED ':A", {}},
    };
    for (const MarkCase& c : cases) {
        SCOPED_TRACE(c.sql);
        const MarkedStatement marked = MarkParameters(c.sql);
        EXPECT_EQ(marked.text, c.text);
        EXPECT_EQ(marked.markers, c.markers);
    }
}

TEST(MarkParameters, TheUpdateNamesItsKeyTwice) {
    const MarkedStatement marked = MarkParameters(kUpdateDataSql);
    EXPECT_EQ(marked.markers, (Markers{"STATION_ID", "SENSORNAME", "TIME_TAG", "SOURCE", "ED_VALUE", "STATION_ID",
                                       "SENSORNAME", "TIME_TAG"}));
    EXPECT_EQ(MarkParameters(kInsertDataSql).markers,
              (Markers{"STATION_ID", "SENSORNAME", "TIME_TAG", "SOURCE", "ORIG_VALUE", "ED_VALUE"}));
}

}  // namespace
}  // namespace vireo::testing
