// import --incremental and watch, run in this process.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/CliRun.h"
#include "follow/FollowState.h"
#include "scan/Regional.h"
#include "support/PlantedFiles.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::CliRun;
using testing::RunCommand;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

/// One TEMP line: day of June 2005 and minute give the time tag.
std::string Line(int day, int minute, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "TEMP,06/%02d/2005,12:%02d:00,%g,G\r\n", day, minute, value);
    return text;
}

/// The lines of `out` without the time text of status lines.
std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto blanks = line.find("    ");
        lines.push_back(blanks == std::string::npos ? line : line.substr(blanks + 4));
    }
    return lines;
}

class FollowCommandsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        source_->ListInCatalogue({"ST01.TEMP", "ST01.BATT"});
        ::setenv("VIREO_TEST_PASSWORD", source_->Password().c_str(), 1);
        WriteFile(dir_.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP\n");
        std::filesystem::create_directory(dir_.File("logs"));
    }

    std::vector<std::string> Args(std::vector<std::string> args) const {
        for (const std::string& a : {std::string("--dsn"), source_->Name(), std::string("--user"), source_->User(),
                                     std::string("--password-env"), std::string("VIREO_TEST_PASSWORD")})
            args.push_back(a);
        return args;
    }
    std::size_t RowCount() const {
        return std::stoul(source_->Select("SELECT COUNT(*) FROM TF_DATA1")[0][0].value_or("0"));
    }

    TempDir dir_;
    std::unique_ptr<TestDataSource> source_;
};

TEST_P(FollowCommandsTest, AnIncrementalImportTakesOnlyTheLinesAppendedSinceTheLastOne) {
    const std::string log = dir_.Write("a.log", Line(1, 1, 1) + Line(1, 2, 2) + "TEMP,06/01/2005,12:0");
    const std::vector<std::string> args = Args({"import", log, "--list", dir_.File("list.sfg"), "--incremental"});
    CliRun first = RunCommand(args);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Lines(first.out),
              (std::vector<std::string>{"Import process completed..",
                                        "Lines: 2  inserted: 2  updated: 0  not written: 0  without time tag: 0"}));
    // Kept beside the list.
    EXPECT_TRUE(std::filesystem::exists(dir_.File("list.positions")));

    testing::AppendFile(log, "3:00,3,G\r\n" + Line(1, 4, 4));
    CliRun second = RunCommand(args);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Lines(second.out).back(), "Lines: 2  inserted: 2  updated: 0  not written: 0  without time tag: 0");
    CliRun nothing = RunCommand(args);
    EXPECT_EQ(Lines(nothing.out).back(), "Lines: 0  inserted: 0  updated: 0  not written: 0  without time tag: 0");
    EXPECT_EQ(RowCount(), 4u);

    // Cut and begun again by the logger.
    WriteFile(log, Line(2, 1, 5));
    CliRun cut = RunCommand(args);
    EXPECT_EQ(
        Lines(cut.out),
        (std::vector<std::string>{
            "The log file became shorter since the last import, it is read again from the start - " + log + ".",
            "Import process completed..", "Lines: 1  inserted: 1  updated: 0  not written: 0  without time tag: 0"}));
    EXPECT_EQ(RowCount(), 5u);

    // A plain import is not incremental and leaves the positions alone.
    const std::string kept = testing::ReadFile(dir_.File("list.positions"));
    CliRun plain = RunCommand(Args({"import", log, "--list", dir_.File("list.sfg")}));
    EXPECT_EQ(Lines(plain.out).back(), "Lines: 1  inserted: 0  updated: 1  not written: 0  without time tag: 0");
    EXPECT_EQ(testing::ReadFile(dir_.File("list.positions")), kept);
}

