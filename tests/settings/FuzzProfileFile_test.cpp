// Cases found by fuzzing the profile file (fuzz/profile_fuzzer.cpp).

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "settings/ProfileFile.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

// A value with blanks at its ends lost them on the way through the file; a
// value in double quotes now loses only the quotes the writer added.
TEST(FuzzProfileFile, EveryStorableValueReadsBackAfterARewrite) {
    struct Row {
        const char* value;
        const char* line;  // how Text() writes it
    };
    const Row rows[] = {
        {" A||S1.T1", "Sensors=\" A||S1.T1\""},
        {"B||S1.T2\t", "Sensors=\"B||S1.T2\t\""},
        {"  ", "Sensors=\"  \""},
        {"\"quoted\"", "Sensors=\"\"quoted\"\""},
        {"\"\"", "Sensors=\"\"\"\""},
        {"\"half", "Sensors=\"half"},
        {"in \"the\" middle", "Sensors=in \"the\" middle"},
        {"", "Sensors="},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        ProfileFile profile;
        profile.WriteString("Import", "Sensors", row.value);
        EXPECT_EQ(profile.Text(), std::string("[Import]\n") + row.line + "\n");
        ProfileFile reread;
        reread.Parse(profile.Text());
        EXPECT_EQ(reread.ReadString("Import", "Sensors", "?"), row.value);
        EXPECT_EQ(reread.Text(), profile.Text());
    }
}

TEST(FuzzProfileFile, QuotesAroundAHandWrittenValueAreDropped) {
    ProfileFile profile;
    profile.Parse("[Settings]\r\nUser = \" admin \" \r\nDataSource=\"TARNFOLD\r\n");
    EXPECT_EQ(profile.ReadString("Settings", "User", ""), " admin ");
    EXPECT_EQ(profile.ReadString("Settings", "DataSource", ""), "\"TARNFOLD");
}

TEST(FuzzProfileFile, BlankEndsSurviveSaveAndLoad) {
    testing::TempDir folder;
    ProfileFile profile;
    profile.SetPath(folder.File("blanks.vfg"));
    profile.WriteString("Settings", "User", " padded user ");
    profile.Save();
    ProfileFile loaded;
    loaded.Load(folder.File("blanks.vfg"));
    EXPECT_EQ(loaded.ReadString("Settings", "User", ""), " padded user ");
}

// A zero byte written into the file made the whole file unreadable afterwards.
TEST(FuzzProfileFile, AZeroByteIsRefusedWhenWritten) {
    ProfileFile profile;
    EXPECT_THROW(profile.WriteString("Import", "Sensors", std::string("A\0B", 3)), std::invalid_argument);
    EXPECT_THROW(profile.WriteString("Import", std::string("Sen\0sors", 8), "x"), std::invalid_argument);
    EXPECT_THROW(profile.WriteString(std::string("Imp\0ort", 7), "Sensors", "x"), std::invalid_argument);
    EXPECT_FALSE(profile.SectionExists("Import"));
}

}  // namespace
}  // namespace vireo
