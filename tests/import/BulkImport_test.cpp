// Fast mode writes its batches in sets where the engine has a set path. A set
// must mean exactly what one statement a value means: the same rows in the
// same stored form, the same counts, the same lines, whichever mode wrote a
// row before.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/ImportRun.h"
#include "scan/Regional.h"
#include "support/ImportModes.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"
#include "support/TestScopes.h"

namespace vireo {
namespace {

using testing::Backend;
using testing::kAllRoutes;
using testing::RouteName;
using testing::StatusRecorder;
using testing::TempDir;
using testing::TestDataSource;

/// A log of `count` TEMP values, value i read at minute i from June 1, 2005,
/// worth i + offset; `tooLarge` values are worth 5000 instead.
std::string MinutesLog(int count, double offset, const std::vector<int>& tooLarge = {}) {
    std::string content;
    char line[80];
    for (int i = 0; i < count; ++i) {
        const bool large = std::find(tooLarge.begin(), tooLarge.end(), i) != tooLarge.end();
        std::snprintf(line, sizeof line, "TEMP,06/%02d/2005,%02d:%02d:00,%.2f,G\r\n", 1 + i / 1440, i / 60 % 24, i % 60,
                      large ? 5000.0 : i + offset);
        content += line;
    }
    return content;
}

struct Outcome {
    ImportResult result;
    std::vector<std::string> messages;
};

class BulkImportTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        source_ = std::make_unique<TestDataSource>(GetParam());
        source_->Connect(database_);
        writer_ = std::make_unique<DataWriter>(database_);
    }

    Outcome Import(const std::string& content, WriteRoute mode, bool details = false) {
        testing::WriteFile(dir_.File("data.log"), content);
        ImportRequest request;
        request.logFile = dir_.File("data.log");
        request.importList = {"TEMP||st01.Temp"};
        request.route = mode;
        StatusRecorder sink(details);
        SensorPairs pairs;
        ImportObserver observer;
        RunControl control;
        Outcome outcome{RunImport(request, pairs, *writer_, sink, observer, control), {}};
        for (const std::string& line : sink.messages) {
            // The route a fast run names is its own; the rest is the same in every mode.
            if (!line.starts_with("Reading - ") && !line.starts_with("Fast import route: "))
                outcome.messages.push_back(line);
        }
        return outcome;
    }

    /// The rows as the engine stores them: the time tag's text, and on SQLite
    /// the storage class of each value.
    std::vector<std::string> StoredRows() const {
        const bool sqlite = GetParam() == Backend::Sqlite;
        const std::string sql =
            sqlite ? "SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE, typeof(TIME_TAG) || ' ' "
                     "|| typeof(ORIG_VALUE) || ' ' || typeof(ED_VALUE) FROM TF_DATA1 ORDER BY TIME_TAG"
                   : "SELECT STATION_ID, SENSORNAME, CAST(TIME_TAG AS TEXT), SOURCE, ORIG_VALUE, ED_VALUE, '' "
                     "FROM TF_DATA1 ORDER BY TIME_TAG";
        std::vector<std::string> rows;
        for (const auto& row : source_->Select(sql)) {
            std::string text;
            for (const auto& field : row) text += field.value_or("NULL") + "|";
            rows.push_back(text);
        }
        return rows;
    }

    void EmptyTable() const { source_->Execute("DELETE FROM TF_DATA1"); }

    TempDir dir_;
    testing::RegionalScope regional_{RegionalSettings{}};
    std::unique_ptr<TestDataSource> source_;
    Session session_;
    Database database_{session_};
    std::unique_ptr<DataWriter> writer_;
};

