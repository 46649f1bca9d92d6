#include "settings/Params.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

class RecordingSink : public StatusSink {
public:
    void AddStatusMessage(const std::string& text) override { messages.push_back(text); }
    bool ShowDetails() const override { return false; }
    std::vector<std::string> messages;
};

class ParamsTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = (folder_ / "VireoImport.VFG").string(); }
    void WriteSettingsFile(const std::string& content) const { std::ofstream(path_, std::ios::binary) << content; }
    std::string SettingsFileText() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    testing::TempDir temp_{"vireo-params"};
    fs::path folder_ = temp_.path();
    std::string path_;
    ProfileFile settings_;
    AppSettings values_;
    RecordingSink sink_;
};

const std::vector<std::string> kReadFailed{"Error 1002: Unable to read application settings"};
const std::vector<std::string> kSaveFailed{"Error 1003: Unable to save application settings"};

TEST_F(ParamsTest, NoSettingsFileGivesTheDefaultsAndTheFirstWriteCreatesIt) {
    EXPECT_TRUE(LoadSettings(path_, settings_, values_, sink_));
    EXPECT_EQ(values_.FDataSource, "");
    EXPECT_EQ(values_.FUserName, "");
    EXPECT_EQ(values_.FPassword, "");
    EXPECT_EQ(values_.FMaxDBFileSize, 2097152);
    EXPECT_TRUE(sink_.messages.empty());

    values_.FDataSource = "TARNFOLD";
    values_.FUserName = "admin";
    values_.FPassword = "AbCdEfGhIjKlMnOpQrStUvWxYz0123456789+/ab";
    EXPECT_TRUE(WriteSettings(settings_, values_, sink_));
    EXPECT_EQ(SettingsFileText(),
              "[Application]\n"
              "MaxDBFileSize=2097152\n"
              "[DataBase]\n"
              "DataSource=TARNFOLD\n"
              "UserName=admin\n"
              "Password=AbCdEfGhIjKlMnOpQrStUvWxYz0123456789+/ab\n");
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(ParamsTest, ALargerSizeLimitIsUsedForTheRunAndWrittenBackAs2097152KeepingOtherValues) {
    WriteSettingsFile(
        "[database]\n"
        "datasource=TARN\n"
        "username=ops\n"
        "password=kept as it is\n"
        "[Application]\n"
        "MaxDBFileSize=4194304\n"
        "FastImport=1\n"
        "[Window]\n"
        "Left=10\n");
    EXPECT_TRUE(LoadSettings(path_, settings_, values_, sink_));
    EXPECT_EQ(values_.FDataSource, "TARN");
    EXPECT_EQ(values_.FUserName, "ops");
    EXPECT_EQ(values_.FPassword, "kept as it is");
    EXPECT_EQ(values_.FMaxDBFileSize, 4194304);

    EXPECT_TRUE(WriteSettings(settings_, values_, sink_));
    EXPECT_EQ(SettingsFileText(),
              "[database]\n"
              "datasource=TARN\n"
              "username=ops\n"
              "password=kept as it is\n"
              "[Application]\n"
              "MaxDBFileSize=2097152\n"
              "FastImport=1\n"
              "[Window]\n"
              "Left=10\n");
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(ParamsTest, SizeLimitReadsHexadecimalAndFallsBackToTheDefaultForOtherText) {
    const std::pair<const char*, std::int64_t> rows[] = {
        {"0x400000", 4194304}, {"1048576", 1048576}, {"lots", 2097152}, {"", 2097152}};
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        WriteSettingsFile(std::string("[Application]\nMaxDBFileSize=") + text + "\n");
        AppSettings values;
        EXPECT_TRUE(LoadSettings(path_, settings_, values, sink_));
        EXPECT_EQ(values.FMaxDBFileSize, expected);
    }
}

TEST_F(ParamsTest, UnreadableSettingsFileReportsOnceAndLeavesTheDefaults) {
    struct Row {
        const char* what;
        void (*make)(const std::string& path);
    };
    const Row rows[] = {
        {"a folder", [](const std::string& path) { fs::create_directory(path); }},
        {"binary data",
         [](const std::string& path) {
             std::ofstream(path, std::ios::binary) << std::string("[DataBase]\nDataSource=X\n\x00\x9f\x01", 27);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        row.make(path_);
        AppSettings values;
        values.FDataSource = "stale";
        values.FMaxDBFileSize = 0;
        RecordingSink sink;
        EXPECT_FALSE(LoadSettings(path_, settings_, values, sink));
        EXPECT_EQ(sink.messages, kReadFailed);
        EXPECT_EQ(values.FDataSource, "");
        EXPECT_EQ(values.FMaxDBFileSize, 2097152);
        EXPECT_EQ(settings_.Path(), path_);
    }
}

TEST_F(ParamsTest, SettingsFileOfBinaryDataIsReplacedByTheNextWrite) {
    std::ofstream(path_, std::ios::binary) << std::string("\x00\x01garbage", 9);
    EXPECT_FALSE(LoadSettings(path_, settings_, values_, sink_));
    values_.FDataSource = "NEW";
    EXPECT_TRUE(WriteSettings(settings_, values_, sink_));
    EXPECT_EQ(SettingsFileText(),
              "[Application]\nMaxDBFileSize=2097152\n[DataBase]\nDataSource=NEW\nUserName=\nPassword=\n");
}

TEST_F(ParamsTest, TruncatedSettingsFileReadsTheValuesItStillHolds) {
    WriteSettingsFile("[DataBase]\nDataSource=TARN\nUserName=op");
    EXPECT_TRUE(LoadSettings(path_, settings_, values_, sink_));
    EXPECT_EQ(values_.FDataSource, "TARN");
    EXPECT_EQ(values_.FUserName, "op");
    EXPECT_EQ(values_.FMaxDBFileSize, 2097152);

    WriteSettingsFile("[DataBase]\nDataSource=TARN\n[Applica");
    EXPECT_TRUE(LoadSettings(path_, settings_, values_, sink_));
    EXPECT_EQ(values_.FDataSource, "TARN");
    EXPECT_EQ(values_.FUserName, "");
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(ParamsTest, WriteThatFailsReportsAndKeepsTheOldFile) {
    WriteSettingsFile("[DataBase]\nDataSource=OLD\n");
    ASSERT_TRUE(LoadSettings(path_, settings_, values_, sink_));

    // A data source name with a line break would inject a line into the file.
    values_.FDataSource = "BAD\n[Application]";
    EXPECT_FALSE(WriteSettings(settings_, values_, sink_));
    EXPECT_EQ(sink_.messages, kSaveFailed);
    EXPECT_EQ(SettingsFileText(), "[DataBase]\nDataSource=OLD\n");

    sink_.messages.clear();
    ProfileFile elsewhere;
    elsewhere.SetPath((folder_ / "missing" / "VireoImport.VFG").string());
    EXPECT_FALSE(WriteSettings(elsewhere, AppSettings{}, sink_));
    EXPECT_EQ(sink_.messages, kSaveFailed);
    EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

TEST_F(ParamsTest, SettingsAndHelpFilesAreNamedAfterTheExecutable) {
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/vireo/vireo-import", "/opt/vireo/vireo-import.VFG"},
        {"/opt/vireo/VireoImport.exe", "/opt/vireo/VireoImport.VFG"},
        {"/opt/v1.2/VireoImport", "/opt/v1.2/VireoImport.VFG"},
        {"VireoImport", "VireoImport.VFG"},
        {"/opt/.hidden", "/opt/.hidden.VFG"},
    };
    for (const auto& [executable, expected] : rows) EXPECT_EQ(SettingsPathFor(executable), expected);
    EXPECT_EQ(HelpPathFor("/opt/vireo/VireoImport.exe", ".CHM"), "/opt/vireo/VireoImport.CHM");
    EXPECT_EQ(HelpPathFor("/opt/vireo/VireoImport", ".html"), "/opt/vireo/VireoImport.html");
}

TEST_F(ParamsTest, ExecutablePathNamesThisTestProgram) {
    const std::string path = ExecutablePath();
    EXPECT_TRUE(fs::path(path).is_absolute()) << path;
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
    EXPECT_EQ(fs::path(path).filename().string().rfind("test_settings", 0), 0u) << path;
}

/// A setting the file holds only once it was chosen: the keys it adds then,
/// and whether the choice reads back. Once there, a key keeps the choice
/// either way (`undo`, when given, and the line it leaves).
struct WrittenOnceCase {
    const char* name;
    void (*choose)(AppSettings&);
    const char* written;
    bool (*readBack)(const AppSettings&);
    void (*undo)(AppSettings&) = nullptr;
    const char* undone = nullptr;
};

const WrittenOnceCase kWrittenOnce[] = {
    {"TimeZones",
     [](AppSettings& v) {
         v.FLogTimeZone = "Europe/Berlin";
         v.FDatabaseTimeZone = "UTC";
     },
     "LogTimeZone=Europe/Berlin\nDatabaseTimeZone=UTC\n",
     [](const AppSettings& v) { return v.FLogTimeZone == "Europe/Berlin" && v.FDatabaseTimeZone == "UTC"; }},
    {"LastLogFolder", [](AppSettings& v) { v.FLastLogFolder = "/data/logs; 2005"; }, "LastLogFolder=/data/logs; 2005\n",
     [](const AppSettings& v) { return v.FLastLogFolder == "/data/logs; 2005"; }},
    {"FastImport", [](AppSettings& v) { v.FFastImport = true; }, "FastImport=1\n",
     [](const AppSettings& v) { return v.FFastImport; }, [](AppSettings& v) { v.FFastImport = false; },
     "FastImport=0\n"},
    {"BulkImport", [](AppSettings& v) { v.FBulkImport = false; }, "BulkImport=0\n",
     [](const AppSettings& v) { return !v.FBulkImport; }},
};

TEST(SettingsWrittenOnce, AreAbsentUntilChosenAndReadBackAfter) {
    const std::string head = "[DataBase]\nDataSource=TARN\n[Application]\nMaxDBFileSize=2097152\n";
    const std::string written =
        "[DataBase]\nDataSource=TARN\nUserName=\nPassword=\n[Application]\nMaxDBFileSize=2097152\n";
    for (const WrittenOnceCase& c : kWrittenOnce) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::StatusRecorder sink;
        const std::string path = dir.File("a.VFG");
        testing::WriteFile(path, head);
        ProfileFile file;
        AppSettings values;
        ASSERT_TRUE(LoadSettings(path, file, values, sink));
        EXPECT_FALSE(c.readBack(values)) << "not the default";
        ASSERT_TRUE(WriteSettings(file, values, sink));
        EXPECT_EQ(testing::ReadFile(path), written);

        c.choose(values);
        ASSERT_TRUE(WriteSettings(file, values, sink));
        EXPECT_EQ(testing::ReadFile(path), written + c.written);
        AppSettings again;
        ProfileFile reread;
        ASSERT_TRUE(LoadSettings(path, reread, again, sink));
        EXPECT_TRUE(c.readBack(again));
        if (c.undo != nullptr) {
            c.undo(again);
            ASSERT_TRUE(WriteSettings(reread, again, sink));
            EXPECT_EQ(testing::ReadFile(path), written + c.undone);
        }
        EXPECT_TRUE(sink.messages.empty());
    }
}

}  // namespace
}  // namespace vireo