TEST_P(FollowCommandsTest, ThePositionsFileIsCheckedBeforeAnythingIsWritten) {
    const std::string log = dir_.Write("a.log", Line(1, 1, 1));
    const std::string usage = "usage: vireo-import import";
    CliRun state = RunCommand(Args({"import", log, "--list", dir_.File("list.sfg"), "--state", dir_.File("s")}));
    EXPECT_EQ(state.status, 2);
    EXPECT_EQ(state.err.rfind("vireo-import import: --state goes with --incremental\n" + usage, 0), 0u) << state.err;

    CliRun noState = RunCommand(Args({"import", log, "--pair", "TEMP||ST01.TEMP", "--incremental"}));
    EXPECT_EQ(noState.status, 2);
    EXPECT_EQ(noState.err,
              "vireo-import import: the positions of the files need --state FILE when there is no --list\n");

    WriteFile(dir_.File("broken.positions"), "something else\n");
    CliRun broken = RunCommand(
        Args({"import", log, "--pair", "TEMP||ST01.TEMP", "--incremental", "--state", dir_.File("broken.positions")}));
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.err, "vireo-import import: " + dir_.File("broken.positions") +
                              ": line 1: not a positions file of vireo-import\n");

    {
        FollowStateLock held(dir_.File("list.positions"));
        CliRun locked = RunCommand(Args({"import", log, "--list", dir_.File("list.sfg"), "--incremental"}));
        EXPECT_EQ(locked.status, 2);
        EXPECT_EQ(locked.err, "vireo-import import: The positions file " + dir_.File("list.positions") +
                                  " is in use by another vireo-import (process " + std::to_string(::getpid()) + ")\n");
        CliRun watch = RunCommand(Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once"}));
        EXPECT_EQ(watch.status, 2);
        EXPECT_EQ(watch.err, "vireo-import watch: The positions file " + dir_.File("list.positions") +
                                 " is in use by another vireo-import (process " + std::to_string(::getpid()) + ")\n");
    }
    EXPECT_EQ(RowCount(), 0u);
}

TEST_P(FollowCommandsTest, OnePassOverAFolderImportsEachMatchingFileWithSeveralJobs) {
    for (int file = 0; file < 6; ++file) {
        std::string lines;
        for (int minute = 0; minute < 3; ++minute) lines += Line(file + 1, minute, file * 10 + minute);
        dir_.Write("logs/a" + std::to_string(file) + ".log", lines);
    }
    dir_.Write("logs/notes.txt", Line(20, 0, 1));
    const std::vector<std::string> args =
        Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once", "--jobs", "3"});
    CliRun first = RunCommand(args);
    EXPECT_EQ(first.status, 0) << first.err;
    const std::vector<std::string> lines = Lines(first.out);
    for (int file = 0; file < 6; ++file) {
        const std::string path = dir_.File("logs/a" + std::to_string(file) + ".log");
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             path + ": Lines: 3  inserted: 3  updated: 0  not written: 0  without time tag: 0"),
                  1)
            << first.out;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), path + ": Import process completed.."), 1) << first.out;
    }
    EXPECT_EQ(lines.size(), 12u) << first.out;
    EXPECT_EQ(RowCount(), 18u);

    testing::AppendFile(dir_.File("logs/a2.log"), Line(3, 30, 99));
    CliRun second = RunCommand(args);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Lines(second.out), (std::vector<std::string>{
                                     dir_.File("logs/a2.log") + ": Import process completed..",
                                     dir_.File("logs/a2.log") +
                                         ": Lines: 1  inserted: 1  updated: 0  not written: 0  without time tag: 0"}));
    EXPECT_EQ(RowCount(), 19u);
}

/// Four writers at once: PostgreSQL takes them together, SQLite one after the
/// other (its busy timeout); either way every value is a row.
TEST_P(FollowCommandsTest, FourJobsAtOnceLoseNothing) {
    for (int file = 0; file < 8; ++file) {
        std::string lines;
        for (int k = 0; k < 1500; ++k) {
            const int second = file * 1500 + k;
            char line[64];
            std::snprintf(line, sizeof line, "TEMP,07/%02d/2005,%02d:%02d:%02d,%d,G\r\n", 1 + second / 86400,
                          second / 3600 % 24, second / 60 % 60, second % 60, second);
            lines += line;
        }
        dir_.Write("logs/f" + std::to_string(file) + ".log", lines);
    }
    CliRun run =
        RunCommand(Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once", "--jobs", "4"}));
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find(": Lines: 1500  inserted: 1500  updated: 0  not written: 0") !=
                                       std::string::npos;
                            }),
              8)
        << run.out;
    EXPECT_EQ(RowCount(), 12000u);
    EXPECT_EQ(source_->Select("SELECT COUNT(DISTINCT ED_VALUE) FROM TF_DATA1")[0][0], "12000");
}

