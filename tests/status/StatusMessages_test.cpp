#include "status/StatusMessages.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "scan/Regional.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

/// Month/day/year, 24-hour time, and a clock stopped at a known moment.
class StatusMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedRegional_ = Regional();
        SetRegional(RegionalSettings{});
        SetClockForTesting([this] { return now_; });
    }
    void TearDown() override {
        SetClockForTesting({});
        SetRegional(savedRegional_);
    }

    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    RegionalSettings savedRegional_;
    SecondStamp now_ = StampOf(2005, 6, 15, 12, 30, 5);
    testing::TempDir temp_{"vireo-status"};
    fs::path folder_ = temp_.path();
};

TEST_F(StatusMessagesTest, LineIsTimeTextFourBlanksTextAndAlwaysAFullStop) {
    const std::pair<const char*, const char*> rows[] = {
        {"Reading - C:\\logs\\a.log", "06/15/2005 12:30:05    Reading - C:\\logs\\a.log."},
        {"Import process completed.", "06/15/2005 12:30:05    Import process completed.."},
        {"", "06/15/2005 12:30:05    ."},
        {"  caf\xE9  ", "06/15/2005 12:30:05      caf\xE9  ."},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(StatusLineText(text), expected);
    }
}

TEST_F(StatusMessagesTest, LineFollowsTheRegionalFormatsAndLeavesOutMidnight) {
    EXPECT_EQ(StatusLineText("x", StampOf(2005, 6, 15, 0, 0, 0)), "06/15/2005    x.");
    EXPECT_EQ(StatusLineText("x", StampOf(2005, 6, 15, 0, 0, 1)), "06/15/2005 00:00:01    x.");

    RegionalSettings german;
    german.dateSeparator = '.';
    german.shortDateFormat = "%d.%m.%Y";
    SetRegional(german);
    EXPECT_EQ(StatusLineText("x"), "15.06.2005 12:30:05    x.");
}

TEST_F(StatusMessagesTest, ListIsTrimmedTo511LinesOnceItHolds640) {
    const std::pair<std::size_t, std::size_t> rows[] = {{0, 0},     {1, 1},     {511, 511}, {512, 512},
                                                        {639, 639}, {640, 511}, {641, 511}, {100000, 511}};
    for (const auto& [count, expected] : rows) EXPECT_EQ(LinesAfterTrim(count), expected) << count;

    // The window's list: trim, then insert the new line on top.
    std::deque<int> list;
    const auto add = [&list](int line) {
        list.resize(LinesAfterTrim(list.size()));
        list.push_front(line);
    };
    for (int line = 1; line <= 640; ++line) add(line);
    EXPECT_EQ(list.size(), 640u);
    add(641);
    EXPECT_EQ(list.size(), 512u);
    EXPECT_EQ(list.front(), 641);
    EXPECT_EQ(list.back(), 641 - 511);  // the oldest lines went
}

TEST_F(StatusMessagesTest, LogCreatesTheFileAndAppendsEachLineWithCarriageReturnAndLineFeed) {
    const std::string path = PathOf("status.log");
    EXPECT_TRUE(AppendStatusLog(path, "first"));
    EXPECT_TRUE(AppendStatusLog(path, "caf\xE9"));
    EXPECT_TRUE(AppendStatusLog(path, ""));
    EXPECT_EQ(ReadFile(path), "first\r\ncaf\xE9\r\n\r\n");

    EXPECT_FALSE(AppendStatusLog(PathOf("missing/status.log"), "x"));
    EXPECT_FALSE(AppendStatusLog(folder_.string(), "x"));
    EXPECT_FALSE(AppendStatusLog("", "x"));
}

TEST_F(StatusMessagesTest, MessengerGivesTheSameLineToTheOutputAndTheLog) {
    std::vector<std::string> shown;
    StatusMessenger messenger([&shown](const std::string& line) { shown.push_back(line); });
    messenger.AddStatusMessage("not logged");
    messenger.SetLogFileName(PathOf("status.log"));
    messenger.SetLogToFile(true);
    messenger.AddStatusMessage("one");
    now_ += 61;
    messenger.AddStatusMessage("two");
    messenger.SetLogToFile(false);
    messenger.AddStatusMessage("off again");

    EXPECT_EQ(shown, (std::vector<std::string>{"06/15/2005 12:30:05    not logged.", "06/15/2005 12:30:05    one.",
                                               "06/15/2005 12:31:06    two.", "06/15/2005 12:31:06    off again."}));
    EXPECT_EQ(ReadFile(PathOf("status.log")), "06/15/2005 12:30:05    one.\r\n06/15/2005 12:31:06    two.\r\n");
    EXPECT_EQ(messenger.LogFileName(), PathOf("status.log"));  // kept while off
}

