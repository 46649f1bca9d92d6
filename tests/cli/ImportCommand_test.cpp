#include "cli/ImportCommand.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "scan/Regional.h"
#include "support/ProcessLocks.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

using testing::CliRun;
using testing::RunCommand;

/// Status lines without their time text (everything up to the four blanks).
std::vector<std::string> Messages(const std::string& out) {
    std::vector<std::string> messages;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        auto blanks = line.find("    ");
        if (blanks != std::string::npos) messages.push_back(line.substr(blanks + 4));
    }
    return messages;
}

struct ProgramRun {
    int status;  // the exit status, or minus the signal that ended the program
    std::string out;
};

/// Runs the real `vireo-import` with standard output into a pipe. `watch` sees
/// the output read so far each time more came and may act on the program;
/// when it returns false the reading end is closed, as `| head` does.
ProgramRun RunProgram(const std::vector<std::string>& arguments,
                      const std::function<bool(pid_t, const std::string&)>& watch) {
    const std::string program = std::string(VIREO_BINARY_DIR) + "/bin/vireo-import";
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {-1, ""};
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(got));
        if (!watch(child, output)) break;
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), output};
}

std::size_t CountStartingWith(const std::vector<std::string>& messages, const std::string& start) {
    return static_cast<std::size_t>(
        std::count_if(messages.begin(), messages.end(), [&](const std::string& m) { return m.rfind(start, 0) == 0; }));
}

/// One value a second from June 10, 2005, every time tag once.
std::string BigLog(int values) {
    std::string big;
    char line[64];
    for (int second = 0; second < values; ++second) {
        std::snprintf(line, sizeof line, "TEMP,06/%02d/2005,%02d:%02d:%02d,1.5,G\n", 10 + second / 86400,
                      second / 3600 % 24, second / 60 % 60, second % 60);
        big += line;
    }
    return big;
}

class ImportCommandTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        ::setenv("VIREO_TEST_PASSWORD", source_->Password().c_str(), 1);
        WriteFile(dir_.File("data.log"),
                  "TEMP,06/15/2005,12:30:00,21.5,G\n06/15/2005,12:45:00,ST01,1.25,13.1,55\nJUNK\n");
        WriteFile(dir_.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP,ST01:1||ST01.STAGE,ST01:3||ST01.RH\n");
        source_->ListInCatalogue({"ST01.TEMP", "ST01.STAGE", "ST01.RH", "ST02.TEMP"});
    }

    std::vector<std::string> Connection() const {
        return {"--dsn", source_->Name(), "--user", source_->User(), "--password-env", "VIREO_TEST_PASSWORD"};
    }
    std::vector<std::string> ImportArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args{"import", dir_.File("data.log")};
        for (const auto& a : Connection()) args.push_back(a);
        for (auto& a : extra) args.push_back(std::move(a));
        return args;
    }
    std::size_t RowCount() const {
        return std::stoul(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0"));
    }

    TempDir dir_;
    std::unique_ptr<TestDataSource> source_;
};

TEST_P(ImportCommandTest, ImportsWithAStoredListAndUpdatesOnTheSecondRun) {
    CliRun first = RunCommand(ImportArgs({"--list", dir_.File("list.sfg")}));
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Messages(first.out), (std::vector<std::string>{"Import process completed.."}));
    EXPECT_NE(first.out.find("Lines: 3  inserted: 3  updated: 0  not written: 0"), std::string::npos) << first.out;
    EXPECT_EQ(RowCount(), 3u);

    CliRun second = RunCommand(ImportArgs({"--list", dir_.File("list.sfg"), "--details"}));
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("Lines: 3  inserted: 0  updated: 3  not written: 0"), std::string::npos);
    auto messages = Messages(second.out);
    EXPECT_NE(
        std::find(messages.begin(), messages.end(), "Updated timetag data - ST01.TEMP @ 06/15/2005 12:30:00 - 21.5."),
        messages.end());
    EXPECT_EQ(RowCount(), 3u);
}

