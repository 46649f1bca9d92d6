// The options of `vireo-import import` around a re-import: --rejects,
// --keep-edits, --dry-run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliRun.h"
#include "scan/Regional.h"
#include "support/ChildProgram.h"
#include "support/FaultInjection.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::CliRun;
using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

constexpr const char* kLog =
    "TEMP,06/15/2005,12:30:00,21.5,G\n"
    "TEMP,06/15/2005,12:40:00,n/a,G\n"
    "06/15/2005,12:45:00,ST01,1.25,13.1,55\n"
    "JUNK\n";

class SafeReimportTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        source_->ListInCatalogue({"ST01.TEMP", "ST01.STAGE"});
        ::setenv("VIREO_TEST_PASSWORD", source_->Password().c_str(), 1);
        WriteFile(dir_.File("data.log"), kLog);
    }

    std::vector<std::string> ImportArgs(std::vector<std::string> extra) const {
        std::vector<std::string> args{"import", dir_.File("data.log"), "--dsn",          source_->Name(),
                                      "--user", source_->User(),       "--password-env", "VIREO_TEST_PASSWORD",
                                      "--pair", "TEMP||ST01.TEMP",     "--pair",         "ST01:1||ST01.STAGE"};
        for (auto& a : extra) args.push_back(std::move(a));
        return args;
    }
    std::vector<std::vector<std::optional<std::string>>> Table() const {
        return source_->Select("SELECT * FROM TF_DATA1 ORDER BY STATION_ID, SENSORNAME, TIME_TAG");
    }

    TempDir dir_;
    std::unique_ptr<TestDataSource> source_;
};

TEST_P(SafeReimportTest, ARejectsFileThatCannotBeCreatedStopsTheRunBeforeItStarts) {
    const std::string path = dir_.File("no-such-folder/rejects.csv");
    const CliRun run = RunCommand(ImportArgs({"--rejects", path}));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "vireo-import import: Unable to create the rejects file - " + path + ": No such file or directory\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Table().empty());
}

TEST_P(SafeReimportTest, TheLogFileIsNeverTakenForTheRejectsFile) {
    const CliRun run = RunCommand(ImportArgs({"--rejects", dir_.File("data.log")}));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "vireo-import import: the rejects file is the log file itself - " + dir_.File("data.log") + "\n");
    EXPECT_EQ(ReadFile(dir_.File("data.log")), kLog);
}

TEST_P(SafeReimportTest, TheRejectsFileListsWhatWasNotWritten) {
    const CliRun run = RunCommand(ImportArgs({"--rejects", dir_.File("rejects.csv")}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir_.File("rejects.csv")),
              "line,reason,name,text\r\n"
              "2,\"not a number\",\"TEMP\",\"TEMP,06/15/2005,12:40:00,n/a,G\"\r\n"
              "3,\"no pair for that name\",\"ST01:2\",\"06/15/2005,12:45:00,ST01,1.25,13.1,55\"\r\n"
              "3,\"no pair for that name\",\"ST01:3\",\"06/15/2005,12:45:00,ST01,1.25,13.1,55\"\r\n"
              "4,\"not a record\",\"\",\"JUNK\"\r\n");
}

