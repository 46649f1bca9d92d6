#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "BackendTest.h"
#include "db/DataSourceDriver.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/TextEncoding.h"
#include "scan/Chronos.h"
#include "support/LoginRole.h"
#include "support/PostgresServer.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

using DatabaseTest = BackendTest;

std::string StampText(SecondStamp stamp) {
    const CalendarStamp s = SplitStamp(stamp);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day, s.hours, s.minutes,
                  s.seconds);
    return text;
}

TEST_P(DatabaseTest, DateTimeTravelsExactToTheSecond) {
    // A stride of stamps over the whole range of SecondStamp, ends included.
    std::vector<SecondStamp> stamps;
    for (std::int64_t s = 0; s <= 0x7FFFFFFF; s += 7368787) stamps.push_back(static_cast<SecondStamp>(s));
    stamps.push_back(0x7FFFFFFF);
    stamps.push_back(645539400);  // 2005-06-15 12:30:00
    stamps.push_back(645580800);  // 2005-06-16 00:00:00

    database_.StartTransaction();
    Query insert(database_);
    insert.SetSql("INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG) VALUES ('ST', :NAME, :TIME_TAG)");
    for (SecondStamp stamp : stamps) {
        insert.SetString("NAME", std::to_string(stamp));
        insert.SetDateTime("TIME_TAG", SecondsToDateTime(stamp));
        insert.ExecSql();
    }
    database_.Commit();

    Query select(database_);
    select.SetSql("SELECT SENSORNAME, TIME_TAG FROM TF_DATA1");
    select.Open();
    std::size_t rows = 0;
    for (; !select.Eof(); select.Next(), ++rows) {
        const auto stamp = static_cast<SecondStamp>(std::stoll(select.FieldByName("SensorName").AsString()));
        SCOPED_TRACE(stamp);
        EXPECT_EQ(select.FieldByName("time_tag").AsString().substr(0, 19), StampText(stamp));
    }
    EXPECT_EQ(rows, stamps.size());
}

TEST_P(DatabaseTest, RepeatedParameterGetsTheOneValue) {
    source().Execute(
        "INSERT INTO TF_SITES (STATION_ID, DESCRIPTION, ENABLED) VALUES ('A', 'A', 'Y');\n"
        "INSERT INTO TF_SITES (STATION_ID, DESCRIPTION, ENABLED) VALUES ('B', 'X', 'Y');\n"
        "INSERT INTO TF_SITES (STATION_ID, DESCRIPTION, ENABLED) VALUES ('C', 'C', 'N');\n");
    Query query(database_);
    query.SetSql(
        "SELECT STATION_ID FROM TF_SITES WHERE STATION_ID = :Key AND DESCRIPTION = :KEY AND ENABLED = :flag "
        "ORDER BY STATION_ID");
    query.SetString("key", "A");
    query.SetString("FLAG", "Y");
    query.Open();
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldByName("station_id").AsString(), "A");
    query.Next();
    EXPECT_TRUE(query.Eof());
}

TEST_P(DatabaseTest, ColonInsideALiteralIsNoParameter) {
    Query query(database_);
    query.SetSql(OnPostgres() ? "SELECT ':A' AS LIT, CAST(:B AS VARCHAR(10)) AS PAR, '\"x:y\"' AS Q"
                              : "SELECT ':A' AS LIT, CAST(:B AS VARCHAR(10)) AS PAR, '\"x:y\"' AS Q");
    query.SetString("B", "b");
    query.Open();
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldByName("lit").AsString(), ":A");
    EXPECT_EQ(query.FieldByName("Par").AsString(), "b");
    EXPECT_EQ(query.FieldByName("q").AsString(), "\"x:y\"");
}

TEST_P(DatabaseTest, FieldsAreFoundWithoutRegardToCaseAndTellNulls) {
    source().Execute("INSERT INTO TF_SITES (STATION_ID, DESCRIPTION, ENABLED) VALUES (NULL, 'none', 'Y');\n");
    Query query(database_);
    query.SetSql("SELECT STATION_ID, DESCRIPTION FROM TF_SITES");
    query.Open();
    ASSERT_FALSE(query.Eof());
    EXPECT_TRUE(query.FieldByName("Station_Id").IsNull());
    EXPECT_EQ(query.FieldByName("Station_Id").AsString(), "");
    EXPECT_FALSE(query.FieldByName("description").IsNull());
    EXPECT_EQ(query.FieldByName("DESCRIPTION").AsString(), "none");
    EXPECT_THROW(query.FieldByName("NOSUCH"), DbError);
}

TEST_P(DatabaseTest, LongTextIsReadWhole) {
    const std::string text(5000, 'x');
    Query query(database_);
    query.SetSql(OnPostgres() ? "SELECT CAST(:T AS TEXT) AS LONGTEXT" : "SELECT :T AS LONGTEXT");
    query.SetString("T", text);
    query.Open();
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldByName("LongText").AsString(), text);
}