TEST_F(StatusMessagesTest, FailingLogIsReportedOnceAndThenSwitchedOff) {
    std::vector<std::string> shown;
    int stopped = 0;
    StatusMessenger messenger([&shown](const std::string& line) { shown.push_back(line); });
    messenger.SetLogStoppedHandler([&stopped] { ++stopped; });
    const std::string path = PathOf("missing/status.log");
    messenger.SetLogFileName(path);
    messenger.SetLogToFile(true);

    messenger.AddStatusMessage("Reading - a.log");
    messenger.AddStatusMessage("Import process completed.");

    EXPECT_EQ(shown, (std::vector<std::string>{
                         "06/15/2005 12:30:05    Reading - a.log.",
                         "06/15/2005 12:30:05    ERROR: Unable to write status message to " + path + ".",
                         "06/15/2005 12:30:05    Import process completed..",
                     }));
    EXPECT_FALSE(messenger.LogToFile());
    EXPECT_EQ(stopped, 1);
    EXPECT_FALSE(fs::exists(PathOf("missing")));
}

/// The uid of `nobody`: another user than the one running the tests.
uid_t OtherUser() {
    const struct passwd* entry = ::getpwnam("nobody");
    return entry != nullptr ? entry->pw_uid : 65534;
}

TEST_F(StatusMessagesTest, LogRefusesLinksOfOtherUsersAndNeverCreatesThroughADanglingLink) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
    const std::string secret = PathOf("root-only.txt");
    std::ofstream(secret, std::ios::binary) << "secret\n";
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);

    struct Row {
        std::string link;
        std::string target;
        bool othersLink;
        bool written;
    };
    const Row rows[] = {
        {"planted.log", secret, true, false},                          // another user's link to an existing file
        {"dangling-planted.log", PathOf("created.txt"), true, false},  // another user's link to nothing
        {"dangling-own.log", PathOf("own-target.txt"), false, false},  // even an own link creates nothing
        {"own.log", PathOf("own-file.txt"), false, true},              // an own link to a file is followed
    };
    std::ofstream(PathOf("own-file.txt"), std::ios::binary) << "";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.link);
        const std::string link = PathOf(row.link);
        fs::create_symlink(row.target, link);
        if (row.othersLink) {
            ASSERT_EQ(::lchown(link.c_str(), OtherUser(), OtherUser()), 0);
        }
        EXPECT_EQ(AppendStatusLog(link, "chosen by someone"), row.written);
        EXPECT_TRUE(fs::is_symlink(link));
    }
    EXPECT_EQ(ReadFile(secret), "secret\n");
    EXPECT_FALSE(fs::exists(PathOf("created.txt")));
    EXPECT_FALSE(fs::exists(PathOf("own-target.txt")));
    EXPECT_EQ(ReadFile(PathOf("own-file.txt")), "chosen by someone\r\n");

    // A link of root's is trusted as the user's own.
    const std::string rootLink = PathOf("root.log");
    fs::create_symlink(PathOf("own-file.txt"), rootLink);
    ASSERT_EQ(::lchown(rootLink.c_str(), 0, 0), 0);
    EXPECT_TRUE(AppendStatusLog(rootLink, "again"));
    EXPECT_EQ(ReadFile(PathOf("own-file.txt")), "chosen by someone\r\nagain\r\n");
}

TEST_F(StatusMessagesTest, RefusedLinkIsReportedOnceAndLoggingStops) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
    const std::string target = PathOf("target.txt");
    std::ofstream(target, std::ios::binary) << "";
    const std::string link = PathOf("status.log");
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), OtherUser(), OtherUser()), 0);

    std::vector<std::string> shown;
    StatusMessenger messenger([&shown](const std::string& line) { shown.push_back(line); });
    messenger.SetLogFileName(link);
    messenger.SetLogToFile(true);
    messenger.AddStatusMessage("one");
    messenger.AddStatusMessage("two");
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "06/15/2005 12:30:05    one.",
                         "06/15/2005 12:30:05    ERROR: Unable to write status message to " + link + ".",
                         "06/15/2005 12:30:05    two.",
                     }));
    EXPECT_FALSE(messenger.LogToFile());
    EXPECT_EQ(ReadFile(target), "");
}

TEST_F(StatusMessagesTest, FifoOrDeviceAsLogIsRefusedWithoutWaiting) {
    const std::string fifo = PathOf("status.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Without a reader: opening for writing would wait for ever.
    EXPECT_FALSE(AppendStatusLog(fifo, "x"));
    // With a reader: the open succeeds, but a FIFO is no log file.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(AppendStatusLog(fifo, "x"));
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing went into it
    ::close(reader);
    EXPECT_FALSE(AppendStatusLog("/dev/null", "x"));

    std::vector<std::string> shown;
    StatusMessenger messenger([&shown](const std::string& line) { shown.push_back(line); });
    messenger.SetLogFileName(fifo);
    messenger.SetLogToFile(true);
    messenger.AddStatusMessage("one");
    messenger.AddStatusMessage("two");
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1], "06/15/2005 12:30:05    ERROR: Unable to write status message to " + fifo + ".");
    EXPECT_FALSE(messenger.LogToFile());
}

}  // namespace
}  // namespace vireo