TEST_P(FollowCommandsTest, AFileThatFailsIsReportedAndTheOthersGoOn) {
    const std::string good = dir_.Write("logs/good.log", Line(1, 1, 1));
    const std::string fifo = dir_.File("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string later = dir_.File("later.log");
    const std::vector<std::string> args = Args({"watch", fifo, good, later, "--list", dir_.File("list.sfg"), "--once"});
    CliRun run = RunCommand(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, fifo + ": not a regular file\nvireo-import watch: " + later + ": no such file or folder\n");
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  later + ": Log file not found, it is looked for again at every pass.",
                                  good + ": Import process completed..",
                                  good + ": Lines: 1  inserted: 1  updated: 0  not written: 0  without time tag: 0"}));
    EXPECT_EQ(RowCount(), 1u);
    // The file named appears: the next pass takes it.
    WriteFile(later, Line(2, 1, 2));
    CliRun next = RunCommand(args);
    EXPECT_EQ(next.err, fifo + ": not a regular file\n");
    EXPECT_EQ(RowCount(), 2u);
}

TEST_P(FollowCommandsTest, AWatchedFolderPassesOverAFifoAndALinkOfAnotherUserWithAStatusLine) {
    if (::geteuid() != 0) GTEST_SKIP() << "a link of another user needs root";
    testing::MakeFolder(dir_.File("vault"), 0700, 0);
    const std::string secret = dir_.Write("vault/secret.log", Line(9, 9, 99));
    testing::MakeFolder(dir_.File("drop"), 01777, 0);
    const std::string link = dir_.File("drop/x.log");
    testing::PlantLink(secret, link, testing::NobodyUid());
    const std::string fifo = dir_.File("drop/f.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string good = dir_.Write("drop/good.log", Line(1, 1, 1));
    const std::string statusLog = dir_.File("s.log");
    const std::vector<std::string> args = Args({"watch", dir_.File("drop"), "--list", dir_.File("list.sfg"), "--once",
                                                "--details", "--status-log", statusLog});
    CliRun run = RunCommand(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RowCount(), 1u);
    const std::vector<std::string> lines = Lines(run.out);
    for (const std::string& told : {fifo + ": Log file skipped, not read - not a regular file.",
                                    link + ": Log file skipped, not read - the symbolic link " + link +
                                        " belongs to another user (nobody), it is not followed."})
        EXPECT_NE(std::find(lines.begin(), lines.end(), told), lines.end()) << told << "\n" << run.out;
    EXPECT_EQ(run.out.find("vault"), std::string::npos) << run.out;
    EXPECT_EQ(std::filesystem::status(statusLog).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(std::filesystem::status(dir_.File("list.positions")).permissions(), std::filesystem::perms(0600));
}

TEST_P(FollowCommandsTest, WatchChecksItsEntriesAndWhatOnePassWasGiven) {
    dir_.Write("logs/a.log", Line(1, 1, 1));
    WriteFile(dir_.File("bad.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP,TEMP||ST09.TEMP,TEMP=ST01.TEMP\n");
    const std::string nowhere = dir_.File("nowhere");
    struct Row {
        std::vector<std::string> args;
        std::string err;
    };
    const Row rows[] = {
        {{"watch", dir_.File("logs"), "--list", dir_.File("bad.sfg"), "--once"},
         "vireo-import watch: TEMP||ST09.TEMP: station ST09 is not an enabled station of the database\n"
         "vireo-import watch: TEMP=ST01.TEMP: not an import entry (LOG||STATION.SENSOR)\n"},
        {{"watch", dir_.File("logs"), "--list", dir_.File("bad.sfg")},
         "vireo-import watch: TEMP||ST09.TEMP: station ST09 is not an enabled station of the database\n"
         "vireo-import watch: TEMP=ST01.TEMP: not an import entry (LOG||STATION.SENSOR)\n"},
        {{"watch", nowhere, "--list", dir_.File("list.sfg"), "--once"},
         "vireo-import watch: " + nowhere + ": no such file or folder\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.err);
        const CliRun run = RunCommand(Args(row.args));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(RowCount(), 0u);
    }
}

TEST_P(FollowCommandsTest, BadWatchArgumentsGiveTheReason) {
    struct Row {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"watch", "logs"}, "usage: vireo-import watch"},
        {{"watch", "--list", "x.sfg"}, "usage: vireo-import watch"},
        {{"watch", "logs", "--list", "x.sfg", "--jobs", "0"},
         "vireo-import watch: --jobs takes a whole number from 1 to 64\n"},
        {{"watch", "logs", "--list", "x.sfg", "--jobs", "1.5"},
         "vireo-import watch: --jobs takes a whole number from 1 to 64\n"},
        {{"watch", "logs", "--list", "x.sfg", "--interval", "soon"},
         "vireo-import watch: --interval takes a number of seconds, at least 0.1\n"},
        {{"watch", "logs", "--list", "x.sfg", "--bogus"}, "vireo-import watch: unknown option '--bogus'\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.err);
        CliRun run = RunCommand(row.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
    }
}

/// Drops the trigger of TestDataSource::RefuseRowsOf.
void AcceptRowsAgain(const TestDataSource& source) {
    source.Execute(testing::IsPostgres(source.backend())
                       ? "DROP TRIGGER refuse_row ON TF_DATA1;\nDROP FUNCTION refuse_row();\n"
                       : "DROP TRIGGER refuse_insert;\nDROP TRIGGER refuse_update;\n");
}

/// A value the database refused holds its file's position: the next pass
/// reads it again although the file did not change, `--once` exits 3 while
/// it is not written, and writes it once the database takes it. Each row
/// a route: watch and import --incremental.
TEST_P(FollowCommandsTest, ARefusedValueIsTriedAgainWhileItsFileIsUnchanged) {
    WriteFile(dir_.File("two.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP,BATT||ST01.BATT\n");
    const std::string log =
        dir_.Write("logs/a.log", Line(1, 1, 1) + "BATT,06/01/2005,12:02:00,12.5,G\r\n" + Line(1, 3, 3));
    struct Route {
        const char* name;
        std::vector<std::string> args;
    } routes[] = {
        {"watch", Args({"watch", dir_.File("logs"), "--list", dir_.File("two.sfg"), "--once"})},
        {"import", Args({"import", log, "--list", dir_.File("two.sfg"), "--incremental", "--fast"})},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.name);
        source_->Execute("DELETE FROM TF_DATA1;\n");
        std::filesystem::remove(dir_.File("two.positions"));
        source_->RefuseRowsOf("BATT", "no batteries today");
        for (int pass = 0; pass < 2; ++pass) {
            const CliRun refused = RunCommand(route.args);
            EXPECT_EQ(refused.status, 3) << pass << refused.out << refused.err;
            EXPECT_NE(refused.out.find("not written: 1"), std::string::npos) << pass << refused.out;
        }
        EXPECT_EQ(RowCount(), 2u);
        AcceptRowsAgain(*source_);
        const CliRun written = RunCommand(route.args);
        EXPECT_EQ(written.status, 0) << written.out << written.err;
        EXPECT_EQ(source_->Select("SELECT ED_VALUE FROM TF_DATA1 WHERE SENSORNAME = 'BATT'").size(), 1u);
        EXPECT_EQ(RowCount(), 3u);
        // Written now: nothing is left to read.
        const CliRun after = RunCommand(route.args);
        EXPECT_EQ(after.status, 0);
        EXPECT_EQ(after.out.find("inserted: 1"), std::string::npos) << after.out;
    }
}

/// Lines of a name without a pair are passed over; a pair added to the list
/// later brings them in, the file read again from the start. --from-start
/// does the same on request.
TEST_P(FollowCommandsTest, APairAddedToTheListBringsTheEarlierLinesIn) {
    const std::string log = dir_.Write("logs/a.log", Line(1, 1, 1) + "BATT,06/01/2005,12:02:00,12.5,G\r\n");
    const std::vector<std::string> watch =
        Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once"});
    CliRun first = RunCommand(watch);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find(log + ": Lines: 2  inserted: 1  updated: 0  not written: 0  without time tag: 0  "
                                   "without a pair: 1\n"),
              std::string::npos)
        << first.out;
    EXPECT_EQ(RunCommand(watch).out, "");  // nothing new

    WriteFile(dir_.File("list.sfg"), "[Import]\nSensors=TEMP||ST01.TEMP,BATT||ST01.BATT\n");
    CliRun gained = RunCommand(watch);
    EXPECT_EQ(gained.status, 0) << gained.err;
    EXPECT_EQ(Lines(gained.out),
              (std::vector<std::string>{
                  log +
                      ": The import list changed since the last import (an entry was added or changed), the log "
                      "file is read again from the start - " +
                      log + ".",
                  log + ": Import process completed..",
                  log + ": Lines: 2  inserted: 1  updated: 1  not written: 0  without time tag: 0"}));
    EXPECT_EQ(source_->Select("SELECT ED_VALUE FROM TF_DATA1 WHERE SENSORNAME = 'BATT'").size(), 1u);
    EXPECT_EQ(RunCommand(watch).out, "");

    // Asked for: every value again, as updates; then on from the positions.
    for (const auto& args :
         {Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once", "--from-start"}),
          Args({"import", log, "--list", dir_.File("list.sfg"), "--incremental", "--from-start"})}) {
        CliRun again = RunCommand(args);
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.out.find("The log file is read again from the start, as asked - " + log + ".\n"),
                  std::string::npos)
            << again.out;
        EXPECT_NE(again.out.find("Lines: 2  inserted: 0  updated: 2  not written: 0"), std::string::npos) << again.out;
    }
    EXPECT_EQ(RunCommand(watch).out, "");
    EXPECT_EQ(RowCount(), 2u);
}

TEST_P(FollowCommandsTest, KeepEditsFollowsTheOptionsInWatch) {
    const std::string log = dir_.Write("logs/a.log", Line(1, 1, 22.4));
    const std::vector<std::string> watch =
        Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once"});
    ASSERT_EQ(RunCommand(watch).status, 0);
    source_->Execute("UPDATE TF_DATA1 SET ED_VALUE = 77, SOURCE = 'M';\n");
    std::vector<std::string> keep = watch;
    for (const char* extra : {"--from-start", "--keep-edits"}) keep.push_back(extra);
    CliRun kept = RunCommand(keep);
    EXPECT_EQ(kept.status, 0) << kept.err;
    EXPECT_NE(kept.out.find("Lines: 1  inserted: 0  updated: 0  not written: 0  without time tag: 0  kept: 1"),
              std::string::npos)
        << kept.out;
    EXPECT_EQ(source_->Select("SELECT ED_VALUE FROM TF_DATA1")[0][0].value_or("?").substr(0, 2), "77");
    keep.back() = "--no-keep-edits";
    EXPECT_EQ(RunCommand(keep).status, 0);
    EXPECT_EQ(source_->Select("SELECT ED_VALUE FROM TF_DATA1")[0][0].value_or("?").substr(0, 4), "22.4");
}

TEST_P(FollowCommandsTest, WatchWritesARejectsFileForEachLogFile) {
    std::filesystem::create_directory(dir_.File("rejects"));
    const std::string a = dir_.Write("logs/a.log", Line(1, 1, 1) + "BATT,06/01/2005,12:02:00,12.5,G\r\n");
    const std::string b = dir_.Write("logs/b.log", Line(2, 1, 1));
    const std::vector<std::string> watch = Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once",
                                                 "--rejects", dir_.File("rejects/rejects.csv")});
    ASSERT_EQ(RunCommand(watch).status, 0);
    testing::AppendFile(a, "TEMP,06/01/2005,12:03:00,n/a,G\r\n");
    ASSERT_EQ(RunCommand(watch).status, 0);
    const std::string rows = testing::ReadFile(dir_.File("rejects/rejects-a.log.csv"));
    EXPECT_EQ(rows,
              "line,reason,name,text\r\n"
              "2,\"no pair for that name\",\"BATT\",\"BATT,06/01/2005,12:02:00,12.5,G\"\r\n"
              "3,\"not a number\",\"TEMP\",\"TEMP,06/01/2005,12:03:00,n/a,G\"\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(dir_.File("rejects/rejects-a.log.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("rejects/rejects-b.log.csv")));  // nothing to say

    CliRun inFolder = RunCommand(Args({"watch", dir_.File("logs"), "--list", dir_.File("list.sfg"), "--once",
                                       "--rejects", dir_.File("logs/rejects.csv")}));
    EXPECT_EQ(inFolder.status, 2);
    EXPECT_EQ(inFolder.err, "vireo-import watch: the rejects files would lie in a followed folder - " +
                                dir_.File("logs/rejects.csv") + "\n");
}

INSTANTIATE_TEST_SUITE_P(Backends, FollowCommandsTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace vireo
