#include "db/Capacity.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "support/TempDir.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

constexpr std::int64_t kDefaultLimit = 2097152;  // KiB: 2 GiB

struct ShareCase {
    std::uint64_t size;
    std::int64_t limitKiB;
    int used;
};

TEST(UsedPercent, RoundsAsTheDisplayWants) {
    const std::uint64_t kib100 = 100 * 1024;  // all of a 100 KiB limit
    const ShareCase cases[] = {
        {100000000, kDefaultLimit, 5},                    // 4.66 -> 5
        {0, kDefaultLimit, 0},                            // 0.5 rounds to the even 0
        {4 * 1024, 100, 4},                               // a whole 4 stays 4 (4.5 -> 4)
        {5 * 1024, 100, 6},                               // a whole 5 becomes 6 (5.5 -> 6)
        {4 * 1024 + 205, 100, 5},                         // 4.2 -> 5
        {kib100, 100, 100},                               // exactly the limit
        {kib100 * 3, 100, 100},                           // above the limit
        {5ULL * 1024 * 1024 * 1024, kDefaultLimit, 100},  // a file above 4 GiB is not read as a small one
        {std::uint64_t{1} << 62, kDefaultLimit, 100},
        {1, 1, 1},  // 0.098 -> 1
    };
    for (const ShareCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.size << " bytes of " << c.limitKiB << " KiB");
        EXPECT_EQ(UsedPercent(c.size, c.limitKiB), c.used);
    }
}

TEST(UsedPercent, ALimitOfZeroOrBelowIsAnError) {
    for (std::int64_t limit : {0, -5}) {
        try {
            UsedPercent(10, limit);
            FAIL() << "no error for " << limit;
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()), "Invalid database size limit: " + std::to_string(limit) + " KiB");
        }
    }
}

class DataStoreUsageTest : public ::testing::Test {
protected:
    std::string MakeFile(std::uint64_t size) {
        const std::string path = dir_.File(odbc_.UniqueName("store") + ".db");
        WriteFile(path, "");
        std::filesystem::resize_file(path, size);  // sparse: no disk is used
        return path;
    }
    std::string Define(const DataSourceKeys& keys, TestOdbc::Scope scope = TestOdbc::Scope::System) {
        const std::string name = odbc_.UniqueName("capacity_");
        odbc_.DefineDataSource(name, keys, scope);
        return name;
    }

    TestOdbc& odbc_ = TestOdbc::Instance();
    TempDir dir_{"vireo-capacity"};
};

TEST_F(DataStoreUsageTest, FileOfTheDataSourceGivesTheShare) {
    const std::string alias = Define({{"Driver", "SQLite3"}, {"DBQ", MakeFile(100000000)}});
    EXPECT_EQ(GetDataStoreUsage(alias, kDefaultLimit), (DataStoreUsage{true, 5}));
}

TEST_F(DataStoreUsageTest, EmptyAndOversizedFiles) {
    EXPECT_EQ(GetDataStoreUsage(Define({{"DBQ", MakeFile(0)}}), kDefaultLimit), (DataStoreUsage{true, 0}));
    EXPECT_EQ(GetDataStoreUsage(Define({{"DBQ", MakeFile(3000ULL * 1024 * 1024)}}), kDefaultLimit),
              (DataStoreUsage{true, 100}));
}

TEST_F(DataStoreUsageTest, FileAbove4GiBIsMeasuredWhole) {
    // 4 GiB + 10 MiB: a 32-bit size would see 10 MiB.
    const std::string alias = Define({{"DBQ", MakeFile((4ULL << 30) + (10ULL << 20))}});
    EXPECT_EQ(GetDataStoreUsage(alias, 8 * 1024 * 1024), (DataStoreUsage{true, 51}));  // 50.12 % of 8 GiB
}