TEST_P(ImportCommandTest, PairsOnTheCommandLineAndAStatusLog) {
    CliRun run = RunCommand(ImportArgs({"--pair", "TEMP||ST01.TEMP", "--status-log", dir_.File("status.log")}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RowCount(), 1u);
    const std::string log = testing::ReadFile(dir_.File("status.log"));
    EXPECT_NE(log.find("    Import process completed..\r\n"), std::string::npos) << log;
}

TEST_P(ImportCommandTest, FailedChecksGiveTheirMessageAndStatusTwo) {
    WriteFile(dir_.File("empty.sfg"), "[Import]\nSensors=\n");
    WriteFile(dir_.File("blank.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP, ST01:1||ST01.STAGE\n");
    std::filesystem::create_directory(dir_.File("folder.log"));
    source_->Execute(
        "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST03', 'N');\n"
        "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST03', 'TEMP', 'Y');\n");
    const std::string data = dir_.File("data.log");
    const std::string usage = "usage: vireo-import import";
    struct Row {
        std::vector<std::string> args;
        std::string message;
        std::string then = {};  // what follows the message: the usage, or nothing
    };
    const Row rows[] = {
        {{"import", dir_.File("missing.log"), "--pair", "TEMP||ST01.TEMP"},
         "Error 106: Please enter a file name\nvireo-import import: " + dir_.File("missing.log") + ": no such file\n"},
        {{"import", dir_.File("folder.log"), "--pair", "TEMP||ST01.TEMP"},
         "Error 106: Please enter a file name\nvireo-import import: " + dir_.File("folder.log") +
             ": a folder, not a file\n"},
        {{"import", data, "--list", dir_.File("empty.sfg")}, "The import list is empty!\n"},
        {{"import", data, "--pair", "TEMP||ST02.TEMP", "--station", "ST01"},
         "The station name does not matching with the database, cancel?\n(answered Yes; give --yes to go on)\n"},
        // Only what the window could have paired is written.
        {{"import", data, "--pair", "TEMP|ST01.TEMP"},
         "vireo-import import: TEMP|ST01.TEMP: not an import entry (LOG||STATION.SENSOR)\n"},
        {{"import", data, "--pair", "TEMP=ST01.TEMP"},
         "vireo-import import: TEMP=ST01.TEMP: not an import entry (LOG||STATION.SENSOR)\n"},
        {{"import", data, "--list", dir_.File("blank.sfg")},
         "vireo-import import:  ST01:1||ST01.STAGE: not an import entry (LOG||STATION.SENSOR)\n"},
        {{"import", data, "--pair", "TEMP||ST09.TEMP"},
         "vireo-import import: TEMP||ST09.TEMP: station ST09 is not an enabled station of the database\n"},
        {{"import", data, "--pair", "TEMP||ST03.TEMP"},
         "vireo-import import: TEMP||ST03.TEMP: station ST03 is not an enabled station of the database\n"},
        {{"import", data, "--pair", "TEMP||ST01.NOPE", "--pair", "TEMP||ST01.TEMP", "--pair", "X||ST01.STAGE2"},
         "vireo-import import: TEMP||ST01.NOPE: sensor NOPE is not an enabled sensor of station ST01\n"
         "vireo-import import: X||ST01.STAGE2: sensor STAGE2 is not an enabled sensor of station ST01\n"},
        // Options that would do nothing here.
        {{"import", data, "--pair", "TEMP||ST01.TEMP", "--format", "json"},
         "vireo-import import: --format goes with --dry-run\n",
         usage},
        {{"import", data, "--pair", "TEMP||ST01.TEMP", "--bulk", "on", "--one-by-one"},
         "vireo-import import: --one-by-one excludes --fast and --bulk\n",
         usage},
        {{"import", data, "--pair", "TEMP||ST01.TEMP", "--fast", "--one-by-one"},
         "vireo-import import: --one-by-one excludes --fast and --bulk\n",
         usage},
        {{"import", data, "--pair", "TEMP||ST01.TEMP", "--rejects", "-"},
         "vireo-import import: --rejects takes a file name; standard output holds the status lines\n",
         usage},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        std::vector<std::string> args = row.args;
        for (const auto& a : Connection()) args.push_back(a);
        CliRun run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.substr(0, row.message.size()), row.message);
        EXPECT_EQ(run.err.substr(row.message.size(), row.then.size()), row.then);
        if (row.then.empty()) {
            EXPECT_EQ(run.err.size(), row.message.size()) << run.err;
        }
    }
    EXPECT_EQ(RowCount(), 0u);
    EXPECT_FALSE(std::filesystem::exists("-"));

    CliRun goOn = RunCommand(ImportArgs({"--pair", "TEMP||ST02.TEMP", "--station", "ST01", "--yes"}));
    EXPECT_EQ(goOn.status, 0) << goOn.err;
    EXPECT_EQ(RowCount(), 1u);
}

TEST_P(ImportCommandTest, ADataSourceWithoutTheTablesStopsWithOneMessage) {
    std::filesystem::create_directory(dir_.File("logs"));
    WriteFile(dir_.File("logs/a.log"), "TEMP,06/15/2005,12:30:00,21.5,G\n");
    struct Row {
        std::string drop;
        std::vector<std::string> missing;
    };
    const Row rows[] = {
        {"DROP TABLE TF_DATA1;\n", {"TF_DATA1"}},
        {"DROP TABLE TF_SITESENSORS;\nDROP TABLE TF_SITES;\n", {"TF_SITES", "TF_SITESENSORS"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.drop);
        TestDataSource source(GetParam());
        source.Execute(row.drop);
        ::setenv("VIREO_TEST_PASSWORD", source.Password().c_str(), 1);
        const std::vector<std::string> connection{"--dsn",       source.Name(),    "--user",
                                                  source.User(), "--password-env", "VIREO_TEST_PASSWORD"};
        for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
                 {"import", dir_.File("data.log"), "--list", dir_.File("list.sfg")},
                 {"import", dir_.File("data.log"), "--list", dir_.File("list.sfg"), "--fast"},
                 {"import", dir_.File("data.log"), "--list", dir_.File("list.sfg"), "--dry-run"},
                 {"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once"}}) {
            SCOPED_TRACE(args.back());
            const std::string command = "vireo-import " + args.front();
            args.insert(args.end(), connection.begin(), connection.end());
            const CliRun run = RunCommand(args);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.out, "");
            const std::string start = command + ": the data source " + source.Name() + " lacks what an import needs:";
            EXPECT_EQ(run.err.substr(0, start.size()), start);
            // One message (the driver's own words may hold a line end).
            EXPECT_EQ(run.err.find(command, 1), std::string::npos) << run.err;
            EXPECT_EQ(run.err.substr(run.err.size() - 2), ".\n");
            for (const std::string& table : row.missing)
                EXPECT_NE(run.err.find(" table " + table + " cannot be read ("), std::string::npos) << run.err;
        }
    }
    ::setenv("VIREO_TEST_PASSWORD", source_->Password().c_str(), 1);
}

