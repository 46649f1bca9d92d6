#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "logfile/MixedLogFile.h"
#include "support/TempDir.h"

namespace vireo::cli {
namespace {

using testing::CliRun;

CliRun Sensors(const std::vector<std::string>& args) { return testing::RunCommand("sensors", args); }

TEST(SensorsCommand, ListsTheNamesOfAMixedFile) {
    testing::TempDir folder;
    const CliRun run = Sensors({folder.Write("mixed.log", testing::MixedLogBytes())});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, testing::kMixedLogSensors);
}

TEST(SensorsCommand, PrnHeadingNamesTheSensors) {
    testing::TempDir folder;
    const std::string lines = "\"DATE\" \"TIME\" \"STAGE\" \"BATT\"\r\n06/15/2005 12:30:00 1.5 12.9 7\r\n";
    EXPECT_EQ(Sensors({folder.Write("station.prn", lines)}).out, "BATT\nSTAGE\n");
    EXPECT_EQ(Sensors({folder.Write("station.log", lines)}).out, "0:1\n0:2\n0:3\n");
}

TEST(SensorsCommand, ALogFileThatCannotBeReadIsNamedWithTheReasonAndStatusTwo) {
    testing::TempDir folder;
    struct Row {
        std::string path;
        std::string reason;
    };
    const Row rows[] = {
        {folder.File("none.log"), folder.File("none.log") + ": no such file"},
        {folder.File("none/x.log"), folder.File("none/x.log") + ": no such file"},
        {"", "no log file named"},
        {folder.path().string(), folder.path().string() + ": a folder, not a file"},
    };
    for (const Row& row : rows) {
        for (const std::string command : {"sensors", "values", "summary"}) {
            SCOPED_TRACE(command + " [" + row.path + "]");
            const CliRun run = testing::RunCommand(command, {row.path});
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err,
                      "Error 106: Please enter a file name\nvireo-import " + command + ": " + row.reason + "\n");
        }
    }
}

TEST(SensorsCommand, HelpAndBadArguments) {
    const CliRun help = Sensors({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: vireo-import sensors LOGFILE\n", 0), 0u) << help.out;

    const std::vector<std::vector<std::string>> bad = {{}, {"a.log", "b.log"}, {"--verbose"}};
    for (const auto& args : bad) {
        const CliRun run = Sensors(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: vireo-import sensors LOGFILE\n"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace vireo::cli