TEST_P(BulkImportTest, RowsWrittenInOneModeAreUpdatedByEveryOther) {
    constexpr int kValues = 260;  // more than two sets of SQLite's, and a last one cut short
    const std::string first = MinutesLog(kValues, 0.5);
    const std::string second = MinutesLog(kValues, 0.25);

    EmptyTable();
    const Outcome reference = Import(first, WriteRoute::OneByOne, true);
    const std::vector<std::string> referenceRows = StoredRows();
    ASSERT_EQ(referenceRows.size(), static_cast<std::size_t>(kValues));
    EmptyTable();
    const Outcome referenceUpdate = [&] {
        Import(first, WriteRoute::OneByOne);
        return Import(second, WriteRoute::OneByOne, true);
    }();
    const std::vector<std::string> referenceUpdatedRows = StoredRows();

    for (const WriteRoute inserting : kAllRoutes) {
        for (const WriteRoute updating : kAllRoutes) {
            SCOPED_TRACE(RouteName(inserting) + " then " + RouteName(updating));
            EmptyTable();
            const Outcome inserted = Import(first, inserting, true);
            EXPECT_EQ(inserted.result.counts.inserted, kValues);
            EXPECT_EQ(inserted.result.counts.updated, 0);
            EXPECT_EQ(StoredRows(), referenceRows) << "the same stored form";
            auto sorted = [](std::vector<std::string> lines) {
                std::sort(lines.begin(), lines.end());
                return lines;
            };
            // Fast modes show the detail lines once a batch is committed; the lines are the same.
            EXPECT_EQ(sorted(inserted.messages), sorted(reference.messages));

            const Outcome updated = Import(second, updating, true);
            EXPECT_EQ(updated.result.counts.inserted, 0);
            EXPECT_EQ(updated.result.counts.updated, kValues);
            EXPECT_EQ(updated.result.counts.failed, 0);
            EXPECT_EQ(StoredRows(), referenceUpdatedRows) << "updated in place, never a second row";
            EXPECT_EQ(sorted(updated.messages), sorted(referenceUpdate.messages));
        }
    }
}

TEST_P(BulkImportTest, TheSameTimeTagTwiceInOneBatchIsInsertedThenUpdated) {
    const std::string log =
        "TEMP,06/15/2005,12:30:00,1.5,G\r\n"
        "TEMP,06/15/2005,12:40:00,7,G\r\n"
        "TEMP,06/15/2005,12:30:00,2.5,G\r\n"
        "TEMP,06/15/2005,12:30:00,3.5,G\r\n";
    std::vector<std::string> referenceRows;
    std::vector<std::string> referenceMessages;
    for (const WriteRoute mode : kAllRoutes) {
        SCOPED_TRACE(RouteName(mode));
        EmptyTable();
        const Outcome outcome = Import(log, mode, true);
        EXPECT_EQ(outcome.result.counts.inserted, 2);
        EXPECT_EQ(outcome.result.counts.updated, 2);
        const std::vector<std::string> rows = StoredRows();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_NE(rows[0].find("|1.5|3.5|"), std::string::npos) << rows[0] << ": the first value stays the original";
        if (mode == WriteRoute::OneByOne) {
            referenceRows = rows;
            referenceMessages = outcome.messages;
        }
        EXPECT_EQ(rows, referenceRows);
        EXPECT_EQ(outcome.messages, referenceMessages) << "in the order of the file";
    }
}

TEST_P(BulkImportTest, ASetTheDatabaseRefusesIsWrittenValueByValueAndOnlyTheRefusedFail) {
    if (GetParam() == Backend::Sqlite) {
        source_->Execute(
            "CREATE TRIGGER refuse_large BEFORE INSERT ON TF_DATA1 WHEN NEW.ORIG_VALUE > 1000 "
            "BEGIN SELECT RAISE(ABORT, 'value too large'); END;");
    } else {
        source_->Execute("ALTER TABLE TF_DATA1 ADD CONSTRAINT small_values CHECK (ORIG_VALUE <= 1000)");
    }
    const std::vector<int> refused{3, 150, 151, 249};
    const std::string log = MinutesLog(250, 0.5, refused);
    std::vector<std::string> referenceRows;
    std::vector<std::string> referenceMessages;
    for (const WriteRoute mode : kAllRoutes) {
        SCOPED_TRACE(RouteName(mode));
        EmptyTable();
        const Outcome outcome = Import(log, mode);
        EXPECT_EQ(outcome.result.error, "");
        EXPECT_EQ(outcome.result.counts.inserted, 246);
        EXPECT_EQ(outcome.result.counts.failed, 4);
        ASSERT_EQ(outcome.messages.size(), 5u);
        for (std::size_t i = 0; i < refused.size(); ++i) {
            char when[32];
            std::snprintf(when, sizeof when, "%02d:%02d:00", refused[i] / 60, refused[i] % 60);
            EXPECT_NE(outcome.messages[i].find(" - st01.Temp @ 06/01/2005 " + std::string(when)), std::string::npos)
                << outcome.messages[i];
        }
        if (mode == WriteRoute::OneByOne) {
            referenceRows = StoredRows();
            referenceMessages = outcome.messages;
        }
        EXPECT_EQ(outcome.messages, referenceMessages) << "the driver's words for each refused value";
        EXPECT_EQ(StoredRows(), referenceRows);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, BulkImportTest, ::testing::Values(Backend::Sqlite, Backend::PostgresAnsi),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace vireo
