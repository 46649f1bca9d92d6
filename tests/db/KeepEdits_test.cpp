#include <gtest/gtest.h>

#include <string>

#include "BackendTest.h"
#include "db/DataWriter.h"
#include "import/ImportMessages.h"
#include "scan/Chronos.h"
#include "support/StatusRecorder.h"

namespace vireo::testing {
namespace {

constexpr SecondStamp kNoonHalf = 645539400;  // 2005-06-15 12:30:00

// Time tags are written as the SQLite driver writes a bound timestamp, with
// its milliseconds: its rows compare as text.
class KeepEditsTest : public BackendTest {
protected:
    DataWriter writer_{database_};
};

// A row as a data manager may leave it, then one write of the value 21.5.
struct KeepCase {
    const char* name;
    const char* row;  // the INSERT's VALUES after the key, or "" for no row
    bool keep;
    WriteOutcome outcome;
    const char* after;  // ED_VALUE afterwards
};

TEST_P(KeepEditsTest, AnEditedRowIsLeftOnlyWhenAskedAndEveryOtherRowIsUpdated) {
    const KeepCase cases[] = {
        {"edited, kept", "'M', 20.0, 19.0", true, WriteOutcome::Kept, "19"},
        {"edited, overwritten without the option", "'M', 20.0, 19.0", false, WriteOutcome::Updated, "21.5"},
        {"edited from nothing, kept", "'M', NULL, 19.0", true, WriteOutcome::Kept, "19"},
        {"edited to nothing, kept", "'M', 20.0, NULL", true, WriteOutcome::Kept, "-"},
        {"not edited, updated", "'T', 20.0, 20.0", true, WriteOutcome::Updated, "21.5"},
        {"both null, updated", "'T', NULL, NULL", true, WriteOutcome::Updated, "21.5"},
        {"no row, inserted", "", true, WriteOutcome::Inserted, "21.5"},
    };
    for (const KeepCase& c : cases) {
        SCOPED_TRACE(c.name);
        source().Execute("DELETE FROM TF_DATA1;\n");
        if (*c.row != '\0') {
            source().Execute(std::string("INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', ") +
                             c.row + ");\n");
        }
        writer_.SetKeepEdits(c.keep);
        const WriteResult result = writer_.WriteValue("st01", "temp", "", SecondsToDateTime(kNoonHalf), 21.5);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_FALSE(result.error.has_value());
        const auto ed = source().Select("SELECT ED_VALUE FROM TF_DATA1")[0][0];
        EXPECT_EQ(ed ? std::to_string(std::stod(*ed)) : "-",
                  std::string(c.after) == "-" ? "-" : std::to_string(std::stod(c.after)));
    }
}

TEST_P(KeepEditsTest, AKeptValueIsShownWithTheValueThatWasNotWritten) {
    source().Execute("INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', 'M', 20.0, 19.0);\n");
    writer_.SetKeepEdits(true);
    StatusRecorder sink(true);
    const WriteResult result = writer_.WriteValue("ST01", "Temp", "", SecondsToDateTime(kNoonHalf), 21.5);
    ReportWrite(sink, result, "ST01", "Temp", SecondsToDateTime(kNoonHalf), 21.5);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"Kept edited value - ST01.Temp @ 06/15/2005 12:30:00 - 21.5"}));
}

TEST_P(KeepEditsTest, AValueRefusedForAnotherReasonIsStillNotWrittenWithTheInsertsError) {
    if (OnPostgres()) {
        source().Execute(
            "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'insert "
            "rejected'; END $$;\n"
            "CREATE TRIGGER rejected BEFORE INSERT ON TF_DATA1 FOR EACH ROW EXECUTE FUNCTION refuse();\n");
    } else {
        source().Execute(
            "CREATE TRIGGER rejected BEFORE INSERT ON TF_DATA1 BEGIN SELECT RAISE(ABORT, 'insert rejected'); "
            "END;\n");
    }
    writer_.SetKeepEdits(true);
    const WriteResult result = writer_.WriteValue("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 21.5);
    EXPECT_EQ(result.outcome, WriteOutcome::Failed);
    ASSERT_TRUE(result.error.has_value());
    EXPECT_NE(std::string(result.error->what()).find("insert rejected"), std::string::npos) << result.error->what();
}

TEST_P(KeepEditsTest, KeptRowsInsideABatchLeaveItsOtherValuesWritten) {
    source().Execute("INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', 'M', 20.0, 19.0);\n");
    writer_.SetKeepEdits(true);
    {
        BatchGuard batch(writer_);
        EXPECT_EQ(writer_.WriteValue("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf), 21.5).outcome,
                  WriteOutcome::Kept);
        EXPECT_EQ(writer_.WriteValue("ST01", "TEMP", "", SecondsToDateTime(kNoonHalf + 60), 22).outcome,
                  WriteOutcome::Inserted);
        batch.Commit();
    }
    EXPECT_EQ(source().Select("SELECT COUNT(*) FROM TF_DATA1")[0][0], std::optional<std::string>("2"));
    EXPECT_EQ(std::stod(*source().Select("SELECT ED_VALUE FROM TF_DATA1 WHERE ORIG_VALUE = 20")[0][0]), 19.0);
}

INSTANTIATE_TEST_SUITE_P(Backends, KeepEditsTest, ::testing::ValuesIn(kAllBackends), BackendParamName);

}  // namespace
}  // namespace vireo::testing