TEST_F(DataStoreUsageTest, SqliteDriversDatabaseKeyServesWhenThereIsNoDbq) {
    const std::string file = MakeFile(100000000);
    const std::string alias = Define({{"Driver", "SQLite3"}, {"Database", file}});
    EXPECT_EQ(DataSourceFile(alias), file);
    EXPECT_EQ(GetDataStoreUsage(alias, kDefaultLimit), (DataStoreUsage{true, 5}));
    const std::string both = Define({{"Database", MakeFile(0)}, {"DBQ", MakeFile(100000000)}});
    EXPECT_EQ(GetDataStoreUsage(both, kDefaultLimit), (DataStoreUsage{true, 5}));
}

TEST_F(DataStoreUsageTest, UserDataSourceIsFoundThroughTheSecondLookup) {
    const std::string alias = Define({{"DBQ", MakeFile(100000000)}}, TestOdbc::Scope::User);
    EXPECT_EQ(GetDataStoreUsage(alias, kDefaultLimit), (DataStoreUsage{true, 5}));
}

TEST_F(DataStoreUsageTest, MachinesDefinitionComesBeforeTheUsers) {
    const std::string alias = odbc_.UniqueName("capacity_");
    odbc_.DefineDataSource(alias, {{"DBQ", MakeFile(0)}}, TestOdbc::Scope::System);
    odbc_.DefineDataSource(alias, {{"DBQ", MakeFile(100000000)}}, TestOdbc::Scope::User);
    EXPECT_EQ(GetDataStoreUsage(alias, kDefaultLimit), (DataStoreUsage{true, 0}));
}

TEST_F(DataStoreUsageTest, NoReadableFileGivesAnUnknownShare) {
    const std::string server = Define({{"Driver", "PostgreSQL ANSI"}, {"Servername", "127.0.0.1"}, {"Database", "tf"}});
    const std::string missing = Define({{"DBQ", dir_.File("missing.db")}});
    const std::string folder = Define({{"DBQ", dir_.path().string()}});
    const std::string noPath = Define({{"Driver", "SQLite3"}});
    for (const std::string& alias : {server, missing, folder, noPath, std::string("vireo_undefined"), std::string()}) {
        SCOPED_TRACE(alias);
        EXPECT_EQ(GetDataStoreUsage(alias, kDefaultLimit), (DataStoreUsage{false, 0}));
    }
    EXPECT_EQ(DataSourceFile(server), std::nullopt);
}

TEST_F(DataStoreUsageTest, UnreadableFileGivesAnUnknownShare) {
    const std::string path = MakeFile(100);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    const std::string alias = Define({{"DBQ", path}});
    if (::geteuid() != 0) {
        EXPECT_EQ(GetDataStoreUsage(alias, kDefaultLimit), (DataStoreUsage{false, 0}));
        return;
    }
    // Root reads every file, so the reading runs in a child that has become
    // user nobody. It may read the data source definitions (a readable file
    // still gives its share) but not the file.
    const std::string readable = Define({{"DBQ", MakeFile(100000000)}});
    const std::string odbcFolder = std::filesystem::path(odbc_.File("odbc.ini")).parent_path().string();
    ASSERT_EQ(::chmod(odbcFolder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    EXPECT_EXIT(
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
            for (const std::string& name : {readable, alias}) {
                const DataStoreUsage usage = GetDataStoreUsage(name, kDefaultLimit);
                std::fprintf(stderr, "[%s %d]", usage.known ? "known" : "unknown", usage.usedPercent);
            }
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0), "\\[known 5\\]\\[unknown 0\\]");
    ::chmod(dir_.path().c_str(), 0700);
    ::chmod(odbcFolder.c_str(), 0700);
}

TEST_F(DataStoreUsageTest, AFifoIsNoFileAndDoesNotBlock) {
    const std::string path = dir_.File("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(GetDataStoreUsage(Define({{"DBQ", path}}), kDefaultLimit), (DataStoreUsage{false, 0}));
}

TEST_F(DataStoreUsageTest, ALimitOfZeroIsAnErrorEvenWithoutAFile) {
    EXPECT_THROW(GetDataStoreUsage("vireo_undefined", 0), std::invalid_argument);
}

}  // namespace
}  // namespace vireo::testing
