#include "follow/FollowFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "scan/Regional.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;
using testing::WriteFile;

TEST(DecideStartTest, TheRecordAndOneLookDecideWhereTheFileIsReadFrom) {
    FollowRecord record;
    record.device = 1;
    record.inode = 7;
    record.size = 100;
    record.modifiedNs = 50;
    record.offset = 90;
    record.headLength = 100;
    record.headHash = 0xabc;
    struct Row {
        const char* what;
        FileLook now;
        std::uint64_t headHash;
        FollowStart start;
        bool hashAsked;
    };
    const Row rows[] = {
        {"same file, same size and time", {1, 7, 100, 50}, 0xabc, FollowStart::Unchanged, false},
        {"grown", {1, 7, 130, 60}, 0xabc, FollowStart::Continue, true},
        {"same size, touched", {1, 7, 100, 60}, 0xabc, FollowStart::Continue, true},
        {"shorter", {1, 7, 99, 60}, 0xabc, FollowStart::Shorter, false},
        {"first bytes changed", {1, 7, 130, 60}, 0xdef, FollowStart::Replaced, true},
        {"another file beginning with the same bytes", {1, 8, 130, 60}, 0xabc, FollowStart::Continue, true},
        {"another file, other bytes", {1, 8, 100, 50}, 0xdef, FollowStart::Replaced, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        bool asked = false;
        const FollowStart start = DecideStart(&record, row.now, [&](std::uint64_t length) {
            asked = true;
            EXPECT_EQ(length, 100u);
            return row.headHash;
        });
        EXPECT_EQ(start, row.start);
        EXPECT_EQ(asked, row.hashAsked);
    }
    EXPECT_EQ(DecideStart(nullptr, {1, 7, 100, 50}, [](std::uint64_t) { return std::uint64_t{0}; }), FollowStart::New);
}

TEST(DecideStartTest, AnImportListThatChangedReadsTheFileAgainFromTheTop) {
    const std::uint64_t one = ImportListHash({"TEMP||ST01.TEMP"});
    const std::uint64_t two = ImportListHash({"TEMP||ST01.TEMP", "BATT||ST01.BATT"});
    EXPECT_NE(one, two);
    // The order of the entries and the case of the log name do not count; a
    // second pair of a name is never used.
    EXPECT_EQ(two, ImportListHash({"batt||ST01.BATT", "TEMP||ST01.TEMP", "TEMP||ST02.TEMP"}));
    EXPECT_NE(two, ImportListHash({"TEMP||ST02.TEMP", "TEMP||ST01.TEMP", "BATT||ST01.BATT"}));

    FollowRecord record;
    record.size = record.offset = 100;
    const FileLook same{0, 0, 100, 0};
    auto noHash = [](std::uint64_t) { return std::uint64_t{0}; };
    EXPECT_EQ(DecideStart(&record, same, noHash, two), FollowStart::Unchanged);  // an older positions file
    record.listHash = one;
    EXPECT_EQ(DecideStart(&record, same, noHash, one), FollowStart::Unchanged);
    EXPECT_EQ(DecideStart(&record, same, noHash, two), FollowStart::ListChanged);
    EXPECT_EQ(DecideStart(&record, same, noHash), FollowStart::Unchanged);
}

TEST(DecideStartTest, OnlyARestartFromTheTopSaysWhy) {
    EXPECT_EQ(FollowStartText(FollowStart::Shorter, "/d/a.log"),
              "The log file became shorter since the last import, it is read again from the start - /d/a.log");
    EXPECT_EQ(FollowStartText(FollowStart::Replaced, "/d/a.log"),
              "The first bytes of the log file changed since the last import (rotated or replaced), it is read "
              "again from the start - /d/a.log");
    for (FollowStart start : {FollowStart::New, FollowStart::Unchanged, FollowStart::Continue}) {
        EXPECT_EQ(FollowStartText(start, "/d/a.log"), "");
    }
}

TEST(HeadHashTest, CoversExactlyTheBytesAsked) {
    TempDir dir;
    const std::string a = dir.Write("a", "TEMP,06/15/2005,12:30:00,1,G\n");
    const std::string b = dir.Write("b", "TEMP,06/15/2005,12:30:00,1,X\n");
    EXPECT_EQ(HeadHash(a, 20), HeadHash(b, 20));
    EXPECT_NE(HeadHash(a, 29), HeadHash(b, 29));
    EXPECT_EQ(HeadHash(a, 0), HeadHash(dir.File("missing"), 0));
    EXPECT_THROW(HeadHash(dir.File("missing"), 1), LogFileError);
}

TEST(FollowPathTest, TheSameFileFromAnotherFolderIsTheSameRecord) {
    TempDir dir;
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(FollowPath(dir.File("x/../a.log")), dir.File("a.log"));
    EXPECT_EQ(FollowPath("a.log"), here + "/a.log");
}

std::string Line(int minute, double value, const char* sensor = "TEMP") {
    char text[64];
    std::snprintf(text, sizeof text, "%s,06/15/2005,12:%02d:00,%g,G\n", sensor, minute, value);
    return text;
}

class FollowFileTest : public testing::ImportModeTest {
protected:
    void SetUp() override {
        ImportModeTest::SetUp();
        request_.importList = {"TEMP||ST01.TEMP", "BAD||ST01.BAD", "STAGE||ST01.STAGE"};
        request_.route = mode();
    }

    /// One incremental run of `path` from `record`; the record kept is updated.
    FollowOutcome Follow(const std::string& path, std::optional<FollowRecord>& record, bool skipUnchanged = true) {
        ImportObserver observer;
        FollowOutcome outcome = FollowFile(path, source_->Name(), record ? &*record : nullptr, skipUnchanged, request_,
                                           pairs_, *writer_, sink_, observer, control_);
        if (outcome.record) record = outcome.record;
        return outcome;
    }

    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const auto& row :
             source_->Select("SELECT SENSORNAME, TIME_TAG, ED_VALUE FROM TF_DATA1 ORDER BY SENSORNAME, TIME_TAG")) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", std::stod(row[2].value_or("0")));
            rows.push_back(row[0].value_or("") + "|" + row[1].value_or("").substr(11, 5) + "|" + value);
        }
        return rows;
    }

    TempDir dir_;
    ImportRequest request_;
    SensorPairs pairs_;
    StatusRecorder sink_;
    RunControl control_;
};

