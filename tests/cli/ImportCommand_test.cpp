#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "cli/Cli.h"
#include "scan/Regional.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun RunCommand(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    int status = cli::RunCli(args, in, out, err);
    return {status, out.str(), err.str()};
}

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

class ImportCommandTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        ::setenv("VIREO_TEST_PASSWORD", source_->Password().c_str(), 1);
        WriteFile(dir_.File("data.log"),
                  "TEMP,06/15/2005,12:30:00,21.5,G\n06/15/2005,12:45:00,ST01,1.25,13.1,55\nJUNK\n");
        WriteFile(dir_.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP,ST01:1||ST01.STAGE,ST01:3||ST01.RH\n");
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
    struct Row {
        std::vector<std::string> args;
        std::string message;
    };
    const Row rows[] = {
        {{"import", dir_.File("missing.log"), "--pair", "TEMP||ST01.TEMP"}, "Error 106: Please enter a file name\n"},
        {{"import", dir_.File("data.log"), "--list", dir_.File("empty.sfg")}, "The import list is empty!\n"},
        {{"import", dir_.File("data.log"), "--pair", "TEMP||ST02.TEMP", "--station", "ST01"},
         "The station name does not matching with the database, cancel?\n(answered Yes; give --yes to go on)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        std::vector<std::string> args = row.args;
        for (const auto& a : Connection()) args.push_back(a);
        CliRun run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, row.message);
    }
    EXPECT_EQ(RowCount(), 0u);

    CliRun goOn = RunCommand(ImportArgs({"--pair", "TEMP||ST02.TEMP", "--station", "ST01", "--yes"}));
    EXPECT_EQ(goOn.status, 0) << goOn.err;
    EXPECT_EQ(RowCount(), 1u);
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
                                               {"import", "a.log", "--bogus"}}) {
        CliRun run = RunCommand(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: vireo-import import"), std::string::npos) << run.err;
    }
}

TEST_P(ImportCommandTest, CatalogueCommandsListStationsAndSensors) {
    source_->Execute(
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
}

/// Ctrl-C in the middle of a long file: the run stops before its next line,
/// says it completed, and what was written stays.
TEST_P(ImportCommandTest, InterruptStopsTheRunAndKeepsTheValues) {
    std::string big;
    char line[64];
    for (int second = 0; second < 200000; ++second) {  // one value a second, every time tag once
        std::snprintf(line, sizeof line, "TEMP,06/%02d/2005,%02d:%02d:%02d,1.5,G\n", 10 + second / 86400,
                      second / 3600 % 24, second / 60 % 60, second % 60);
        big += line;
    }
    WriteFile(dir_.File("big.log"), big);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string program = std::string(VIREO_BINARY_DIR) + "/bin/vireo-import";
    std::vector<std::string> args{program, "import", dir_.File("big.log"), "--pair", "TEMP||ST01.TEMP", "--details"};
    for (const auto& a : Connection()) args.push_back(a);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    bool interrupted = false;
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(got));
        if (!interrupted && output.find("Inserted timetag data") != std::string::npos) {
            ::kill(child, SIGINT);
            interrupted = true;
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(interrupted) << output;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(output.find("Import process completed.."), std::string::npos);
    EXPECT_NE(output.find("(stopped)"), std::string::npos);
    const std::vector<std::string> messages = Messages(output);
    const auto inserted =
        static_cast<std::size_t>(std::count_if(messages.begin(), messages.end(), [](const std::string& m) {
            return m.rfind("Inserted timetag data", 0) == 0;
        }));
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

    // A '?' that names no such sensor is imported as before.
    run = RunCommand(ImportArgs({"--pair", "TEMP||ST01.X?"}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RowCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportCommandTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace vireo