TEST_P(SafeReimportTest, ARejectsFileThatCannotBeWrittenEndsWithTheSystemsWordsAndKeepsTheRows) {
    // A disk that is full (a device such as /dev/full is no rejects file).
    testing::SmallDisk disk;
    if (!disk.Mounted()) GTEST_SKIP() << "a full disk of its own needs root";
    disk.Fill();
    const std::string path = disk.File("r.csv");
    const CliRun run = RunCommand(ImportArgs({"--rejects", path}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to write the rejects file - " + path + ": No space left on device\n");
    EXPECT_EQ(Table().size(), 2u);
}

TEST_P(SafeReimportTest, KeepEditsLeavesAnEditedRowAndCountsIt) {
    ASSERT_EQ(RunCommand(ImportArgs({})).status, 0);
    source_->Execute("UPDATE TF_DATA1 SET ED_VALUE = 20, SOURCE = 'M' WHERE SENSORNAME = 'TEMP';\n");
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "one value at a time");
        std::vector<std::string> extra{"--keep-edits", "--details"};
        if (fast) extra.push_back("--fast");
        const CliRun run = RunCommand(ImportArgs(extra));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("    Kept edited value - ST01.TEMP @ 06/15/2005 12:30:00 - 21.5.\n"), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("Lines: 4  inserted: 0  updated: 1  not written: 0  without time tag: 0  kept: 1  "
                               "not a number: 1  without a pair: 2\n"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(source_->Select("SELECT ED_VALUE FROM TF_DATA1 WHERE SENSORNAME = 'TEMP'")[0][0].value_or("?")[0],
                  '2');
    }
    const CliRun overwrite = RunCommand(ImportArgs({}));
    EXPECT_NE(overwrite.out.find("Lines: 4  inserted: 0  updated: 2  not written: 0  without time tag: 0  "
                                 "not a number: 1  without a pair: 2\n"),
              std::string::npos)
        << overwrite.out;
}

/// KeepEdits=1 in the window's settings file: the command line keeps an
/// edited value as the window does, one value at a time and in fast mode,
/// unless --no-keep-edits. The program runs as a copy of its own, with its
/// own settings file beside it.
TEST_P(SafeReimportTest, KeepEditsOfTheSettingsFileIsFollowed) {
    std::filesystem::create_directory(dir_.File("bin"));
    const std::string program = dir_.File("bin/vireo-import");
    std::filesystem::copy_file(testing::VireoImportProgram(), program);
    WriteFile(dir_.File("bin/VireoImport.VFG"), "[Application]\nKeepEdits=1\n");
    WriteFile(dir_.File("one.log"), "TEMP,06/15/2005,12:30:00,22.4,G\n");
    auto run = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args{"import", dir_.File("one.log"), "--dsn",          source_->Name(),
                                      "--user", source_->User(),      "--password-env", "VIREO_TEST_PASSWORD",
                                      "--pair", "TEMP||ST01.TEMP"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::filesystem::remove(dir_.File("out.txt"));
        const int status = testing::WaitFor(testing::StartProgram(program, args, dir_.File("out.txt")));
        return CliRun{status, ReadFile(dir_.File("out.txt")), ""};
    };
    auto value = [&]() { return source_->Select("SELECT ED_VALUE FROM TF_DATA1")[0][0].value_or("?"); };
    ASSERT_EQ(run({}).status, 0);
    source_->Execute("UPDATE TF_DATA1 SET ED_VALUE = 77;\n");
    for (const auto& extra : {std::vector<std::string>{}, std::vector<std::string>{"--fast"}}) {
        const CliRun kept = run(extra);
        EXPECT_EQ(kept.status, 0) << kept.out;
        EXPECT_NE(kept.out.find("Lines: 1  inserted: 0  updated: 0  not written: 0  without time tag: 0  kept: 1\n"),
                  std::string::npos)
            << kept.out;
        EXPECT_EQ(value().substr(0, 2), "77");
    }
    const CliRun overwrite = run({"--no-keep-edits"});
    EXPECT_NE(overwrite.out.find("Lines: 1  inserted: 0  updated: 1  not written: 0  without time tag: 0\n"),
              std::string::npos)
        << overwrite.out;
    EXPECT_EQ(value().substr(0, 4), "22.4");
    EXPECT_EQ(run({"--keep-edits", "--no-keep-edits"}).status, 2);
}

TEST_P(SafeReimportTest, ADryRunWritesNothingAndForetellsTheImport) {
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "one value at a time");
        source_->Execute("DELETE FROM TF_DATA1;\n");
        std::vector<std::string> extra{"--dry-run", "--format", "json"};
        if (fast) extra.push_back("--fast");
        const CliRun dry = RunCommand(ImportArgs(extra));
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_TRUE(Table().empty());
        EXPECT_NE(dry.out.find("{\"entry\":\"TEMP||ST01.TEMP\",\"insert\":1,\"update\":0,\"unchanged\":0,"
                               "\"noTimeTag\":0,\"notANumber\":1,"),
                  std::string::npos)
            << dry.out;
        EXPECT_NE(dry.out.find("{\"entry\":\"ST01:1||ST01.STAGE\",\"insert\":1,"), std::string::npos) << dry.out;
        const CliRun real =
            RunCommand(ImportArgs(fast ? std::vector<std::string>{"--fast"} : std::vector<std::string>{}));
        EXPECT_NE(real.out.find("Lines: 4  inserted: 2  updated: 0"), std::string::npos) << real.out;

        const CliRun again = RunCommand(ImportArgs({"--dry-run"}));
        EXPECT_EQ(again.status, 0);
        EXPECT_NE(again.out.find("TEMP||ST01.TEMP          0       0          1"), std::string::npos) << again.out;
    }
}

TEST_P(SafeReimportTest, AnUnknownFormatIsRefused) {
    const CliRun run = RunCommand(ImportArgs({"--dry-run", "--format", "xml"}));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("vireo-import import: --format is table or json, not 'xml'\n", 0), 0u) << run.err;
}

TEST_P(SafeReimportTest, CtrlCDuringADryRunPrintsThePartialCounts) {
    // Every line has a value without a pair, so the rejects file grows while
    // the dry run reads: the signal comes while it is under way.
    std::string big;
    char line[80];
    for (int second = 0; second < 400000; ++second) {
        std::snprintf(line, sizeof line, "06/%02d/2005,%02d:%02d:%02d,ST01,1.5,2.5\n", 10 + second / 86400,
                      second / 3600 % 24, second / 60 % 60, second % 60);
        big += line;
    }
    WriteFile(dir_.File("data.log"), big);
    const std::string rejects = dir_.File("rejects.csv");
    std::vector<std::string> args = ImportArgs({"--dry-run", "--rejects", rejects});
    args.insert(args.begin(), std::string(VIREO_BINARY_DIR) + "/bin/vireo-import");
    const std::string outPath = dir_.File("out.txt");
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen(outPath.c_str(), "w", stdout);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    struct stat info {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((::stat(rejects.c_str(), &info) != 0 || info.st_size < 8192) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const std::string out = ReadFile(outPath);
    EXPECT_NE(out.find("\n(partial: the dry run ended before the end of the file)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ST01:1||ST01.STAGE"), std::string::npos) << out;
    EXPECT_EQ(out.find("Lines: 400000 "), std::string::npos) << out;
    EXPECT_TRUE(Table().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, SafeReimportTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace vireo
