#include "settings/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

/// A fresh folder for one test, removed with everything in it afterwards.
class ProfileFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

    static void WriteFile(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
    std::size_t EntriesInFolder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    testing::TempDir temp_{"vireo-profile"};
    fs::path folder_ = temp_.path();
};

TEST_F(ProfileFileTest, RewriteKeepsUnknownSectionsAndValuesInOrderButDropsBlanksAndComments) {
    ProfileFile profile;
    profile.Parse(
        "; written by hand\n"
        "[Other]\n"
        "Colour=blue\n"
        "\n"
        "a line without equals\n"
        "[DataBase]\n"
        "  ; indented comment\n"
        "DataSource=TARN\n"
        "Extra=kept\n"
        "[Application]\n"
        "MaxDBFileSize=10\n");
    profile.WriteString("DataBase", "UserName", "admin");
    profile.WriteInteger("Application", "MaxDBFileSize", 2097152);
    profile.WriteString("New", "Key", "v");

    EXPECT_EQ(profile.Text(),
              "[Other]\n"
              "Colour=blue\n"
              "a line without equals\n"
              "[DataBase]\n"
              "DataSource=TARN\n"
              "Extra=kept\n"
              "UserName=admin\n"
              "[Application]\n"
              "MaxDBFileSize=2097152\n"
              "[New]\n"
              "Key=v\n");
}

TEST_F(ProfileFileTest, LinesBeforeTheFirstSectionSurviveButAreNoValuesOfAnySection) {
    ProfileFile profile;
    profile.Parse("Stray=1\n[A]\nX=2\n");
    EXPECT_EQ(profile.ReadString("", "Stray", "none"), "none");
    EXPECT_EQ(profile.Sections(), std::vector<std::string>{"A"});
    EXPECT_EQ(profile.Text(), "Stray=1\n[A]\nX=2\n");
}

TEST_F(ProfileFileTest, NamesAreComparedWithoutRegardToCase) {
    ProfileFile profile;
    profile.Parse("[DataBase]\nDataSource=one\n");
    EXPECT_EQ(profile.ReadString("DATABASE", "datasource", ""), "one");
    EXPECT_TRUE(profile.ValueExists("database", "DATASOURCE"));

    profile.WriteString("database", "DATASOURCE", "two");
    EXPECT_EQ(profile.Text(), "[DataBase]\nDataSource=two\n");  // the file's own spelling stays
}

TEST_F(ProfileFileTest, ValueIsTheTextAfterTheFirstEqualsWithoutBlanksAtTheEnds) {
    ProfileFile profile;
    profile.Parse("[Import]\r\nSensors=a||B.C=d \t\r\n  Spaced  =  x y  \r\nEmpty=\r\n[ Trimmed ]\r\nK=1\r\n");
    EXPECT_EQ(profile.ReadString("Import", "Sensors", ""), "a||B.C=d");
    EXPECT_EQ(profile.ReadString("Import", "Spaced", ""), "x y");
    EXPECT_EQ(profile.ReadString("Import", "Empty", "default"), "");
    EXPECT_EQ(profile.ReadString("Trimmed", "K", ""), "1");
    EXPECT_EQ(profile.ReadString("Import", "Missing", "default"), "default");
    EXPECT_EQ(profile.LineEnd(), "\r\n");
}

TEST_F(ProfileFileTest, FirstOfTwoEqualSectionsAndNamesIsRead) {
    ProfileFile profile;
    profile.Parse("[A]\nX=1\nx=2\n[a]\nX=3\n");
    EXPECT_EQ(profile.ReadString("A", "X", ""), "1");
    profile.WriteString("A", "X", "9");
    EXPECT_EQ(profile.Text(), "[A]\nX=9\nx=2\n[a]\nX=3\n");
}

TEST_F(ProfileFileTest, IntegersReadAsDecimalOrHexadecimalAndOtherTextAsTheDefault) {
    struct Row {
        const char* text;
        std::int64_t expected;
    };
    const Row rows[] = {
        {"2097152", 2097152},
        {"0x200000", 2097152},
        {"0X1f", 31},
        {"-5", -5},
        {"+7", 7},
        {"-0x10", -16},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"0x7FFFFFFFFFFFFFFF", INT64_MAX},
        {"", -1},
        {"12a", -1},
        {"0x", -1},
        {"0xg", -1},
        {"1.5", -1},
        {"$10", -1},
        {"- 5", -1},
        {"9223372036854775808", -1},
        {"-9223372036854775809", -1},
        {"0x10000000000000000", -1},
        {"99999999999999999999999", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        ProfileFile profile;
        profile.Parse(std::string("[S]\nN=") + row.text + "\n");
        EXPECT_EQ(profile.ReadInteger("S", "N", -1), row.expected);
    }
}

