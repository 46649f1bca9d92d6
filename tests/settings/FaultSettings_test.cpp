// What the settings file and the status log do when their file misbehaves:
// locked by another program, made a folder or a FIFO, garbled, or on a full
// disk. The program goes on with clear messages, and what was on disk before
// stays there.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/Regional.h"
#include "settings/Encrypt.h"
#include "settings/Params.h"
#include "settings/ProfileFile.h"
#include "status/StatusMessages.h"
#include "support/FaultInjection.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestScopes.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using testing::FileNamesIn;
using testing::ReadFile;
using testing::SmallDisk;
using testing::StatusRecorder;
using testing::WriteFile;

constexpr const char* kOldSettings =
    "[Application]\r\nMaxDBFileSize=2097152\r\n[DataBase]\r\nDataSource=OLD\r\nUserName=ops\r\nPassword=b2xk\r\n";

const std::vector<std::string> kReadFailed{std::string(kReadSettingsFailed)};
const std::vector<std::string> kSaveFailed{std::string(kSaveSettingsFailed)};

AppSettings NewValues() {
    AppSettings values;
    values.FDataSource = "NEW";
    values.FUserName = "admin";
    values.FPassword = "bmV3";
    return values;
}

TEST(FaultSettings, FileLockedByAnotherProgramIsReadAndSavedWithoutWaiting) {
    testing::TempDir dir;
    const std::string path = dir.File("VireoImport.VFG");
    WriteFile(path, kOldSettings);
    testing::LockHolder lock(path);

    ProfileFile settings;
    AppSettings values;
    StatusRecorder sink;
    ASSERT_TRUE(LoadSettings(path, settings, values, sink));
    EXPECT_EQ(values.FDataSource, "OLD");
    EXPECT_TRUE(WriteSettings(settings, NewValues(), sink));
    EXPECT_EQ(ReadFile(path),
              "[Application]\r\nMaxDBFileSize=2097152\r\n[DataBase]\r\nDataSource=NEW\r\nUserName=admin\r\n"
              "Password=bmV3\r\n");
    EXPECT_TRUE(sink.messages.empty());
}

TEST(FaultSettings, FileMadeAFolderOrAFifoIsReportedAndNeverWaitedFor) {
    testing::TempDir dir;
    const std::string path = dir.File("VireoImport.VFG");
    {
        SCOPED_TRACE("a folder: it stays, and the save is refused");
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
        ProfileFile settings;
        AppSettings values;
        StatusRecorder sink;
        EXPECT_FALSE(LoadSettings(path, settings, values, sink));
        EXPECT_FALSE(WriteSettings(settings, NewValues(), sink));
        EXPECT_EQ(sink.messages, (std::vector<std::string>{kReadFailed[0], kSaveFailed[0]}));
        EXPECT_TRUE(fs::is_directory(path));
        EXPECT_EQ(FileNamesIn(dir.path().string()), (std::vector<std::string>{"VireoImport.VFG"}));
        ASSERT_EQ(::rmdir(path.c_str()), 0);
    }
    {
        SCOPED_TRACE("a FIFO without a writer: reported, then replaced by the saved file");
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        ProfileFile settings;
        AppSettings values;
        StatusRecorder sink;
        EXPECT_FALSE(LoadSettings(path, settings, values, sink));
        EXPECT_EQ(sink.messages, kReadFailed);
        EXPECT_EQ(values.FDataSource, "");
        EXPECT_TRUE(WriteSettings(settings, NewValues(), sink));
        ASSERT_TRUE(LoadSettings(path, settings, values, sink));
        EXPECT_EQ(values.FDataSource, "NEW");
    }
}