TEST_P(ImportCommandTest, UnknownDataSourceNamesTheDriversReason) {
    CliRun run = RunCommand({"import", dir_.File("data.log"), "--pair", "TEMP||ST01.TEMP", "--dsn", "NoSuchSource"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("Unable to connect to NoSuchSource\n", 0), 0u) << run.err;
    EXPECT_GT(run.err.size(), std::string("Unable to connect to NoSuchSource\n").size());
}

TEST_P(ImportCommandTest, BadArgumentsGiveTheUsage) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"import"},
                                               {"import", "a.log"},
                                               {"import", "a.log", "--pair", "X||S.T", "--list", "x.sfg"},
                                               {"import", "a.log", "--pair"},
                                               {"import", "a.log", "--bogus"},
                                               {"import", "a.log", "--pair", "X||S.T", "--fast", "--bulk", "yes"}}) {
        CliRun run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: vireo-import import"), std::string::npos) << run.err;
    }
}

TEST_P(ImportCommandTest, CatalogueCommandsListStationsAndSensors) {
    source_->Execute(
        "DELETE FROM TF_SITESENSORS;\n"
        "DELETE FROM TF_SITES;\n"
        "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('st01', 'Y');\n"
        "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST09', 'N');\n"
        "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'temp', 'Y');\n");
    std::vector<std::string> stations{"stations"};
    for (const auto& a : Connection()) stations.push_back(a);
    CliRun listed = RunCommand(stations);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "ST01\n");

    std::vector<std::string> sensors{"station-sensors", "st01"};
    for (const auto& a : Connection()) sensors.push_back(a);
    CliRun sensorList = RunCommand(sensors);
    EXPECT_EQ(sensorList.status, 0) << sensorList.err;
    EXPECT_EQ(sensorList.out, "TEMP\n");

    // A station the database does not list (or not as enabled) is named, not listed as empty.
    for (const std::string station : {"ST05", "ST09"}) {
        sensors[1] = station;
        CliRun unknown = RunCommand(sensors);
        EXPECT_EQ(unknown.status, 2);
        EXPECT_EQ(unknown.out, "");
        EXPECT_EQ(unknown.err,
                  "vireo-import station-sensors: station " + station + " is not an enabled station of the database\n");
    }
}

