// One prepared query run again and again with new values, as the data writer
// runs its two statements: each run writes its own values (the driver keeps
// reading the buffers it was given), and a refused statement tells why
// without an exception and leaves the query usable.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "BackendTest.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "scan/Chronos.h"

namespace vireo::testing {
namespace {

class QueryReuseTest : public BackendTest {};

TEST_P(QueryReuseTest, EveryRunWritesItsOwnValues) {
    struct Case {
        std::string id;
        std::string text;  // lengths that move the text between small and heap storage and back
        SecondStamp stamp;
        double number;
    };
    const std::vector<Case> cases = {
        {"A1", "short", 645539400, 1.5}, {"A2", "LONGER THAN SMALL STRINGS HOLD", 645539400, 1.5},
        {"A3", "tiny", 645540300, -2},   {"A4", "same", 645540300, 0.25},
        {"A5", "SAME", 645580800, 0.25}, {"A6", "ANOTHER NAME STORED ON THE HEAP", 645580860, 1e6},
    };
    Query site(database_);
    site.SetSql("INSERT INTO TF_SITES (STATION_ID, DESCRIPTION) VALUES (:ID, :TEXT)");
    Query data(database_);
    data.SetSql(
        "INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) "
        "VALUES (:ID, :TEXT, :TIME_TAG, 'T', :VALUE, :VALUE)");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        site.SetString("ID", c.id);
        site.SetString("TEXT", c.text);
        ASSERT_TRUE(site.TryExecSql());
        EXPECT_EQ(site.RowsAffected(), 1);
        data.SetString("ID", c.id);
        data.SetString("TEXT", c.text);
        data.SetDateTime("TIME_TAG", SecondsToDateTime(c.stamp));
        data.SetDouble("VALUE", c.number);
        data.ExecSql();
    }

    const auto sites = source().Select("SELECT STATION_ID, DESCRIPTION FROM TF_SITES ORDER BY STATION_ID");
    const auto rows = source().Select("SELECT STATION_ID, SENSORNAME, TIME_TAG, ED_VALUE FROM TF_DATA1 ORDER BY 1");
    ASSERT_EQ(sites.size(), cases.size());
    ASSERT_EQ(rows.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.id);
        EXPECT_EQ(sites[i][1].value_or("(null)"), c.text);
        EXPECT_EQ(rows[i][1].value_or("(null)"), c.text);
        const CalendarStamp s = SplitStamp(c.stamp);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day, s.hours, s.minutes,
                      s.seconds);
        EXPECT_EQ(rows[i][2].value_or("(null)").substr(0, 19), stamp);
        EXPECT_DOUBLE_EQ(std::stod(rows[i][3].value_or("0")), c.number);
    }
}

TEST_P(QueryReuseTest, ARefusedStatementTellsWhyAndTheQueryGoesOn) {
    Query insert(database_);
    insert.SetSql("INSERT INTO TF_SITES (STATION_ID) VALUES (:ID)");
    insert.SetString("ID", "ST01");
    ASSERT_TRUE(insert.TryExecSql());
    EXPECT_EQ(insert.RowsAffected(), 1);

    EXPECT_FALSE(insert.TryExecSql());  // the station exists
    EXPECT_EQ(insert.RowsAffected(), 0);
    const DbError refusal = insert.ExecError();
    EXPECT_EQ(refusal.sqlState(), OnPostgres() ? "23505" : "HY000");
    EXPECT_NE(std::string(refusal.what()).find(OnPostgres() ? "duplicate key" : "UNIQUE constraint failed"),
              std::string::npos)
        << refusal.what();
    try {
        insert.ExecSql();  // the same refusal, thrown
        ADD_FAILURE() << "ExecSql did not throw";
    } catch (const DbError& thrown) {
        EXPECT_STREQ(thrown.what(), refusal.what());
        EXPECT_EQ(thrown.sqlState(), refusal.sqlState());
    }

    insert.SetString("ID", "ST02");
    EXPECT_TRUE(insert.TryExecSql());
    EXPECT_EQ(source().Select("SELECT STATION_ID FROM TF_SITES ORDER BY 1").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Backends, QueryReuseTest, ::testing::ValuesIn(kAllBackends), BackendParamName);

}  // namespace
}  // namespace vireo::testing
