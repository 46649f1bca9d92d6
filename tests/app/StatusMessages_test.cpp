#include "app/StatusMessages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "scan/Regional.h"

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
        std::string pattern = (fs::temp_directory_path() / "vireo-status-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        SetClockForTesting({});
        SetRegional(savedRegional_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
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
    fs::path folder_;
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

}  // namespace
}  // namespace vireo