/// Ctrl-C in the middle of a long file: the run stops before its next line,
/// says it completed, and what was written stays.
TEST_P(ImportCommandTest, InterruptStopsTheRunAndKeepsTheValues) {
    WriteFile(dir_.File("big.log"), BigLog(200000));
    std::vector<std::string> args{"import", dir_.File("big.log"), "--pair", "TEMP||ST01.TEMP", "--details"};
    for (const auto& a : Connection()) args.push_back(a);
    bool interrupted = false;
    const ProgramRun run = RunProgram(args, [&](pid_t child, const std::string& output) {
        if (!interrupted && output.find("Inserted timetag data") != std::string::npos) {
            ::kill(child, SIGINT);
            interrupted = true;
        }
        return true;
    });
    ASSERT_TRUE(interrupted) << run.out;
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.out.find("Import process completed.."), std::string::npos);
    EXPECT_NE(run.out.find("(stopped)"), std::string::npos);
    const std::size_t inserted = CountStartingWith(Messages(run.out), "Inserted timetag data");
    const std::size_t rows = RowCount();
    EXPECT_GE(rows, 1u);
    EXPECT_LT(rows, 200000u);
    EXPECT_EQ(rows, inserted);  // every reported value is in the table, and nothing more
}

TEST_P(ImportCommandTest, UnusualFilesLoseNothingSilently) {
    // A list saved with a byte-order mark, a log file with lone carriage
    // returns as line ends, a real row and a line whose impossible date would
    // have overwritten it, and a number too large for a double.
    WriteFile(dir_.File("marked.sfg"), "\xEF\xBB\xBF[Import]\r\nSensors=TEMP||ST01.TEMP,ST01:1||ST01.STAGE\r\n");
    WriteFile(dir_.File("data.log"),
              "TEMP,03/02/2005,12:00:00,21.5,G\r"
              "06/15/2005,12:45:00,ST01,1.25\r"
              "TEMP,02/30/2005,12:00:00,99,G\r"
              "TEMP,06/15/2005,13:00:00,1e309,G\r");
    CliRun run = RunCommand(ImportArgs({"--list", dir_.File("marked.sfg")}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Messages(run.out),
              (std::vector<std::string>{"No valid date and time, line not imported - TEMP,02/30/2005,12:00:00,99,G.",
                                        "Number out of range, value not imported - TEMP,06/15/2005,13:00:00,1e309,G.",
                                        "Import process completed.."}));
    EXPECT_NE(run.out.find("Lines: 4  inserted: 2  updated: 0  not written: 0  without time tag: 1  out of range: 1\n"),
              std::string::npos)
        << run.out;
    const auto rows = source_->Select("SELECT SENSORNAME, TIME_TAG, ED_VALUE FROM TF_DATA1 ORDER BY SENSORNAME");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "STAGE");
    EXPECT_EQ(rows[1][0], "TEMP");
    EXPECT_EQ(rows[1][1].value_or("").substr(0, 19), "2005-03-02 12:00:00");
    EXPECT_EQ(std::stod(rows[1][2].value_or("0")), 21.5) << "the real row keeps its value";
}

TEST_P(ImportCommandTest, AnEntryNamingASensorTheWindowsCodePageCannotHoldIsRefused) {
    if (GetParam() == Backend::Sqlite) GTEST_SKIP() << "a SQLite name is kept as its bytes";
    // chr() makes TΩ and TЖ on the server; both read back as "T?".
    source_->Execute(
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'T' || chr(937), 'Y');\n"
        "INSERT INTO TF_SITESENSORS (STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'T' || chr(1046), 'Y');\n");
    CliRun run = RunCommand(ImportArgs({"--pair", "TEMP||ST01.TEMP", "--pair", "ST01:1||ST01.T?"}));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "vireo-import import: Station sensor ST01.T? cannot be paired: its name holds characters that "
              "Windows-1252 cannot hold.\n");
    EXPECT_EQ(RowCount(), 0u) << "nothing is written";

    // A '?' that names no such sensor is no sensor of the station.
    run = RunCommand(ImportArgs({"--pair", "TEMP||ST01.X?"}));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vireo-import import: TEMP||ST01.X?: sensor X? is not an enabled sensor of station ST01\n");
    EXPECT_EQ(RowCount(), 0u);
}

