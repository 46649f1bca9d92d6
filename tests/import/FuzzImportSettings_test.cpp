// Cases found by fuzzing the import settings file
// (fuzz/importsettings_fuzzer.cpp).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/ImportSettingsFile.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using vireo::testing::StatusRecorder;

// A carriage return inside the stored value stopped every "%P" field at the
// same place: loading never ended and the list grew until memory ran out.
TEST(FuzzImportSettings, ACarriageReturnInTheValueEndsTheList) {
    const struct {
        const char* file;
        std::vector<std::string> entries;
    } rows[] = {
        {"[Import]\r\nSensors=Q||S1.T0,B||S\r1.T2\r\n", {"Q||S1.T0", "B||S"}},
        {"[Import]\nSensors=A||S.T,\rB||S.T\n", {"A||S.T"}},
        {"[Import]\nSensors=A||S.T\r,B||S.T\n", {"A||S.T"}},
        {"[Import]\nSensors=\"\rA||S.T\"\n", {}},
    };
    testing::TempDir folder;
    const std::string path = folder.File("cr.sfg");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        testing::WriteFile(path, row.file);
        StatusRecorder sink;
        std::vector<std::string> loaded{"left over"};
        int calls = 0;
        EXPECT_TRUE(LoadImportSettings(path, loaded, sink, [&] { ASSERT_LT(++calls, 10); }));
        EXPECT_EQ(loaded, row.entries);
        EXPECT_TRUE(sink.messages.empty());
    }
}

// The profile reader dropped blanks at the ends of the value: a log sensor name
// beginning with a blank lost it in the first entry, and so did a station
// sensor name ending with one in the last entry.
TEST(FuzzImportSettings, BlanksAtTheEndsOfTheListAreKept) {
    testing::TempDir folder;
    const std::string path = folder.File("blanks.sfg");
    const std::vector<std::string> entries{" TEMP||ST01.AT", "BATT||ST01.BATT ", "\tWS||ST01.WS\t"};
    StatusRecorder sink;
    ASSERT_TRUE(SaveImportSettings(path, entries, sink));
    std::vector<std::string> loaded;
    ASSERT_TRUE(LoadImportSettings(path, loaded, sink));
    EXPECT_EQ(loaded, entries);
    EXPECT_TRUE(sink.messages.empty());
}

// An entry holding a zero byte was written, and the file could then not be
// read at all ("not a text file"): now saving refuses it and keeps the old file.
TEST(FuzzImportSettings, AnEntryWithAZeroByteIsNotSaved) {
    testing::TempDir folder;
    const std::string path = folder.File("zero.sfg");
    testing::WriteFile(path, "[Import]\nSensors=OLD||S.T\n");
    StatusRecorder sink;
    EXPECT_FALSE(SaveImportSettings(path, {std::string("A\0B||S.T", 8)}, sink));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Error 101: Unable to save file " + path});
    EXPECT_EQ(testing::ReadFile(path), "[Import]\nSensors=OLD||S.T\n");
}

}  // namespace
}  // namespace vireo