TEST_P(FollowFileTest, AGrowingFileIsImportedPieceByPieceEachValueOnce) {
    const std::string path = dir_.Write("grow.log", Line(1, 1) + Line(2, 2) + "TEMP,06/15/2005,12:0");
    std::optional<FollowRecord> record;
    FollowOutcome first = Follow(path, record);
    EXPECT_EQ(first.start, FollowStart::New);
    EXPECT_EQ(first.result.counts.inserted, 2);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->path, path);
    EXPECT_EQ(record->dataSource, source_->Name());
    EXPECT_EQ(record->offset, 2 * Line(1, 1).size());
    EXPECT_EQ(record->lines, 2u);
    EXPECT_EQ(record->size, 2 * Line(1, 1).size() + 20);

    testing::AppendFile(path, "3:00,3,G\n" + Line(4, 4));
    FollowOutcome second = Follow(path, record);
    EXPECT_EQ(second.start, FollowStart::Continue);
    EXPECT_EQ(second.result.counts.inserted, 2);
    EXPECT_EQ(second.result.counts.updated, 0);
    EXPECT_EQ(second.result.counts.lines, 2);
    EXPECT_EQ(record->offset, 4 * Line(1, 1).size());
    EXPECT_EQ(record->lines, 4u);

    // Nothing new: not even read.
    FollowOutcome third = Follow(path, record);
    EXPECT_EQ(third.start, FollowStart::Unchanged);
    EXPECT_FALSE(third.read);
    EXPECT_FALSE(third.record);
    // Asked to read it all the same, it finds nothing.
    FollowOutcome fourth = Follow(path, record, false);
    EXPECT_TRUE(fourth.read);
    EXPECT_EQ(fourth.result.counts.lines, 0);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"TEMP|12:01|1", "TEMP|12:02|2", "TEMP|12:03|3", "TEMP|12:04|4"}));
    EXPECT_EQ(sink_.messages, (std::vector<std::string>(3, "Import process completed.")));
}