/// SIGTERM and SIGHUP stop a fast run as Ctrl-C does: the open batch is
/// committed first, and exactly the values reported as written are rows.
TEST_P(ImportCommandTest, StopSignalsCommitTheOpenBatchAndReportOnlyWhatWasWritten) {
    WriteFile(dir_.File("big.log"), BigLog(200000));
    struct Row {
        int signal;
        int status;
    };
    for (const Row row : {Row{SIGTERM, 143}, Row{SIGHUP, 129}, Row{SIGINT, 130}}) {
        SCOPED_TRACE(strsignal(row.signal));
        source_->Execute("DELETE FROM TF_DATA1;\n");
        std::vector<std::string> args{"import", dir_.File("big.log"), "--pair", "TEMP||ST01.TEMP",
                                      "--fast", "--details"};
        for (const auto& a : Connection()) args.push_back(a);
        bool signalled = false;
        ProgramRun run = RunProgram(args, [&](pid_t child, const std::string& output) {
            if (!signalled && output.find("Inserted timetag data") != std::string::npos) {
                ::kill(child, row.signal);
                signalled = true;
            }
            return true;
        });
        ASSERT_TRUE(signalled) << run.out;
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.out.find("(stopped)"), std::string::npos);
        EXPECT_NE(run.out.find("not written: 0"), std::string::npos);
        const std::size_t inserted = CountStartingWith(Messages(run.out), "Inserted timetag data");
        EXPECT_LT(inserted, 200000u);
        EXPECT_EQ(RowCount(), inserted) << "every reported value is in the table, and nothing more";
        EXPECT_NE(run.out.find("  inserted: " + std::to_string(inserted) + "  "), std::string::npos);
    }
}

/// A kill -9 cannot be caught: it costs the open batch, but none of its
/// values was shown as written.
TEST_P(ImportCommandTest, KillNineNeverLeavesAValueShownAsWrittenThatIsNotThere) {
    WriteFile(dir_.File("big.log"), BigLog(200000));
    std::vector<std::string> args{"import", dir_.File("big.log"), "--pair",       "TEMP||ST01.TEMP",
                                  "--fast", "--details",          "--status-log", dir_.File("s.log")};
    for (const auto& a : Connection()) args.push_back(a);
    bool killed = false;
    ProgramRun run = RunProgram(args, [&](pid_t child, const std::string& output) {
        if (!killed && output.find("Inserted timetag data") != std::string::npos) {
            ::kill(child, SIGKILL);
            killed = true;
        }
        return true;
    });
    ASSERT_TRUE(killed);
    EXPECT_EQ(run.status, -SIGKILL);
    const std::size_t shown = CountStartingWith(Messages(run.out), "Inserted timetag data");
    const std::string log = testing::ReadFile(dir_.File("s.log"));
    std::size_t logged = 0;
    for (std::size_t at = log.find("    Inserted timetag data"); at != std::string::npos;
         at = log.find("    Inserted timetag data", at + 1))
        ++logged;
    EXPECT_GE(shown, 1u);
    EXPECT_LE(shown, RowCount());
    EXPECT_LE(logged, RowCount());
}

/// `vireo-import import ... --fast --details --status-log s.log | head -3`:
/// the run stops, commits, and the log claims exactly the rows there are.
TEST_P(ImportCommandTest, ClosedStandardOutputStopsTheRunAndTheLogClaimsOnlyWrittenValues) {
    WriteFile(dir_.File("big.log"), BigLog(200000));
    std::vector<std::string> args{"import", dir_.File("big.log"), "--pair",       "TEMP||ST01.TEMP",
                                  "--fast", "--details",          "--status-log", dir_.File("s.log")};
    for (const auto& a : Connection()) args.push_back(a);
    ProgramRun run = RunProgram(
        args, [](pid_t, const std::string& output) { return std::count(output.begin(), output.end(), '\n') < 3; });
    EXPECT_EQ(run.status, 141);
    const std::string log = testing::ReadFile(dir_.File("s.log"));
    std::vector<std::string> logged;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        auto blanks = line.find("    ");
        if (blanks != std::string::npos) logged.push_back(line.substr(blanks + 4));
    }
    const std::size_t inserted = CountStartingWith(logged, "Inserted timetag data");
    EXPECT_LT(inserted, 200000u);
    EXPECT_EQ(RowCount(), inserted);
    EXPECT_NE(log.find("    Import process completed..\r\n"), std::string::npos);
}

