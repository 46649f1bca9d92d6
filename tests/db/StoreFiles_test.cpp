// Files of a data source: which names lead to the database file or its
// companions, and that measuring the file leaves the connection's locks alone.
#include "db/StoreFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "db/Capacity.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/Session.h"
#include "support/ProcessLocks.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

class StoreFilesTest : public ::testing::Test {
protected:
    std::string Define(const DataSourceKeys& keys) {
        const std::string name = odbc_.UniqueName("storefiles_");
        odbc_.DefineDataSource(name, keys);
        return name;
    }

    TestOdbc& odbc_ = TestOdbc::Instance();
    TempDir dir_{"vireo-storefiles"};
};

TEST_F(StoreFilesTest, EveryNameOfTheDatabaseFileAndItsCompanionsIsFound) {
    const std::string database = dir_.File("store.db");
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) WriteFile(database + suffix, "x");
    WriteFile(dir_.File("other.log"), "x");
    std::filesystem::create_hard_link(database, dir_.File("hard.log"));
    std::filesystem::create_symlink(database + "-shm", dir_.File("soft.log"));
    std::filesystem::create_directory(dir_.File("sub"));
    const std::string alias = Define({{"Driver", "SQLite3"}, {"Database", database}});

    const struct {
        std::string path;
        bool found;
    } cases[] = {
        {database, true},
        {database + "-wal", true},
        {database + "-shm", true},
        {database + "-journal", true},
        {dir_.File("sub/../store.db"), true},  // another spelling of the same name
        {dir_.File("hard.log"), true},         // another name of the same file
        {dir_.File("soft.log"), true},         // a link to a companion
        {dir_.File("other.log"), false},
        {dir_.File("missing.log"), false},
        {dir_.File("sub"), false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsFileOfDataSource(alias, c.path), c.found);
    }
}

TEST_F(StoreFilesTest, ServerOrUnknownDataSourceHasNoFiles) {
    const std::string log = dir_.File("data.log");
    WriteFile(log, "x");
    const std::string server = Define({{"Driver", "PostgreSQL ANSI"}, {"Servername", "127.0.0.1"}, {"Database", log}});
    for (const std::string& alias : {server, std::string("vireo_undefined"), std::string()}) {
        SCOPED_TRACE(alias);
        EXPECT_FALSE(IsFileOfDataSource(alias, log));
    }
}

TEST_F(StoreFilesTest, RefusalNamesTheFile) {
    EXPECT_EQ(DataSourceFileRefused("/data/tf.db"),
              "Error 107: /data/tf.db is a file of the connected database and cannot be used here");
}

TEST(DataStoreUsageLocks, MeasuringTheFileKeepsTheConnectionsLocks) {
    TestDataSource source(Backend::Sqlite);
    Session session;
    Database database(session);
    source.Connect(database);
    Query write(database);
    write.SetSql("INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y')");
    write.ExecSql();

    const int before = PosixLocksHeld(::getpid(), source.FilePath());
    ASSERT_GT(before, 0) << "an open connection holds a lock on its database file";
    const DataStoreUsage usage = GetDataStoreUsage(source.Name(), 2097152);
    EXPECT_TRUE(usage.known);
    // Closing any descriptor of the file would drop every lock the process holds on it.
    EXPECT_GT(PosixLocksHeld(::getpid(), source.FilePath()), 0) << "it held " << before;
    database.Close();
}

}  // namespace
}  // namespace vireo::testing