TEST_P(FollowFileTest, TheRepeatedHourGoesOnAcrossRunsAndAChangedZoneWaitsForFromStart) {
    std::string error;
    request_.zones = *ParseTimeZones("Europe/Berlin", "UTC", error);
    const auto minutes = [](int from, int to) {
        std::string lines;
        for (int minute = from; minute <= to; ++minute) {
            char text[64];
            std::snprintf(text, sizeof text, "TEMP,10/27/2024,02:%02d:00,%d,G\n", minute, minute);
            lines += text;
        }
        return lines;
    };
    // The first pass of the hour, then the second one, read in two runs.
    const std::string path = dir_.Write("autumn.log", minutes(0, 59) + minutes(0, 5));
    std::optional<FollowRecord> record;
    EXPECT_EQ(Follow(path, record).result.counts.inserted, 66);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->logZone, "Europe/Berlin");
    EXPECT_EQ(record->databaseZone, "UTC");
    EXPECT_TRUE(record->clock.secondPass);
    FollowState state;
    state.Put(*record);
    EXPECT_EQ(*ParseFollowState(FollowStateText(state), "st").Find(path, source_->Name()), *record);

    testing::AppendFile(path, minutes(6, 10));
    const FollowOutcome second = Follow(path, record);
    EXPECT_EQ(second.result.counts.inserted, 5);
    EXPECT_EQ(second.result.counts.updated, 0);
    EXPECT_EQ(source_->Select("SELECT TIME_TAG FROM TF_DATA1").size(), 71u);

    // Other zones would not fit the time tags stored so far.
    request_.zones = {};
    const FollowOutcome changed = Follow(path, record, false);
    EXPECT_FALSE(changed.read);
    EXPECT_EQ(changed.result.error,
              "The time zones of the log file changed since the last import (Europe/Berlin to UTC, now as written to "
              "as written), it is read again only with --from-start - " +
                  path);
    ImportObserver observer;
    const FollowOutcome again = FollowFile(path, source_->Name(), &*record, false, request_, pairs_, *writer_, sink_,
                                           observer, control_, {}, true);
    EXPECT_TRUE(again.read);
    EXPECT_EQ(again.record->logZone, "");
}

TEST_P(FollowFileTest, ThePositionKeptWhileTheRunGoesOnHasItsValuesCommitted) {
    const std::string path = dir_.Write("kept.log", Line(1, 1) + Line(2, 2) + Line(3, 3));
    std::vector<FollowRecord> kept;
    std::vector<std::size_t> rowsThen;
    KeepPosition keeping{[&](const FollowRecord& now) {
                             kept.push_back(now);
                             // Seen through another connection: committed.
                             rowsThen.push_back(Rows().size());
                         },
                         std::chrono::milliseconds(0)};
    ImportObserver observer;
    FollowOutcome outcome = FollowFile(path, source_->Name(), nullptr, true, request_, pairs_, *writer_, sink_,
                                       observer, control_, keeping);
    ASSERT_FALSE(kept.empty());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rowsThen[i], kept[i].lines);
        EXPECT_EQ(kept[i].offset, kept[i].lines * Line(1, 1).size());
        EXPECT_EQ(kept[i].path, path);
    }
    // One value at a time, each line is kept; in batches, the one commit at the end.
    EXPECT_EQ(kept.size(), InBatches(mode()) ? 1u : 3u);
    EXPECT_EQ(kept.back(), *outcome.record);
}

/// Stops the run once its first value is written, as Ctrl-C or SIGTERM would.
class StopAtFirstValue : public ImportObserver {
public:
    explicit StopAtFirstValue(RunControl& control) : control_(control) {}
    void ValueWritten() override { control_.stop = true; }

private:
    RunControl& control_;
};