TEST_F(ProfileFileTest, BooleansAreStoredAsOneAndZero) {
    ProfileFile profile;
    profile.Parse("[Application]\nFastImport=yes\n");
    EXPECT_TRUE(profile.ReadBool("Application", "FastImport", true));  // no integer: the default
    profile.WriteBool("Application", "FastImport", false);
    EXPECT_EQ(profile.Text(), "[Application]\nFastImport=0\n");
    EXPECT_FALSE(profile.ReadBool("Application", "FastImport", true));
}

TEST_F(ProfileFileTest, ValuesThatCannotBeStoredAreRefusedAndChangeNothing) {
    ProfileFile profile;
    profile.Parse("[S]\nN=old\n");
    EXPECT_THROW(profile.WriteString("S", "N", "two\nlines"), std::invalid_argument);
    EXPECT_THROW(profile.WriteString("S", "N", "carriage\rreturn"), std::invalid_argument);
    EXPECT_THROW(profile.WriteString("S", "A=B", "x"), std::invalid_argument);
    EXPECT_THROW(profile.WriteString("S", "", "x"), std::invalid_argument);
    EXPECT_THROW(profile.WriteString("S", ";N", "x"), std::invalid_argument);
    EXPECT_THROW(profile.WriteString("S]", "N", "x"), std::invalid_argument);
    EXPECT_EQ(profile.Text(), "[S]\nN=old\n");
}

TEST_F(ProfileFileTest, SaveAndLoadKeepAHundredThousandCharacterValueAndSingleByteText) {
    std::string longValue;
    for (int i = 0; longValue.size() < 100000; ++i) longValue += "SENSOR" + std::to_string(i) + "||ST1.S" + "|";
    longValue.resize(100000);
    const std::string highBytes = "caf\xE9 \x80\xFF";

    ProfileFile written;
    written.SetPath(PathOf("import.sfg"));
    written.WriteString("Import", "Sensors", longValue);
    written.WriteString("Import", "Note", highBytes);
    written.Save();

    ProfileFile read;
    read.Load(PathOf("import.sfg"));
    EXPECT_EQ(read.ReadString("Import", "Sensors", ""), longValue);
    EXPECT_EQ(read.ReadString("Import", "Note", ""), highBytes);
}