TEST_P(DatabaseTest, BytesAbove127TravelBothWays) {
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
    Query insert(database_);
    insert.SetSql("INSERT INTO TF_SITES (STATION_ID, DESCRIPTION, ENABLED) VALUES (:ID, :TEXT, 'Y')");
    for (int half = 0; half < 2; ++half) {
        insert.SetString("ID", std::string("M\xDC") + static_cast<char>('0' + half));
        insert.SetString("TEXT", high.substr(half * 64, 64));
        insert.ExecSql();
    }

    Query select(database_);
    select.SetSql("SELECT STATION_ID, DESCRIPTION FROM TF_SITES WHERE STATION_ID = :ID");
    for (int half = 0; half < 2; ++half) {
        select.SetString("ID", std::string("M\xDC") + static_cast<char>('0' + half));
        select.Open();
        ASSERT_FALSE(select.Eof());
        EXPECT_EQ(select.FieldByName("DESCRIPTION").AsString(), high.substr(half * 64, 64));
    }

    // Stored as the database keeps text: UTF-8 on PostgreSQL, the bytes themselves on SQLite.
    const auto stored =
        source().Select(OnPostgres() ? "SELECT encode(convert_to(STATION_ID, 'UTF8'), 'hex') FROM TF_SITES "
                                       "ORDER BY STATION_ID"
                                     : "SELECT hex(STATION_ID) FROM TF_SITES ORDER BY STATION_ID");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0][0], OnPostgres() ? "4dc39c30" : "4DDC30");

    // Text that reached the database from elsewhere comes back in single bytes.
    source().Execute(OnPostgres()
                         ? "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES (U&'\\00C4\\20AC', 'Y');\n"
                         : "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES (CAST(X'C480' AS TEXT), 'Y');\n");
    select.SetSql("SELECT STATION_ID FROM TF_SITES WHERE DESCRIPTION IS NULL");
    select.Open();
    ASSERT_FALSE(select.Eof());
    EXPECT_EQ(select.FieldByName("STATION_ID").AsString(), "\xC4\x80");
}

TEST_P(DatabaseTest, RowsAffectedCountsTheUpdatedRows) {
    source().Execute(
        "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('A', 'Y');\n"
        "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('B', 'Y');\n");
    Query update(database_);
    update.SetSql("UPDATE TF_SITES SET ENABLED = 'N' WHERE STATION_ID <> :ID");
    update.SetString("ID", "A");
    update.ExecSql();
    EXPECT_EQ(update.RowsAffected(), 1);
    update.SetString("ID", "A");
    update.SetSql("UPDATE TF_SITES SET ENABLED = 'N' WHERE STATION_ID = :ID");
    update.SetString("ID", "none");
    update.ExecSql();
    EXPECT_EQ(update.RowsAffected(), 0);
}

TEST_P(DatabaseTest, AParameterWithoutValueOrNameIsAnError) {
    Query query(database_);
    query.SetSql("UPDATE TF_SITES SET ENABLED = :FLAG WHERE STATION_ID = :ID");
    query.SetString("FLAG", "Y");
    EXPECT_THROW(
        {
            try {
                query.ExecSql();
            } catch (const DbError& error) {
                EXPECT_STREQ(error.what(), "No value for parameter 'ID'");
                throw;
            }
        },
        DbError);
    EXPECT_THROW(
        {
            try {
                query.SetString("STATION", "A");
            } catch (const DbError& error) {
                EXPECT_STREQ(error.what(), "Parameter 'STATION' not found");
                throw;
            }
        },
        DbError);
}

TEST_P(DatabaseTest, DriverErrorsCarryTheDriversText) {
    Query query(database_);
    query.SetSql("SELECT NOSUCHCOLUMN FROM TF_SITES");
    try {
        query.Open();
        FAIL() << "no error";
    } catch (const DbError& error) {
        EXPECT_NE(std::string(error.what()).find(OnPostgres() ? "nosuchcolumn" : "NOSUCHCOLUMN"), std::string::npos)
            << error.what();
        EXPECT_EQ(error.sqlState().size(), 5u);
    }
}

TEST_P(DatabaseTest, KeyViolationIsAnErrorWithTheDriversCode) {
    Query insert(database_);
    insert.SetSql("INSERT INTO TF_DATA1 (STATION_ID, SENSORNAME, TIME_TAG) VALUES ('A', 'B', :T)");
    insert.SetDateTime("T", SecondsToDateTime(645539400));
    insert.ExecSql();
    try {
        insert.ExecSql();
        FAIL() << "no error";
    } catch (const DbError& error) {
        if (OnPostgres()) {
            EXPECT_EQ(error.sqlState(), "23505");
        } else {
            EXPECT_EQ(error.nativeError(), 19);
        }
    }
}

