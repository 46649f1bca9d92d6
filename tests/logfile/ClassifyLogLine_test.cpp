#include <gtest/gtest.h>

#include <string>

#include "logfile/LogLineKind.h"

namespace vireo {
namespace {

using K = LogLineKind;

struct KindRow {
    std::string line;
    LogLineKind kind;
};

const KindRow kKindRows[] = {
    {"TEMP,06/15/2005,12:30:00,21.5,G", K::NameDateTime},
    {"TEMP,06/15/2005 12:30:00,21.5,G", K::NameStamp},
    {"06/15/2005,12:30:00,TEMP,21.5,C,G", K::DateTimeName},
    {"06/15/2005 12:30:00,TEMP,21.5,C,G", K::StampName},
    {"06/15/2005,12:30:00,ST01,21.5,13.2,0.75", K::DateTimeLabelValues},
    {"06/15/2005,12:30:00,ST01,21.5,13.2", K::DateTimeLabelValues},
    {"06/15/2005 12:30:00 21.5 13.2  0.75", K::BlankSeparatedValues},
    {"TEMP", K::NotARecord},
    // Only the sixth field is searched for G, B or U, anywhere in it, in capitals.
    {"06/15/2005,12:30:00,TEMP,21.5,C,B", K::DateTimeName},
    {"06/15/2005,12:30:00,TEMP,21.5,C,xxUxx", K::DateTimeName},
    {"06/15/2005,12:30:00,TEMP,21.5,C,g", K::DateTimeLabelValues},
    {"06/15/2005,12:30:00,ST01,21.5,BATT,7", K::DateTimeLabelValues},
    {"06/15/2005,12:30:00,ST01", K::DateTimeName},  // fourth field empty
    {"06/15/2005,12:30:00,ST01,,,", K::DateTimeName},
    {"06/15/2005 12:30:00,TEMP,,C,", K::StampName},               // fourth empty, fifth not: the kind found stands
    {"06/15/2005 12:30:00,TEMP,21.5,G", K::DateTimeLabelValues},  // sixth value empty, fourth 21.5
    {"06/15/2005 12:30:00,TEMP", K::DateTimeName},
    {"06/15/2005 12:30:00,TEMP,,C,G", K::StampName},
    {"06/15/2005", K::DateTimeName},
    {"6/15/2005 12:30:00 21.5", K::BlankSeparatedValues},
    {"06/15/2005  12:30:00", K::BlankSeparatedValues},  // two blanks in the first field
    {"Sensor,Date,Time,Value,Flag", K::NameDateTime},
    {"TEMP,", K::NotARecord},
    {"TEMP, ", K::NameStamp},  // a blank in the second field
    {"2005-06-15,12:30:00,21.5", K::NameDateTime},
    {"", K::NotARecord},
    {",,,", K::NotARecord},
    {"a/b", K::DateTimeName},
};

TEST(ClassifyLogLine, KindOfEachLine) {
    for (const KindRow& row : kKindRows) {
        SCOPED_TRACE("line [" + row.line + "]");
        EXPECT_EQ(ClassifyLogLine(row.line), row.kind);
    }
}

TEST(IsCommentLine, FirstCharacterDecides) {
    for (const char* line : {"\"DATE\"", "'note", ":x", ";x"}) EXPECT_TRUE(IsCommentLine(line)) << line;
    for (const char* line : {"", " ;x", "TEMP,\"", "#x"}) EXPECT_FALSE(IsCommentLine(line)) << line;
}

}  // namespace
}  // namespace vireo
