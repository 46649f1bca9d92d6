#include "db/BulkForm.h"

#include <gtest/gtest.h>

#include <string>

namespace vireo {
namespace {

TEST(BulkFormTest, OnlyTheTextsOfAWholeSecondAreKeys) {
    const std::int64_t noon = TimeTagKey(CalendarStamp{2005, 6, 15, 12, 0, 0});
    const struct {
        const char* text;
        std::int64_t key;
    } cases[] = {
        {"2005-06-15 12:00:00.000", noon},
        {"2005-06-15 12:00:01.000", noon + 1},
        {"2004-02-29 00:00:00.000", TimeTagKey(CalendarStamp{2004, 2, 29, 0, 0, 0})},
        {"2005-06-15 12:00:00", noon},    // stored without the fraction: the same second
        {"2005-06-15 12:00:00.5", -1},    // another fraction
        {"2005-06-15 12:00:00.001", -1},  // a millisecond
        {"2005-06-15T12:00:00.000", -1},  // another separator
        {"2005-02-30 12:00:00.000", -1},  // no such day, though it counts to 2 March
        {"2005-02-29 12:00:00.000", -1},  // not a leap year
        {"2005-13-01 12:00:00.000", -1},  // no such month
        {"2005-06-15 24:00:00.000", -1},  // no such hour
        {"2005-06-15 12:60:00.000", -1},  // no such minute
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyOfStoredText(c.text), c.key) << c.text;
}

TEST(BulkFormTest, NamesAndSourceAreWrittenAsTheDataWriterWritesThem) {
    EXPECT_EQ(NameAsWritten("st01", DriverText::Bytes), "ST01");
    EXPECT_EQ(NameAsWritten("t\xe9mp", DriverText::Bytes), "T\xe9MP");  // ASCII letters only
    EXPECT_EQ(NameAsWritten("t\xe9mp", DriverText::Utf8), "T\xc3\xa9MP");
    EXPECT_EQ(SourceAsWritten("", DriverText::Bytes), "T");
    EXPECT_EQ(SourceAsWritten("m", DriverText::Bytes), "m");
    EXPECT_EQ(BoundSecondText(SecondsToDateTime(645537600)), "2005-06-15 12:00:00");
}

}  // namespace
}  // namespace vireo