TEST_P(DatabaseTest, TransactionsCommitAndRollBack) {
    Query insert(database_);
    insert.SetSql("INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES (:ID, 'Y')");
    database_.StartTransaction();
    insert.SetString("ID", "KEPT");
    insert.ExecSql();
    database_.Commit();
    database_.StartTransaction();
    insert.SetString("ID", "DROPPED");
    insert.ExecSql();
    database_.Rollback();
    EXPECT_FALSE(database_.InTransaction());
    database_.StartTransaction();
    insert.SetString("ID", "OPEN");
    insert.ExecSql();
    database_.Close();  // an open transaction is rolled back
    const auto rows = source().Select("SELECT STATION_ID FROM TF_SITES");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "KEPT");
}

TEST_P(DatabaseTest, ClosingTwiceIsHarmlessAndQueriesNeedAnOpenDatabase) {
    Query query(database_);
    query.SetSql("SELECT STATION_ID FROM TF_SITES");
    query.Open();
    database_.Close();
    database_.Close();
    EXPECT_FALSE(database_.Connected());
    query.Close();
    EXPECT_THROW(query.Open(), DbError);
    source().Connect(database_);
    query.Open();  // prepared again on the new connection
    EXPECT_TRUE(query.Eof());
    session_.Close();
    EXPECT_FALSE(database_.Connected());
    session_.Close();
}

TEST_P(DatabaseTest, DataSourceListHoldsTheTestsDataSources) {
    TestOdbc::Instance().DefineDataSource("vireo_user_only", {{"Driver", "SQLite3"}, {"Database", "/nowhere.db"}},
                                          TestOdbc::Scope::User);
    const auto names = session_.DataSourceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), source().Name()), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "vireo_user_only"), names.end());
    TestOdbc::Instance().RemoveDataSource("vireo_user_only");
}

TEST_P(DatabaseTest, UnknownDataSourceGivesTheDriverManagersText) {
    for (const char* alias : {"vireo_no_such_source", ""}) {
        SCOPED_TRACE(alias);
        Database other(session_);
        other.SetDatabaseName(alias);
        other.AddParam("USER NAME=x");
        other.AddParam("PASSWORD=y");
        try {
            other.Open();
            FAIL() << "no error";
        } catch (const DbError& error) {
            EXPECT_EQ(error.sqlState(), "IM002");
            EXPECT_NE(std::string(error.what()).find("Data source name not found"), std::string::npos) << error.what();
        }
        EXPECT_FALSE(other.Connected());
        other.Close();
    }
}

TEST_P(DatabaseTest, WrongPasswordGivesTheServersText) {
    if (!OnPostgres()) GTEST_SKIP() << "SQLite has no passwords";
    Database other(session_);
    other.SetDatabaseName(source().Name());
    other.AddParam("USER NAME=" + source().User());
    other.AddParam("PASSWORD=wrong");
    try {
        other.Open();
        FAIL() << "no error";
    } catch (const DbError& error) {
        EXPECT_NE(std::string(error.what()).find("password authentication failed"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(other.Connected());
}

TEST_P(DatabaseTest, PasswordAndUserAbove127LogInOnPostgres) {
    if (!OnPostgres()) GTEST_SKIP() << "SQLite has no passwords";
    const std::string password = "p\xE9\x80ss";  // pé€ss, as the program holds it
    LoginRole role(source(), password);
    struct Row {
        std::string password;
        bool opens;
    };
    const Row rows[] = {
        {password, true},
        {Windows1252ToUtf8(password), false},  // already UTF-8: converted twice, so wrong
        {"p?\x80ss", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.password);
        Database other(session_);
        other.SetDatabaseName(source().Name());
        other.AddParam("USER NAME=" + role.Name());
        other.AddParam("PASSWORD=" + row.password);
        if (row.opens) {
            EXPECT_NO_THROW(other.Open());
            EXPECT_TRUE(other.Connected());
        } else {
            EXPECT_THROW(other.Open(), DbError);
            EXPECT_FALSE(other.Connected());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseTest, ::testing::ValuesIn(kAllBackends), BackendParamName);

TEST(DataSourceDriver, PostgresIsKnownByTheDriversNameOrLibrary) {
    TestOdbc& odbc = TestOdbc::Instance();
    const std::string byLibrary = odbc.UniqueName("vireo_lib_");
    odbc.DefineDataSource(byLibrary, {{"Driver", "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so"}, {"Database", "x"}});
    const std::string userScope = odbc.UniqueName("vireo_user_");
    odbc.DefineDataSource(userScope, {{"Driver", "PostgreSQL Unicode"}}, TestOdbc::Scope::User);
    TestDataSource sqlite(Backend::Sqlite, false);
    const struct {
        std::string alias;
        bool postgres;
    } rows[] = {
        {sqlite.Name(), false}, {byLibrary, true}, {userScope, true}, {"no such data source", false}, {"", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.alias);
        EXPECT_EQ(DataSourceUsesPostgres(row.alias), row.postgres);
    }
    odbc.RemoveDataSource(byLibrary);
    odbc.RemoveDataSource(userScope);
}

}  // namespace
}  // namespace vireo::testing