TEST(FaultSettings, GarbageWithoutZeroBytesIsTextAndKeepsTheWrittenValuesApart) {
    // Every byte but NUL, over and over: such a file is text. Whatever it holds,
    // the four values written afterwards read back exactly.
    std::string garbage;
    for (int round = 0; round < 8; ++round)
        for (int c = 1; c < 256; ++c) garbage.push_back(static_cast<char>((c * (round + 7)) % 255 + 1));
    testing::TempDir dir;
    const std::string path = dir.File("VireoImport.VFG");
    WriteFile(path, garbage);

    ProfileFile settings;
    AppSettings values;
    StatusRecorder sink;
    EXPECT_TRUE(LoadSettings(path, settings, values, sink));
    ASSERT_TRUE(WriteSettings(settings, NewValues(), sink));
    ProfileFile again;
    AppSettings read;
    ASSERT_TRUE(LoadSettings(path, again, read, sink));
    EXPECT_EQ(read.FDataSource, "NEW");
    EXPECT_EQ(read.FUserName, "admin");
    EXPECT_EQ(read.FPassword, "bmV3");
    EXPECT_EQ(read.FMaxDBFileSize, kDefaultMaxDBFileSize);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(FaultSettings, GarbledStoredPasswordReadsAsNoneAndIsKeptAsItWasStored) {
    // A stored form that is no Base64 of 30 protected bytes gives the empty
    // password (the login then asks or fails in the driver's words), and the
    // settings file keeps it byte for byte: nothing the user stored is lost.
    const std::vector<std::string> garbled = {
        "not base64 at all!",                        // no Base64
        ProtectForSettings("secret").substr(0, 36),  // cut short
        ProtectForSettings("secret") + "QUJD",       // 33 bytes
        "\x80\xff\x01=\x7f",                         // binary bytes
        std::string(100'000, 'A'),                   // very long
    };
    testing::TempDir dir;
    const std::string path = dir.File("VireoImport.VFG");
    for (const std::string& stored : garbled) {
        SCOPED_TRACE(stored.substr(0, 40));
        const std::string text = "[DataBase]\nDataSource=TARN\nUserName=ops\nPassword=" + stored + "\n";
        WriteFile(path, text);
        ProfileFile settings;
        AppSettings values;
        StatusRecorder sink;
        ASSERT_TRUE(LoadSettings(path, settings, values, sink));
        EXPECT_EQ(values.FPassword, stored);
        EXPECT_EQ(ClearFromSettings(values.FPassword), "");
        ASSERT_TRUE(WriteSettings(settings, values, sink));
        EXPECT_NE(ReadFile(path).find("\nPassword=" + stored + "\n"), std::string::npos);
        EXPECT_TRUE(sink.messages.empty());
    }
}

TEST(FaultSettings, SaveOnAFullDiskFailsWithError1003AndKeepsTheOldFile) {
    SmallDisk disk;
    const std::string path = disk.File("VireoImport.VFG");
    WriteFile(path, kOldSettings);
    ProfileFile settings;
    AppSettings values;
    StatusRecorder sink;
    ASSERT_TRUE(LoadSettings(path, settings, values, sink));

    disk.Fill();
    EXPECT_FALSE(WriteSettings(settings, NewValues(), sink));
    EXPECT_EQ(sink.messages, kSaveFailed);
    disk.Free();
    EXPECT_EQ(ReadFile(path), kOldSettings);
    EXPECT_EQ(FileNamesIn(disk.Path()), (std::vector<std::string>{"VireoImport.VFG"})) << "no temporary file is left";

    sink.messages.clear();
    EXPECT_TRUE(WriteSettings(settings, NewValues(), sink)) << "saved once there is room again";
    EXPECT_TRUE(sink.messages.empty());
    ASSERT_TRUE(LoadSettings(path, settings, values, sink));
    EXPECT_EQ(values.FDataSource, "NEW");
}

TEST(FaultSettings, StatusLogOnAFullDiskIsReportedOnceSwitchedOffAndKeepsItsLines) {
    const testing::RegionalScope regional(RegionalSettings{});
    const testing::ClockScope clock(StampOf(2005, 6, 15, 12, 30, 5));

    SmallDisk disk;
    const std::string path = disk.File("status.log");
    std::vector<std::string> shown;
    int stopped = 0;
    StatusMessenger messenger([&shown](const std::string& line) { shown.push_back(line); });
    messenger.SetLogStoppedHandler([&stopped] { ++stopped; });
    messenger.SetLogFileName(path);
    messenger.SetLogToFile(true);
    messenger.AddStatusMessage("Reading - before the disk filled");

    disk.Fill();
    // The log's last block may still take a line or two: write until it fails.
    int sent = 0;
    while (messenger.LogToFile() && sent < 1000) messenger.AddStatusMessage("Value " + std::to_string(++sent));
    ASSERT_FALSE(messenger.LogToFile());
    messenger.AddStatusMessage("Import process completed.");
    disk.Free();

    const std::string failure = "06/15/2005 12:30:05    ERROR: Unable to write status message to " + path + ".";
    EXPECT_EQ(std::count(shown.begin(), shown.end(), failure), 1);
    EXPECT_EQ(stopped, 1);
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(sent) + 3);
    EXPECT_EQ(shown[shown.size() - 2], failure);
    EXPECT_EQ(shown.back(), "06/15/2005 12:30:05    Import process completed..");

    // The log holds the lines shown before the failure, in order and whole;
    // at most the failing line is cut short.
    std::string whole;  // the lines written while the log worked
    for (int i = 0; i < sent; ++i) whole += shown[static_cast<std::size_t>(i)] + "\r\n";
    const std::string failing = shown[static_cast<std::size_t>(sent)] + "\r\n";
    const std::string log = ReadFile(path);
    ASSERT_GE(log.size(), whole.size());
    EXPECT_EQ(log.substr(0, whole.size()), whole);
    EXPECT_EQ(log.substr(whole.size()), failing.substr(0, log.size() - whole.size()));
}

}  // namespace
}  // namespace vireo