TEST_P(FollowFileTest, ARunCutShortGoesOnFromItsPositionThoughTheFileDidNotChange) {
    const std::string path = dir_.Write("cut.log", Line(1, 1) + Line(2, 2) + Line(3, 3));
    const std::vector<std::string> all{"TEMP|12:01|1", "TEMP|12:02|2", "TEMP|12:03|3"};
    struct Case {
        const char* what;
        std::function<std::optional<FollowRecord>()> cut;
    };
    const Case cases[] = {
        {"stopped after its first value",
         [&] {
             StopAtFirstValue stopping(control_);
             FollowOutcome outcome = FollowFile(path, source_->Name(), nullptr, true, request_, pairs_, *writer_, sink_,
                                                stopping, control_);
             EXPECT_TRUE(outcome.result.stopped);
             control_.stop = false;
             return outcome.record;
         }},
        {"killed after the first position kept while it ran",
         [&] {
             std::optional<FollowRecord> first;
             KeepPosition keeping{[&](const FollowRecord& now) {
                                      if (!first) first = now;
                                  },
                                  std::chrono::milliseconds(0)};
             ImportObserver observer;
             StopAtFirstValue stopping(control_);
             FollowFile(path, source_->Name(), nullptr, true, request_, pairs_, *writer_, sink_,
                        InBatches(mode()) ? static_cast<ImportObserver&>(stopping) : observer, control_, keeping);
             control_.stop = false;
             return first;
         }},
    };
    for (const Case& cut : cases) {
        SCOPED_TRACE(cut.what);
        source_->Execute("DELETE FROM TF_DATA1;\n");
        std::optional<FollowRecord> record = cut.cut();
        ASSERT_TRUE(record);
        ASSERT_LT(record->offset, std::filesystem::file_size(path));
        // Restarted with the file as it was: the rest is read, not skipped.
        FollowOutcome next = Follow(path, record);
        EXPECT_EQ(next.start, FollowStart::Continue);
        EXPECT_EQ(Rows(), all);
        EXPECT_EQ(record->offset, std::filesystem::file_size(path));
        EXPECT_EQ(Follow(path, record).start, FollowStart::Unchanged);
    }
}

/// Renames the log when the run starts and makes a new one in its place, as
/// a logger rotating its file between a pass's look and its reading.
class RotateAtStart : public ImportObserver {
public:
    RotateAtStart(std::string path, std::string renamed, std::string fresh)
        : path_(std::move(path)), renamed_(std::move(renamed)), fresh_(std::move(fresh)) {}
    void RunStarted() override {
        std::filesystem::rename(path_, renamed_);
        WriteFile(path_, fresh_);
    }

private:
    std::string path_, renamed_, fresh_;
};

TEST_P(FollowFileTest, AFileRotatedBetweenTheLookAndTheReadingIsNotReadInItsPlace) {
    const std::string path = dir_.Write("rot.log", Line(1, 1));
    std::optional<FollowRecord> record;
    Follow(path, record);
    testing::AppendFile(path, Line(2, 2) + Line(3, 3));
    // The new file is as long as the position: read from there it gives nothing.
    RotateAtStart rotate(path, dir_.File("rot-1.log"), Line(9, 9));
    FollowOutcome raced =
        FollowFile(path, source_->Name(), &*record, true, request_, pairs_, *writer_, sink_, rotate, control_);
    EXPECT_EQ(raced.result.error, path + ": " + kFileReplacedSinceLook);
    // The renamed file goes on from its position (as a pass adopts it), and
    // its lines are there: the raced run claimed nothing of it.
    std::optional<FollowRecord> renamed = raced.record ? raced.record : record;
    renamed->path = dir_.File("rot-1.log");
    EXPECT_EQ(Follow(dir_.File("rot-1.log"), renamed).start, FollowStart::Continue);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"TEMP|12:01|1", "TEMP|12:02|2", "TEMP|12:03|3"}));
}

TEST_P(FollowFileTest, AShorterOrReplacedFileIsReadFromTheTopAndSaysWhy) {
    const std::string path = dir_.Write("rot.log", Line(1, 1) + Line(2, 2));
    std::optional<FollowRecord> record;
    Follow(path, record);
    WriteFile(path, Line(3, 3));  // cut and written again
    FollowOutcome shorter = Follow(path, record);
    EXPECT_EQ(shorter.start, FollowStart::Shorter);
    EXPECT_EQ(shorter.result.counts.inserted, 1);
    EXPECT_EQ(sink_.messages[1],
              "The log file became shorter since the last import, it is read again from the start - " + path);
    // Another file in its place, longer, its first bytes other.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    WriteFile(path, Line(5, 5) + Line(6, 6));
    FollowOutcome replaced = Follow(path, record);
    EXPECT_EQ(replaced.start, FollowStart::Replaced);
    EXPECT_EQ(replaced.result.counts.inserted, 2);
    EXPECT_EQ(sink_.messages[3],
              "The first bytes of the log file changed since the last import (rotated or replaced), it is read "
              "again from the start - " +
                  path);
    EXPECT_EQ(record->offset, 2 * Line(1, 1).size());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"TEMP|12:01|1", "TEMP|12:02|2", "TEMP|12:03|3", "TEMP|12:05|5",
                                                "TEMP|12:06|6"}));
}

