#include <gtest/gtest.h>

#include "import/ImportRun.h"
#include "support/AnsweringDialogs.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using vireo::testing::AnsweringDialogs;
using vireo::testing::TempDir;
using vireo::testing::WriteFile;
using Shown = FreeShareShown::State;

class ImportCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir_.File("data.log"), "TEMP,06/15/2005,12:30:00,21.5,G\n");
        request_.logFile = dir_.File("data.log");
        request_.importList = {"TEMP||ST01.AT"};
        request_.chosenStation = "ST01";
        request_.freeShare = {Shown::Known, 50};
    }

    TempDir dir_;
    ImportRequest request_;
    AnsweringDialogs dialogs_;
};

TEST_F(ImportCheckTest, AllFourChecksPassWithoutAQuestion) {
    EXPECT_TRUE(CheckImport(request_, dialogs_));
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(ImportCheckTest, MissingOrEmptyFileNameStops) {
    for (const std::string& name : {std::string(), dir_.File("missing.log"), dir_.path().string()}) {
        SCOPED_TRACE(name);
        AnsweringDialogs dialogs;
        request_.logFile = name;
        EXPECT_FALSE(CheckImport(request_, dialogs));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, "Error 106: Please enter a file name");
        EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::Ok);
    }
}

TEST_F(ImportCheckTest, FreeShareBelowTenAsksAndYesCancels) {
    struct Row {
        FreeShareShown share;
        bool asks;
        MessageAnswer answer;
        bool goesOn;
    };
    const Row rows[] = {
        {{Shown::Known, 9}, true, MessageAnswer::Yes, false},   {{Shown::Known, 9}, true, MessageAnswer::No, true},
        {{Shown::Known, 0}, true, MessageAnswer::Yes, false},   {{Shown::Known, 10}, false, MessageAnswer::Yes, true},
        {{Shown::Unknown, 0}, false, MessageAnswer::Yes, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "share " << row.share.percent << " state " << int(row.share.state));
        AnsweringDialogs dialogs({row.answer});
        request_.freeShare = row.share;
        EXPECT_EQ(CheckImport(request_, dialogs), row.goesOn);
        if (row.asks) {
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].text, "The available database size is less than 10%, cancel?");
            EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Warning);
        } else {
            EXPECT_TRUE(dialogs.shown.empty());
        }
    }
}

TEST_F(ImportCheckTest, FreeShareNeverShownIsNoNumber) {
    request_.freeShare = {Shown::NotShown, 0};
    EXPECT_FALSE(CheckImport(request_, dialogs_));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, "'' is not a valid integer value");
}

TEST_F(ImportCheckTest, EmptyImportListStopsWithACancelButton) {
    request_.importList.clear();
    EXPECT_FALSE(CheckImport(request_, dialogs_));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, "The import list is empty!");
    EXPECT_EQ(dialogs_.shown[0].buttons, MessageButtons::Cancel);
}

TEST_F(ImportCheckTest, OnlyTheFirstEntrysStationIsCompared) {
    request_.importList = {"TEMP||st01.AT", "BATT||ST02.BATT"};
    EXPECT_TRUE(CheckImport(request_, dialogs_));  // case does not matter, the second entry is not looked at
    EXPECT_TRUE(dialogs_.shown.empty());

    for (MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) {
        AnsweringDialogs dialogs({answer});
        request_.importList = {"BATT||ST02.BATT", "TEMP||ST01.AT"};
        EXPECT_EQ(CheckImport(request_, dialogs), answer == MessageAnswer::No);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, "The station name does not matching with the database, cancel?");
    }
}

TEST(SensorPairTable, FirstPairOfANameWinsWithoutRegardToCase) {
    SensorPairs pairs;
    pairs.BuildSensorPairs(
        {"TEMP||ST01.AT", "temp||ST01.AT2", "BAD", "NOSTATION||.X", "NOSENSOR||ST01.", "||ST01.EMPTY"});
    EXPECT_EQ(pairs.PairCount(), 3u);
    for (const char* name : {"TEMP", "temp", "Temp"}) {
        SCOPED_TRACE(name);
        const TDBSensor* pair = pairs.FindSensorPair(name);
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(pair->StationId, "ST01");
        EXPECT_EQ(pair->SensorName, "AT");
    }
    ASSERT_NE(pairs.FindSensorPair(""), nullptr);  // an empty log sensor name is not refused
    EXPECT_EQ(pairs.FindSensorPair("")->SensorName, "EMPTY");
    EXPECT_EQ(pairs.FindSensorPair("BAD"), nullptr);
    EXPECT_EQ(pairs.FindSensorPair("NOSENSOR"), nullptr);

    pairs.BuildSensorPairs({"X||S.T"});  // building again starts afresh
    EXPECT_EQ(pairs.PairCount(), 1u);
    EXPECT_EQ(pairs.FindSensorPair("TEMP"), nullptr);
}

}  // namespace
}  // namespace vireo
