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

CliRun Values(const std::vector<std::string>& args) { return testing::RunCommand("values", args); }

TEST(ValuesCommand, PrintsEveryValueOfAMixedFile) {
    testing::TempDir folder;
    const CliRun run = Values({folder.Write("mixed.log", testing::MixedLogBytes())});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, testing::kMixedLogValues);
}

TEST(ValuesCommand, PrnHeadingsNameTheValueColumns) {
    testing::TempDir folder;
    const std::string lines =
        "06/15/2005 12:29:00 1.4\r\n"
        "\"Date\" \"Time\" \"Stage\" \"Batt\"\r\n"
        "06/15/2005 12:30:00 1.5 12.9 7\r\n"
        "; a comment\r\n"
        "06/15/2005 12:31:00 1.6 n/a 8\r\n"
        "06/15/2005,12:32:00,ST01,1\r\n"
        "\"DATE\" \"TIME\" \"LEVEL\"\r\n"
        "06/15/2005 12:33:00 1.7 13\r\n";
    EXPECT_EQ(Values({folder.Write("station.PRN", lines)}).out,
              "0:1\t2005-06-15 12:29:00\t1.4\n"
              "Stage\t2005-06-15 12:30:00\t1.5\n"
              "Batt\t2005-06-15 12:30:00\t12.9\n"
              "0:3\t2005-06-15 12:30:00\t7\n"
              "Stage\t2005-06-15 12:31:00\t1.6\n"
              "0:3\t2005-06-15 12:31:00\t8\n"
              "ST01:1\t2005-06-15 12:32:00\t1\n"
              "LEVEL\t2005-06-15 12:33:00\t1.7\n"
              "0:2\t2005-06-15 12:33:00\t13\n");
    // Outside a .PRN file the heading line is a comment like any other.
    EXPECT_EQ(Values({folder.Write("station.log", lines)}).out,
              "0:1\t2005-06-15 12:29:00\t1.4\n"
              "0:1\t2005-06-15 12:30:00\t1.5\n"
              "0:2\t2005-06-15 12:30:00\t12.9\n"
              "0:3\t2005-06-15 12:30:00\t7\n"
              "0:1\t2005-06-15 12:31:00\t1.6\n"
              "0:3\t2005-06-15 12:31:00\t8\n"
              "ST01:1\t2005-06-15 12:32:00\t1\n"
              "0:1\t2005-06-15 12:33:00\t1.7\n"
              "0:2\t2005-06-15 12:33:00\t13\n");
}

TEST(ValuesCommand, ImpossibleDatesAndNumbersOutOfRangeAreLeftOut) {
    testing::TempDir folder;
    const CliRun run = Values({folder.Write("bad.log",
                                            "TEMP,02/30/2005,12:00:00,99,G\n"
                                            "TEMP,13/45/2005,12:00:00,99,G\n"
                                            "TEMP,06/14/2005,25:61:61,99,G\n"
                                            "TEMP,06/15/2005,10:0x:00,99,G\n"
                                            "-06/15/2005,10:00:00,ST01,99\n"
                                            "06/15/2005,-10:00:00,ST01,99\n"
                                            "99999999999/15/2005,10:00:00,ST01,99\n"
                                            "06/15/2140 09:30:00 99\n"
                                            "TEMP,06/15/2005,12:30:00,1e309,G\n"
                                            "06/15/2005 12:30:00 -1e309 2\n"
                                            "TEMP,02/28/2005,23:59:59,1,G\n"
                                            "06/15/2005,,ST01,2\n")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "0:2\t2005-06-15 12:30:00\t2\n"
              "TEMP\t2005-02-28 23:59:59\t1\n"
              "ST01:1\t2005-06-15 00:00:00\t2\n");
}

TEST(ValuesCommand, CarriageReturnsAloneEndLines) {
    testing::TempDir folder;
    const CliRun run = Values({folder.Write(
        "cr.log", "TEMP,06/15/2005,12:30:00,1,G\rTEMP,06/15/2005,12:31:00,2,G\r\r06/15/2005 12:32:00 3\r")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "TEMP\t2005-06-15 12:30:00\t1\n"
              "TEMP\t2005-06-15 12:31:00\t2\n"
              "0:1\t2005-06-15 12:32:00\t3\n");
}

TEST(ValuesCommand, ShortestRoundTripValuesAndDayChanges) {
    testing::TempDir folder;
    const CliRun run = Values(
        {folder.Write("d.log",
                      "A,12/31/2005,23:59:59,0.1,G\nA,01/01/2006,00:00:00,1e21,G\nA,02/29/2008,00:00:01,  -3.25E-5,G\n"
                      "A,01/01/1985,00:00:00,1,G\nA,12/31/1984,23:59:59,1,G\n")});
    EXPECT_EQ(run.out,
              "A\t2005-12-31 23:59:59\t0.1\n"
              "A\t2006-01-01 00:00:00\t1e+21\n"
              "A\t2008-02-29 00:00:01\t-3.25e-05\n"
              "A\t1985-01-01 00:00:00\t1\n");
}

TEST(ValuesCommand, MissingAndUnreadableFiles) {
    testing::TempDir folder;
    const CliRun missing = Values({(folder.path() / "none.log").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "Error 106: Please enter a file name\nvireo-import values: " +
                               (folder.path() / "none.log").string() + ": no such file\n");
}

TEST(ValuesCommand, HelpAndBadArguments) {
    const CliRun help = Values({"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: vireo-import values LOGFILE\n", 0), 0u) << help.out;

    const std::vector<std::vector<std::string>> bad = {{}, {"a.log", "--help"}, {"-x"}};
    for (const auto& args : bad) {
        const CliRun run = Values(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: vireo-import values LOGFILE\n"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace vireo::cli