TEST_P(FollowFileTest, TheColumnHeadingsInForceAreKeptForTheNextRun) {
    const std::string heading = "\"DATE\" \"TIME\" \"STAGE\"\r\n";
    const std::string path = dir_.Write("logger.PRN", heading + "06/15/2005 12:01:00 1.5\r\n");
    std::optional<FollowRecord> record;
    EXPECT_EQ(Follow(path, record).result.counts.inserted, 1);
    EXPECT_EQ(record->headings, (std::vector<std::string>{"STAGE"}));
    testing::AppendFile(path, "06/15/2005 12:02:00 2.5\r\n");
    // The heading line is not read again, and still names the value.
    EXPECT_EQ(Follow(path, record).result.counts.inserted, 1);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"STAGE|12:01|1.5", "STAGE|12:02|2.5"}));
}

TEST_P(FollowFileTest, AValueNotWrittenHoldsThePositionAtItsLine) {
    if (backend() == Backend::Sqlite) {
        source_->Execute(
            "CREATE TRIGGER REFUSE_BAD BEFORE INSERT ON TF_DATA1 WHEN NEW.SENSORNAME = 'BAD' "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END;\n");
    } else {
        source_->Execute("ALTER TABLE TF_DATA1 ADD CONSTRAINT REFUSE_BAD CHECK (SENSORNAME <> 'BAD');\n");
    }
    const std::string path = dir_.Write("held.log", Line(1, 1) + Line(2, 2, "BAD") + Line(3, 3));
    std::optional<FollowRecord> record;
    FollowOutcome first = Follow(path, record);
    EXPECT_EQ(first.result.counts.inserted, 2);
    EXPECT_EQ(first.result.counts.failed, 1);
    EXPECT_EQ(record->offset, Line(1, 1).size());
    EXPECT_EQ(record->lines, 1u);

    // Still refused: the position stays; the lines after it are written again.
    FollowOutcome again = Follow(path, record, false);
    EXPECT_EQ(again.result.counts.failed, 1);
    EXPECT_EQ(record->offset, Line(1, 1).size());

    if (backend() == Backend::Sqlite)
        source_->Execute("DROP TRIGGER REFUSE_BAD;\n");
    else
        source_->Execute("ALTER TABLE TF_DATA1 DROP CONSTRAINT REFUSE_BAD;\n");
    FollowOutcome fixed = Follow(path, record, false);
    EXPECT_EQ(fixed.result.counts.inserted, 1);
    EXPECT_EQ(fixed.result.counts.updated, 1);
    EXPECT_EQ(fixed.result.counts.failed, 0);
    EXPECT_EQ(record->offset, std::filesystem::file_size(path));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"BAD|12:02|2", "TEMP|12:01|1", "TEMP|12:03|3"}));
}

TEST_P(FollowFileTest, AFileThatCannotBeReadIsTheRunsErrorAndKeepsNoRecord) {
    std::optional<FollowRecord> record;
    std::filesystem::create_directory(dir_.File("folder.log"));
    FollowOutcome folder = Follow(dir_.File("folder.log"), record);
    EXPECT_EQ(folder.result.error, dir_.File("folder.log") + ": not a regular file");
    EXPECT_FALSE(folder.read);
    FollowOutcome missing = Follow(dir_.File("none.log"), record);
    EXPECT_TRUE(missing.missing);
    EXPECT_FALSE(record);
}

INSTANTIATE_TEST_SUITE_P(Backends, FollowFileTest, testing::EveryBackendIn(testing::kAllRoutes),
                         testing::BackendAndModeName);

}  // namespace
}  // namespace vireo