TEST_F(ProfileFileTest, MissingFileReadsAsEmptyAndTheFirstSaveCreatesIt) {
    ProfileFile profile;
    profile.Load(PathOf("new.VFG"));
    EXPECT_TRUE(profile.Sections().empty());
    EXPECT_EQ(profile.Path(), PathOf("new.VFG"));
    profile.WriteString("DataBase", "DataSource", "X");
    profile.Save();
    EXPECT_EQ(ReadFile(PathOf("new.VFG")), "[DataBase]\nDataSource=X\n");
    EXPECT_EQ(EntriesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(ProfileFileTest, SaveKeepsTheLineEndsAndPermissionsOfTheOldFile) {
    const std::string path = PathOf("crlf.VFG");
    WriteFile(path, "[A]\r\nX=1\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ProfileFile profile;
    profile.Load(path);
    profile.WriteString("A", "Y", "2");
    profile.Save();
    EXPECT_EQ(ReadFile(path), "[A]\r\nX=1\r\nY=2\r\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
}

TEST_F(ProfileFileTest, NewFileIsForItsOwnerAloneAndAnOldFileKeepsItsMode) {
    // Even with a umask that lets everything through, a new settings file
    // (it holds the protected password) is readable by its owner alone.
    const mode_t savedMask = ::umask(0);
    ProfileFile created;
    created.Load(PathOf("new.VFG"));
    created.WriteString("DataBase", "Password", "x");
    created.Save();
    EXPECT_EQ(fs::status(PathOf("new.VFG")).permissions(), fs::perms(0600));

    WriteFile(PathOf("shared.VFG"), "[A]\nX=1\n");
    ASSERT_EQ(::chmod(PathOf("shared.VFG").c_str(), 0644), 0);
    ProfileFile shared;
    shared.Load(PathOf("shared.VFG"));
    shared.WriteString("A", "X", "2");
    shared.Save();
    ::umask(savedMask);
    EXPECT_EQ(fs::status(PathOf("shared.VFG")).permissions(), fs::perms(0644));
    EXPECT_EQ(ReadFile(PathOf("shared.VFG")), "[A]\nX=2\n");
}

TEST_F(ProfileFileTest, SaveThroughASymbolicLinkReplacesTheFileItNames) {
    WriteFile(PathOf("real.VFG"), "[A]\nX=1\n");
    fs::create_symlink(PathOf("real.VFG"), PathOf("link.VFG"));
    ProfileFile profile;
    profile.Load(PathOf("link.VFG"));
    profile.WriteString("A", "X", "2");
    profile.Save();
    EXPECT_TRUE(fs::is_symlink(PathOf("link.VFG")));
    EXPECT_EQ(ReadFile(PathOf("real.VFG")), "[A]\nX=2\n");
}

TEST_F(ProfileFileTest, SaveIntoAMissingFolderThrowsTheSystemsReason) {
    ProfileFile profile;
    profile.SetPath(PathOf("no-such-folder/app.VFG"));
    profile.WriteString("A", "X", "1");
    try {
        profile.Save();
        FAIL() << "no error";
    } catch (const ProfileError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(PathOf("no-such-folder/app.VFG")), std::string::npos) << what;
        EXPECT_NE(what.find("No such file or directory"), std::string::npos) << what;
    }
    EXPECT_FALSE(fs::exists(PathOf("no-such-folder")));
}

TEST_F(ProfileFileTest, SaveOverAFolderFailsAndLeavesTheFolderAndNoTemporaryFile) {
    fs::create_directory(PathOf("app.VFG"));
    WriteFile(PathOf("app.VFG/inside"), "keep");
    ProfileFile profile;
    profile.SetPath(PathOf("app.VFG"));
    profile.WriteString("A", "X", "1");
    EXPECT_THROW(profile.Save(), ProfileError);
    EXPECT_EQ(ReadFile(PathOf("app.VFG/inside")), "keep");
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(ProfileFileTest, SaveThatFailsHalfWayLeavesTheOldFileWhole) {
    // A file size limit makes the write of the new content fail part-way, the
    // way a full disk would.
    const std::string path = PathOf("app.VFG");
    WriteFile(path, "[DataBase]\nDataSource=OLD\n");
    ProfileFile profile;
    profile.Load(path);
    profile.WriteString("Import", "Sensors", std::string(100000, 'x'));

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string what;
    try {
        profile.Save();
    } catch (const ProfileError& e) {
        what = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(what.find("File too large"), std::string::npos) << what;
    EXPECT_EQ(ReadFile(path), "[DataBase]\nDataSource=OLD\n");
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(ProfileFileTest, LoadOfAFolderOrOfBinaryDataThrowsAndLeavesAnEmptyProfileBoundToThePath) {
    fs::create_directory(PathOf("folder.VFG"));
    WriteFile(PathOf("binary.VFG"), std::string("[DataBase]\nDataSource=X\n\0\x01\x02", 27));
    struct Row {
        const char* name;
        const char* reason;
    };
    for (const Row& row : {Row{"folder.VFG", "Is a directory"}, Row{"binary.VFG", "not a text file"}}) {
        SCOPED_TRACE(row.name);
        ProfileFile profile;
        profile.Parse("[Old]\nX=1\n");
        try {
            profile.Load(PathOf(row.name));
            FAIL() << "no error";
        } catch (const ProfileError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Unable to read " + PathOf(row.name) + ": " + row.reason +
                          (std::string(row.reason) == "not a text file" ? " (it holds a zero byte)" : ""));
        }
        EXPECT_TRUE(profile.Sections().empty());
        EXPECT_EQ(profile.Path(), PathOf(row.name));
    }
}

TEST_F(ProfileFileTest, TruncatedFileReadsWhatIsThereAndKeepsTheCutLine) {
    ProfileFile profile;
    profile.Parse("[DataBase]\nDataSource=TARN\nUserNa");
    EXPECT_EQ(profile.ReadString("DataBase", "DataSource", ""), "TARN");
    EXPECT_EQ(profile.ReadString("DataBase", "UserName", "none"), "none");
    profile.Parse("[DataBase]\nDataSource=TARN\n[Applic");
    EXPECT_EQ(profile.Sections(), std::vector<std::string>{"DataBase"});
    EXPECT_EQ(profile.Text(), "[DataBase]\nDataSource=TARN\n[Applic\n");
}

TEST_F(ProfileFileTest, AnyTextReadsToAContentThatARewriteKeepsExactly) {
    // Random lines built from the characters that matter to the reader.
    std::string alphabet = "[]=; \t\r\nAbz\xE9";
    alphabet += '\0';
    std::mt19937 random(20050615);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 60);
        for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        SCOPED_TRACE(::testing::PrintToString(text));
        ProfileFile first;
        first.Parse(text);
        ProfileFile second;
        second.Parse(first.Text());
        EXPECT_EQ(second.Text(), first.Text());
        EXPECT_EQ(second.Sections(), first.Sections());
        for (const std::string& section : first.Sections())
            for (const std::string& name : first.ValueNames(section))
                EXPECT_EQ(second.ReadString(section, name, "?"), first.ReadString(section, name, "!"));
    }
}

TEST_F(ProfileFileTest, SectionsAndValuesCanBeListedAndRemoved) {
    ProfileFile profile;
    profile.Parse("[A]\nX=1\nplain\nY=2\n[B]\nZ=3\n");
    EXPECT_EQ(profile.ValueNames("a"), (std::vector<std::string>{"X", "Y"}));
    profile.DeleteValue("A", "x");
    profile.EraseSection("b");
    EXPECT_EQ(profile.Text(), "[A]\nplain\nY=2\n");
    profile.WriteString("A", "W", "4");  // after the last value, before nothing else
    EXPECT_EQ(profile.Text(), "[A]\nplain\nY=2\nW=4\n");
}

}  // namespace
}  // namespace vireo