TEST_P(ImportCommandTest, ValuesNotWrittenGiveStatusThreeInEveryMode) {
    source_->RefuseRowsOf("RH", "row locked");
    const std::vector<std::vector<std::string>> modes{
        {"--one-by-one"}, {"--fast", "--bulk", "off"}, {"--bulk", "odbc"}, {"--fast"}, {}};
    for (const std::vector<std::string>& mode : modes) {
        SCOPED_TRACE(mode.empty() ? "the default" : mode[0] + (mode.size() > 1 ? " " + mode.back() : ""));
        source_->Execute("DELETE FROM TF_DATA1;\n");
        std::vector<std::string> extra{"--list", dir_.File("list.sfg")};
        extra.insert(extra.end(), mode.begin(), mode.end());
        CliRun run = RunCommand(ImportArgs(extra));
        EXPECT_EQ(run.status, 3) << run.err;
        EXPECT_NE(run.out.find("Lines: 3  inserted: 2  updated: 0  not written: 1"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("row locked"), std::string::npos) << run.out;
        // One failure line (the driver's text may take several lines).
        const std::string failureEnd = " - ST01.RH @ 06/15/2005 12:45:00.\n";
        const auto at = run.out.find(failureEnd);
        EXPECT_NE(at, std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(failureEnd, at + 1), std::string::npos) << run.out;
        EXPECT_EQ(RowCount(), 2u);
    }
}

TEST_P(ImportCommandTest, PasswordVariableThatIsNotSetIsRefused) {
    ::unsetenv("VIREO_NO_SUCH_PASSWORD");
    const std::string message = "The environment variable VIREO_NO_SUCH_PASSWORD named by --password-env is not set\n";
    const std::vector<std::string> connection{"--dsn",         source_->Name(),  "--user",
                                              source_->User(), "--password-env", "VIREO_NO_SUCH_PASSWORD"};
    for (std::vector<std::string> args :
         {std::vector<std::string>{"import", dir_.File("data.log"), "--pair", "TEMP||ST01.TEMP"},
          std::vector<std::string>{"stations"}, std::vector<std::string>{"station-sensors", "ST01"}}) {
        SCOPED_TRACE(args.front());
        args.insert(args.end(), connection.begin(), connection.end());
        CliRun run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, message);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(RowCount(), 0u);
}

// vireo-import measures the database file after connecting; while it imports
// value by value,
// another process reads the table again and again (each time opening and
// closing the database) and always finds the importer's lock on the file.
TEST(ImportCommandLocks, AnotherProcessSeesEveryRowWhileTheImportRuns) {
    SetRegional(RegionalSettings{});
    TestDataSource source(Backend::Sqlite);
    source.ListInCatalogue({"ST01.TEMP"});
    TempDir dir;
    constexpr int kLines = 20000;
    std::string log;
    char line[64];
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(line, sizeof line, "TEMP,06/%02d/2005,%02d:%02d:00,%d.5,G\n", 1 + i / 1440, i / 60 % 24, i % 60,
                      i);
        log += line;
    }
    WriteFile(dir.File("big.log"), log);
    const std::string output = dir.File("out.txt");
    ::setenv("VIREO_TEST_PASSWORD", source.Password().c_str(), 1);
    const std::string program = std::string(VIREO_BINARY_DIR) + "/bin/vireo-import";
    std::vector<std::string> args{program,           "import",         dir.File("big.log"),   "--pair",
                                  "TEMP||ST01.TEMP", "--dsn",          source.Name(),         "--user",
                                  source.User(),     "--password-env", "VIREO_TEST_PASSWORD", "--one-by-one"};
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FILE* out = std::fopen(output.c_str(), "w");
        if (out == nullptr) ::_exit(126);
        ::dup2(::fileno(out), STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }

    int readsWhileRunning = 0;
    int readsWithoutLock = 0;
    std::vector<std::string> readErrors;
    std::size_t previous = 0;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        ASSERT_GE(done, 0);
        if (done == child) break;
        std::size_t rows = 0;
        try {
            rows = std::stoul(source.Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0"));
        } catch (const std::exception& error) {
            readErrors.push_back(error.what());
            continue;
        }
        EXPECT_GE(rows, previous);
        previous = rows;
        // Rows are coming in, so the capacity check is over and the import runs.
        if (rows > 0 && rows < static_cast<std::size_t>(kLines)) {
            const int locks = testing::PosixLocksHeld(child, source.FilePath());
            // Rows still missing after the locks were read: the import had not
            // written its last row then, so it had not closed its connection.
            const std::size_t rowsAfter =
                std::stoul(source.Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0"));
            if (rowsAfter < static_cast<std::size_t>(kLines)) {
                ++readsWhileRunning;
                if (locks == 0) ++readsWithoutLock;
            }
        }
    }
    EXPECT_EQ(readErrors, std::vector<std::string>{});
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << testing::ReadFile(output);
    EXPECT_GT(readsWhileRunning, 0) << "the import was over before the first read";
    EXPECT_EQ(readsWithoutLock, 0) << "of " << readsWhileRunning << " reads during the import";
    const std::string text = testing::ReadFile(output);
    EXPECT_NE(text.find("Lines: 20000  inserted: 20000  updated: 0  not written: 0"), std::string::npos) << text;
    EXPECT_EQ(source.Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "20000");
}

TEST(ImportCommandLocks, TheDatabaseFileIsNoLogFileNorStatusLog) {
    SetRegional(RegionalSettings{});
    TestDataSource source(Backend::Sqlite);
    TempDir dir;
    WriteFile(dir.File("data.log"), "TEMP,06/15/2005,12:30:00,21.5,G\n");
    ::setenv("VIREO_TEST_PASSWORD", source.Password().c_str(), 1);
    const std::vector<std::string> connection{"--dsn",       source.Name(),    "--user",
                                              source.User(), "--password-env", "VIREO_TEST_PASSWORD"};
    const std::string database = source.FilePath();
    const struct {
        std::vector<std::string> args;
        std::string refused;
    } cases[] = {
        {{"import", database, "--pair", "TEMP||ST01.TEMP"}, database},
        {{"import", dir.File("data.log"), "--pair", "TEMP||ST01.TEMP", "--status-log", database}, database},
    };
    const std::uintmax_t size = std::filesystem::file_size(database);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), connection.begin(), connection.end());
        const CliRun run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err,
                  "Error 107: " + c.refused + " is a file of the connected database and cannot be used here\n");
        EXPECT_EQ(std::filesystem::file_size(database), size);
    }
    EXPECT_EQ(source.Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], "0");
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportCommandTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

