// Real `vireo-import import --fast` processes writing the same rows at once,
// on each engine and each way a fast import writes, as an ordinary login role;
// and a run stopped by SIGTERM while it tries a refused batch again.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliRun.h"
#include "db/ConflictRetry.h"
#include "scan/Regional.h"
#include "support/ChildProgram.h"
#include "support/PostgresServer.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"
#include "support/TestOdbc.h"

namespace vireo {
namespace {

using namespace std::chrono_literals;
using testing::Backend;
using testing::ReadFile;
using testing::RunCommand;
using testing::StartProgram;
using testing::TempDir;
using testing::TestDataSource;
using testing::VireoImportProgram;
using testing::WriteFile;

/// The line of minute `minute` from June 1, 2005; its value is the minute's own.
std::string MinuteLine(int minute) {
    char text[80];
    std::snprintf(text, sizeof text, "TEMP,06/%02d/2005,%02d:%02d:00,%d.5,G\r\n", 1 + minute / 1440, minute / 60 % 24,
                  minute % 60, minute);
    return text;
}

/// Waits for the child until `bound`; kills it and gives nothing after that.
std::optional<int> WaitAtMost(pid_t child, std::chrono::seconds bound) {
    const auto until = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(20ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class ImportProgramTest {
protected:
    void Prepare(Backend backend) {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(backend);
        ::setenv("VIREO_TEST_PASSWORD", source_->Password().c_str(), 1);
        WriteFile(dir_.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP\n");
        source_->ListInCatalogue({"ST01.TEMP"});
    }
    std::vector<std::string> ImportArgs(const std::string& file, const std::string& bulk) const {
        return {"import",
                file,
                "--list",
                dir_.File("list.sfg"),
                "--fast",
                "--bulk",
                bulk,
                "--dsn",
                source_->Name(),
                "--user",
                source_->User(),
                "--password-env",
                "VIREO_TEST_PASSWORD"};
    }
    long long Number(const std::string& sql) const {
        return std::stoll(source_->Select(sql).at(0).at(0).value_or("0"));
    }

    TempDir dir_{"vireo-concurrent"};
    std::unique_ptr<TestDataSource> source_;
};

/// engine, importers at once, --bulk
using Concurrency = std::tuple<Backend, int, std::string>;

class ConcurrentImportsTest : public ImportProgramTest, public ::testing::TestWithParam<Concurrency> {};

TEST_P(ConcurrentImportsTest, OverlappingFilesInOppositeOrdersEndByThemselvesWithEveryValueWritten) {
    const auto& [backend, importers, bulk] = GetParam();
    Prepare(backend);
    // a: minutes 0 to 5999 rising; b: minutes 8999 down to 3000. Both write 3000 to 5999.
    std::string a;
    std::string b;
    for (int minute = 0; minute < 6000; ++minute) a += MinuteLine(minute);
    for (int minute = 8999; minute >= 3000; --minute) b += MinuteLine(minute);
    WriteFile(dir_.File("a.log"), a);
    WriteFile(dir_.File("b.log"), b);

    std::vector<pid_t> children;
    for (int i = 0; i < importers; ++i) {
        children.push_back(StartProgram(VireoImportProgram(),
                                        ImportArgs(dir_.File(i % 2 == 0 ? "a.log" : "b.log"), bulk),
                                        dir_.File("out" + std::to_string(i))));
    }
    // Every value is a row or a failure line ("<error> - ST01.TEMP @ mm/dd/yyyy hh:mm:ss").
    std::set<int> minutes;
    const std::regex failure(R"( - ST01\.TEMP @ 06/(\d\d)/2005 (\d\d):(\d\d):00)");
    for (int i = 0; i < importers; ++i) {
        const std::string output = dir_.File("out" + std::to_string(i));
        // Alone, an import of a file takes a second or two.
        const std::optional<int> status = WaitAtMost(children[static_cast<std::size_t>(i)], 300s);
        EXPECT_TRUE(status == 0 || status == 3) << ReadFile(output);
        const std::string text = ReadFile(output);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), failure); it != std::sregex_iterator(); ++it) {
            minutes.insert((std::stoi((*it)[1]) - 1) * 1440 + std::stoi((*it)[2]) * 60 + std::stoi((*it)[3]));
        }
    }
    const std::size_t failed = minutes.size();
    // Each row holds its minute's value, as the original and the edited one.
    for (const auto& row : source_->Select("SELECT TIME_TAG, ORIG_VALUE, ED_VALUE FROM TF_DATA1")) {
        const std::string tag = row[0].value_or("");
        const int minute =
            (std::stoi(tag.substr(8, 2)) - 1) * 1440 + std::stoi(tag.substr(11, 2)) * 60 + std::stoi(tag.substr(14, 2));
        EXPECT_EQ(std::stod(row[1].value_or("0")), minute + 0.5) << tag;
        EXPECT_EQ(std::stod(row[2].value_or("0")), minute + 0.5) << tag;
        minutes.insert(minute);
    }
    EXPECT_EQ(minutes.size(), 9000u);
    // Failures are the exception: tries that met a deadlock were made again.
    EXPECT_LE(failed, 3u);
}

std::string ConcurrencyName(const ::testing::TestParamInfo<Concurrency>& info) {
    const auto& [backend, importers, bulk] = info.param;
    return testing::BackendName(backend) + "_" + std::to_string(importers) + "_bulk_" + bulk;
}

INSTANTIATE_TEST_SUITE_P(
    EnginesAndImporters, ConcurrentImportsTest,
    ::testing::Combine(::testing::Values(Backend::Sqlite, Backend::PostgresAnsi), ::testing::Values(2, 4),
                       ::testing::Values(std::string("on"), std::string("odbc"), std::string("off"))),
    ConcurrencyName);

/// --bulk, and whether the run gets a SIGTERM once its first try is refused.
using RetryCase = std::tuple<std::string, bool>;

class ConflictRetryProgramTest : public ImportProgramTest, public ::testing::TestWithParam<RetryCase> {};

TEST_P(ConflictRetryProgramTest, ARefusedBatchIsTriedAgainUntilTheTriesRunOutOrTheRunIsStopped) {
    const auto& [bulk, signalled] = GetParam();
    Prepare(Backend::PostgresAnsi);
    // Every write of the value is refused as a serialization failure after a
    // while; a sequence, which no rollback takes back, counts the tries.
    source_->Execute(
        "CREATE SEQUENCE tries;\n"
        "CREATE FUNCTION refuse_serial() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS $$ BEGIN PERFORM "
        "nextval('tries'); PERFORM pg_sleep(0.3); RAISE EXCEPTION 'could not serialize access' USING ERRCODE = "
        "'serialization_failure'; END $$;\n"
        "CREATE TRIGGER refuse_serial BEFORE INSERT OR UPDATE ON TF_DATA1 FOR EACH ROW EXECUTE FUNCTION "
        "refuse_serial();\n");
    WriteFile(dir_.File("one.log"), MinuteLine(7));
    const auto tries = [this] { return Number("SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM tries"); };

    const std::string output = dir_.File("out");
    const pid_t child = StartProgram(VireoImportProgram(), ImportArgs(dir_.File("one.log"), bulk), output);
    if (signalled) {
        const auto until = std::chrono::steady_clock::now() + 120s;
        while (tries() < 1 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
        ::kill(child, SIGTERM);
    }
    const auto signalled_at = std::chrono::steady_clock::now();
    const std::optional<int> status = WaitAtMost(child, 120s);
    ASSERT_TRUE(status.has_value()) << ReadFile(output);
    const auto stopping =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - signalled_at);
    // Left alone, the tries take over two seconds; a stopped run ends with the
    // try under way (0.3 s), on a busy machine within a few seconds.
    if (signalled) {
        EXPECT_LT(stopping, 10s);
    }
    ::testing::Test::RecordProperty("milliseconds_to_end", std::to_string(stopping.count()));
    // The value is not written, with the server's words, either way.
    EXPECT_EQ(*status, 3) << ReadFile(output);
    EXPECT_NE(ReadFile(output).find("could not serialize access"), std::string::npos) << ReadFile(output);
    EXPECT_EQ(Number("SELECT COUNT(*) FROM TF_DATA1"), 0);
    if (signalled) {
        // The try under way when the signal came, and at most one begun before it was seen.
        EXPECT_LE(tries(), 2) << ReadFile(output);
    } else {
        EXPECT_EQ(tries(), kConflictTries) << ReadFile(output);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, ConflictRetryProgramTest,
                         ::testing::Combine(::testing::Values(std::string("on"), std::string("odbc"),
                                                              std::string("off")),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<RetryCase>& info) {
                             return "bulk_" + std::get<0>(info.param) +
                                    (std::get<1>(info.param) ? "_stopped" : "_left");
                         });

/// How a fast import of an ordinary role may have to go, and the status lines it gives.
struct RouteCase {
    const char* name;
    Backend backend;
    const char* bulk;
    /// The login gives no password: the data source definition holds it.
    bool passwordInDataSource = false;
    /// The role may not create the staging table.
    bool withoutTemp = false;
    const char* routeLine = "";
    const char* driverLine = nullptr;  // "Fast import through the driver: ..." when there is one
    bool keepEdits = false;
};

class ImportRouteTest : public ImportProgramTest, public ::testing::TestWithParam<RouteCase> {};

TEST_P(ImportRouteTest, AFastImportSaysWhichWayItWritesAndWhyNotTheEnginesOwn) {
    const RouteCase& param = GetParam();
    Prepare(param.backend);
    WriteFile(dir_.File("few.log"), MinuteLine(1) + MinuteLine(2) + MinuteLine(3));
    std::vector<std::string> args = ImportArgs(dir_.File("few.log"), param.bulk);
    args.push_back("--details");
    if (param.keepEdits) args.push_back("--keep-edits");
    if (param.withoutTemp) {
        const std::string database = source_->Select("SELECT current_database()").at(0).at(0).value_or("");
        source_->Execute("REVOKE TEMP ON DATABASE " + database + " FROM PUBLIC, " + source_->User() + ";\n");
    }
    if (param.passwordInDataSource) {
        // The same server and database, the login and its password in the definition only.
        const std::string name = testing::TestOdbc::Instance().UniqueName("vireo_pwd_");
        testing::TestOdbc::Instance().DefineDataSource(
            name, {{"Driver", "PostgreSQL ANSI"},
                   {"Servername", "127.0.0.1"},
                   {"Port", std::to_string(testing::PostgresServer::Instance().Port())},
                   {"Database", source_->Select("SELECT current_database()").at(0).at(0).value_or("")},
                   {"Username", source_->User()},
                   {"Password", source_->Password()}});
        args = {"import", dir_.File("few.log"), "--list", dir_.File("list.sfg"), "--fast", "--details", "--dsn", name};
    }
    const testing::CliRun run = RunCommand(args);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(param.routeLine), std::string::npos) << run.out;
    const std::size_t driverLine = run.out.find("Fast import through the driver: ");
    if (param.driverLine == nullptr) {
        EXPECT_EQ(driverLine, std::string::npos) << run.out;
    } else {
        EXPECT_NE(run.out.find(std::string("Fast import through the driver: ") + param.driverLine), std::string::npos)
            << run.out;
    }
    EXPECT_EQ(Number("SELECT COUNT(*) FROM TF_DATA1"), 3);
}

constexpr const char* kCopyRoute = "Fast import route: COPY through libpq";

INSTANTIATE_TEST_SUITE_P(
    Routes, ImportRouteTest,
    ::testing::Values(RouteCase{"SqliteOwn", Backend::Sqlite, "on", false, false,
                                "Fast import route: the SQLite library on the database file"},
                      RouteCase{"PostgresAnsiCopy", Backend::PostgresAnsi, "on", false, false, kCopyRoute},
                      RouteCase{"PostgresUnicodeCopy", Backend::PostgresUnicode, "on", false, false, kCopyRoute},
                      RouteCase{"PasswordInDataSource", Backend::PostgresAnsi, "on", true, false, kCopyRoute},
                      RouteCase{"NoTemporaryTables", Backend::PostgresAnsi, "on", false, true,
                                "Fast import route: sets through the driver",
                                "ERROR:  permission denied to create temporary tables in database"},
                      RouteCase{"SetsAskedFor", Backend::PostgresAnsi, "odbc", false, false,
                                "Fast import route: sets through the driver"},
                      RouteCase{"OneByOne", Backend::PostgresAnsi, "off", false, false,
                                "Fast import route: one statement a value through the driver"},
                      RouteCase{"KeptEdits", Backend::Sqlite, "on", false, false,
                                "Fast import one statement a value: edited values are kept", nullptr, true}),
    [](const ::testing::TestParamInfo<RouteCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vireo
