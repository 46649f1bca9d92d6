#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "support/TempDir.h"

namespace vireo::cli {
namespace {

using testing::CliRun;
using testing::TempDir;

CliRun Summary(const std::vector<std::string>& args) { return testing::RunCommand("summary", args); }

/// TEMP a minute apart with a gap of an hour and one refused value; BATT once;
/// HUM never a number.
const std::vector<std::string> kLines = {
    "TEMP,06/15/2005,12:30:00,20.5,G", "TEMP,06/15/2005,12:31:00,21,G", "BATT,06/15/2005,12:31:00,12.75,G",
    "TEMP,06/15/2005,12:32:00,n/a,G",  "TEMP,06/15/2005,12:33:00,-4,G", "TEMP,06/15/2005,13:33:00,22,G",
    "HUM,06/15/2005,13:33:00,\"x\",G", "TEMP,06/15/2005,13:34:00,23,G",
};

TEST(SummaryCommand, PrintsTheTableOfEveryName) {
    TempDir folder;
    const CliRun run = Summary({folder.WriteLines("day.log", kLines)});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "NAME  COUNT  FIRST                LAST                 MIN    MAX    MEDIAN INTERVAL  GAPS  REFUSED\n"
              "BATT  1      2005-06-15 12:31:00  2005-06-15 12:31:00  12.75  12.75  -                0     0\n"
              "HUM   0      -                    -                    -      -      -                0     1\n"
              "TEMP  5      2005-06-15 12:30:00  2005-06-15 13:34:00  -4     23     00:01:00         1     1\n"
              "HUM: line 7: not a number: '\"x\"'\n"
              "TEMP: gap from 2005-06-15 12:33:00 to 2005-06-15 13:33:00 (01:00:00)\n"
              "TEMP: line 4: not a number: 'n/a'\n");
}

TEST(SummaryCommand, PairsChooseTheNamesInTheirOrder) {
    TempDir folder;
    const CliRun run =
        Summary({folder.WriteLines("day.log", kLines), "--pair", "temp||ST01.AIR", "--pair", "NONE||ST01.X"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "NAME  COUNT  FIRST                LAST                 MIN  MAX  MEDIAN INTERVAL  GAPS  REFUSED\n"
              "temp  5      2005-06-15 12:30:00  2005-06-15 13:34:00  -4   23   00:01:00         1     1\n"
              "NONE  0      -                    -                    -    -    -                0     0\n"
              "temp: gap from 2005-06-15 12:33:00 to 2005-06-15 13:33:00 (01:00:00)\n"
              "temp: line 4: not a number: 'n/a'\n");
}

TEST(SummaryCommand, Json) {
    TempDir folder;
    const std::string path = folder.WriteLines("day.log", kLines);
    const CliRun run = Summary({path, "--format", "json", "--pair", "TEMP||ST01.AIR", "--pair", "HUM||ST01.H"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "{\"file\": \"" + path +
                  "\", \"size\": 254, \"sensors\": [\n"
                  "  {\"name\": \"TEMP\", \"count\": 5, \"first\": \"2005-06-15 12:30:00\", \"last\": "
                  "\"2005-06-15 13:34:00\", \"min\": -4, \"max\": 23, \"medianInterval\": 60, \"stepsBack\": 0,\n"
                  "   \"gaps\": [{\"from\": \"2005-06-15 12:33:00\", \"to\": \"2005-06-15 13:33:00\", "
                  "\"seconds\": 3600}],\n"
                  "   \"refusedCount\": 1, \"refused\": [{\"line\": 4, \"reason\": \"not a number\", "
                  "\"text\": \"n/a\", \"timeTag\": \"2005-06-15 12:32:00\"}]},\n"
                  "  {\"name\": \"HUM\", \"count\": 0, \"first\": null, \"last\": null, \"min\": null, "
                  "\"max\": null, \"medianInterval\": null, \"stepsBack\": 0,\n"
                  "   \"gaps\": [],\n"
                  "   \"refusedCount\": 1, \"refused\": [{\"line\": 7, \"reason\": \"not a number\", "
                  "\"text\": \"\\\"x\\\"\", \"timeTag\": \"2005-06-15 13:33:00\"}]}\n"
                  "]}\n");
}

TEST(SummaryCommand, LogTextsAreWindows1252TheTableKeepsTheirBytesJsonGivesUtf8) {
    TempDir folder;
    const std::string name =
        "T\xb0"
        "C";                               // T°C in Windows-1252
    const std::string plusMinus = "\xb1";  // ± in Windows-1252
    const std::string path = folder.WriteLines(
        "degrees.log", {name + ",06/15/2005,12:30:00,21.5,G", name + ",06/15/2005,12:31:00," + plusMinus + "1,G"});
    EXPECT_EQ(Summary({path}).out,
              "NAME  COUNT  FIRST                LAST                 MIN   MAX   MEDIAN INTERVAL  GAPS  REFUSED\n" +
                  name + "   1      2005-06-15 12:30:00  2005-06-15 12:30:00  21.5  21.5  -                0     1\n" +
                  name + ": line 2: not a number: '" + plusMinus + "1'\n");
    const std::string json = Summary({path, "--format", "json"}).out;
    EXPECT_NE(json.find("\"name\": \"T\u00b0C\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"text\": \"\u00b11\""), std::string::npos) << json;
}

TEST(SummaryCommand, AnEmptyFile) {
    TempDir folder;
    const std::string path = folder.Write("empty.log", "");
    EXPECT_EQ(Summary({path}).out,
              "NAME  COUNT  FIRST  LAST  MIN  MAX  MEDIAN INTERVAL  GAPS  REFUSED\n"
              "No sensor values in the log file.\n");
    EXPECT_EQ(Summary({path, "--format", "json"}).out, "{\"file\": \"" + path + "\", \"size\": 0, \"sensors\": []}\n");
}

TEST(SummaryCommand, BadArgumentsAreRefusedWithTheirReason) {
    TempDir folder;
    const std::string path = folder.WriteLines("day.log", kLines);
    const std::string usage =
        "usage: vireo-import summary LOGFILE [--pair \"LOG||STATION.SENSOR\" ...] [--format table|json]\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, usage},
        {{path, path}, usage},
        {{path, "--format", "xml"}, "vireo-import summary: unknown format 'xml' (table or json)\n"},
        {{path, "--pair", "TEMP"}, "vireo-import summary: 'TEMP' is not an import entry (LOG||STATION.SENSOR)\n"},
        {{folder.File("missing.log")},
         "Error 106: Please enter a file name\nvireo-import summary: " + folder.File("missing.log") +
             ": no such file\n"},
        {{path, "--pair", " TEMP||ST01.AIR"},
         "vireo-import summary: ' TEMP||ST01.AIR' is not an import entry (LOG||STATION.SENSOR)\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = Summary(c.args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.err, c.err) << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.out, "");
    }
    const CliRun unknown = Summary({path, "--since", "x"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("vireo-import summary: ", 0), 0u) << unknown.err;
}

TEST(SummaryCommand, AFileThatCannotBeReadGivesTheSystemsWords) {
    TempDir folder;
    const std::string path = folder.Write("locked.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    ::chmod(path.c_str(), 0);
    if (::access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "the superuser reads any file";
    const CliRun run = Summary({path});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "Error 106: Please enter a file name\nvireo-import summary: " + path + ": no permission to read it\n");
}

TEST(SummaryCommand, Help) {
    const CliRun run = Summary({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: vireo-import summary LOGFILE", 0), 0u);
}

}  // namespace
}  // namespace vireo::cli