TEST(ImportSummary, CountsBeyondTwoToTheThirtyFirstAreShownWhole) {
    ImportResult result;
    result.counts.lines = (std::int64_t{1} << 31) + 1;
    result.counts.inserted = std::int64_t{5} << 32;
    result.counts.updated = 3;
    result.counts.failed = (std::int64_t{1} << 31);
    result.counts.withoutTimeTag = 7;
    result.stopped = true;
    EXPECT_EQ(cli::ImportSummaryLine(result),
              "Lines: 2147483649  inserted: 21474836480  updated: 3  not written: 2147483648  without time tag: 7"
              "  (stopped)");
}

TEST(ImportSummary, ExitStatusSaysWhatBecameOfTheValues) {
    using cli::StopCause;
    struct Row {
        std::int64_t failed;
        std::string error;
        bool stopped;
        StopCause cause;
        int status;
    };
    const Row rows[] = {
        {0, "", false, StopCause::None, 0},
        {0, "Unable to open", false, StopCause::None, 1},
        {0, "", true, StopCause::Interrupt, 130},
        {0, "", true, StopCause::Terminate, 143},
        {0, "", true, StopCause::HangUp, 129},
        {0, "", true, StopCause::OutputClosed, 141},
        {1, "", false, StopCause::None, 3},
        {4, "The connection to the database was lost", false, StopCause::None, 3},
        {2, "", true, StopCause::Terminate, 3},
    };
    for (const Row& row : rows) {
        ImportResult result;
        result.counts.failed = row.failed;
        result.error = row.error;
        result.stopped = row.stopped;
        EXPECT_EQ(cli::ImportExitStatus(result, row.cause), row.status)
            << row.failed << " '" << row.error << "' " << row.stopped;
    }
}

}  // namespace
}  // namespace vireo
