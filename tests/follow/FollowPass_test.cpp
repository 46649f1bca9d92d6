#include "follow/FollowPass.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "logfile/LogLineReader.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using testing::TempDir;

TEST(FilesToFollowTest, TheMatchingRegularFilesOfEachFolderInOrderThenTheFilesNamed) {
    TempDir dir;
    for (const char* name : {"b.log", "a.log", "c.txt", ".hidden.log", "a.LOG"}) dir.Write(name, "x\n");
    std::filesystem::create_directory(dir.File("folder.log"));
    FollowTargets targets;
    targets.folders = {dir.path().string()};
    targets.files = {dir.File("a.log"), "later.log"};
    EXPECT_EQ(FilesToFollow(targets), (std::vector<std::string>{dir.File("a.log"), dir.File("b.log"), "later.log"}));
    targets.pattern = "*.[lL][oO][gG]";
    targets.files.clear();
    EXPECT_EQ(FilesToFollow(targets),
              (std::vector<std::string>{dir.File("a.LOG"), dir.File("a.log"), dir.File("b.log")}));
}

TEST(FilesToFollowTest, AFolderThatCannotBeListedIsTheSystemsError) {
    TempDir dir;
    FollowTargets targets;
    targets.folders = {dir.File("missing")};
    try {
        FilesToFollow(targets);
        ADD_FAILURE() << "listed";
    } catch (const LogFileError& error) {
        EXPECT_EQ(std::string(error.what()), dir.File("missing") + ": No such file or directory");
    }
}

TEST(FoldersToWatchTest, TheFoldersAndTheFoldersOfTheFilesNamedEachOnce) {
    FollowTargets targets;
    targets.folders = {"/data/in"};
    targets.files = {"/data/in/a.log", "/data/other/b.log", "c.log", "/data/other/d.log"};
    EXPECT_EQ(FoldersToWatch(targets), (std::vector<std::string>{"/data/in", "/data/other", "."}));
}

TEST(FollowWaiterTest, WakesOnAChangeInAFolderWatched) {
    TempDir dir;
    FollowWaiter waiter({dir.path().string()});
    ASSERT_TRUE(waiter.Notified());
    std::thread writer([&dir] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        dir.Write("new.log", "x\n");
    });
    RunControl control;
    const auto start = std::chrono::steady_clock::now();
    waiter.Wait(600, control);
    writer.join();
    // Woken by the change, not by the ten minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(5));
}

TEST(FollowWaiterTest, WithoutAFolderToWatchOnlyTheTimeCountsAndAStopEndsTheWait) {
    TempDir dir;
    FollowWaiter waiter({dir.File("missing")});
    EXPECT_FALSE(waiter.Notified());
    RunControl control;
    control.stop = true;
    const auto start = std::chrono::steady_clock::now();
    waiter.Wait(600, control);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(5));
}

}  // namespace
}  // namespace vireo
