#include "settings/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "settings/Encrypt.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

const std::string kSettingsHeader = "[HKEY_LOCAL_MACHINE\\Software\\Quenta Corporation\\Tarnfold\\Settings]\n";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (folder_ / "registry.ini").string();
        cwd_ = fs::current_path().string() + "/";
    }
    void TearDown() override { ::unsetenv(kRegistryVariable); }

    void WriteRegistry(const std::string& content) const { std::ofstream(path_, std::ios::binary) << content; }

    /// 30 protected bytes that read back as "secret" and hold, after the
    /// separator, the bytes a text file finds hardest to carry.
    static std::string AwkwardProtectedForm() {
        const TXEncrypt cipher;
        const std::string plainStart = "secret:";
        std::string stored(plainStart.size(), '\0');
        cipher.Encrypt(plainStart.data(), stored.data(), plainStart.size());
        stored += std::string("\x00\x0A\x0D=\\ ;[]\x7F\x80\xE9\xFF\x01\x1F", 15);
        stored += std::string(TXEncrypt::kProtectedSize - stored.size() - 1, 'x');
        stored += ' ';  // a blank at the end of the line
        return stored;
    }

    testing::TempDir temp_{"vireo-registry"};
    fs::path folder_ = temp_.path();
    std::string path_;
    std::string cwd_;
};

TEST_F(RegistryTest, EveryByteSurvivesEscapingAndTheEscapedFormIsOneLineWithoutEndBlanks) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    for (const std::string& bytes : {all, std::string(" a b "), std::string("\\x41"), AwkwardProtectedForm()}) {
        const std::string escaped = EscapeRegistryValue(bytes);
        EXPECT_EQ(escaped.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << escaped;
        EXPECT_NE(escaped.front(), ' ');
        EXPECT_NE(escaped.back(), ' ');
        EXPECT_EQ(UnescapeRegistryValue(escaped), bytes) << escaped;
    }
}

TEST_F(RegistryTest, EscapesAreExact) {
    const std::pair<std::string, std::string> rows[] = {
        {"plain=text;#[]", "plain=text;#[]"},
        {" a b ", "\\x20a b\\x20"},
        {"C:\\Tarnfold", "C:\\\\Tarnfold"},
        {std::string("\x00\x0A\x7F\x80\xE9", 5), "\\x00\\x0A\\x7F\\x80\\xE9"},
        {"", ""},
    };
    for (const auto& [bytes, escaped] : rows) EXPECT_EQ(EscapeRegistryValue(bytes), escaped);
    EXPECT_EQ(UnescapeRegistryValue("\\x0a\\X0B\\xfF"), std::string("\x0A\x0B\xFF"));
}

TEST_F(RegistryTest, BadEscapesAreRefused) {
    for (const char* text : {"\\", "abc\\", "\\q", "\\x", "\\x4", "\\x4g", "\\xg4", "\\n", "a\\\\\\"}) {
        EXPECT_EQ(UnescapeRegistryValue(text), std::nullopt) << text;
    }
}

TEST_F(RegistryTest, KeysAndNamesAreFoundWithoutRegardToCase) {
    const RegistryStore store = RegistryStore::Parse(
        "; the installation's values\r\n"
        "# also a comment\r\n"
        "\r\n"
        "[hkey_local_machine\\SOFTWARE\\Quenta Corporation\\Tarnfold\\Settings\\]\r\n"
        "  home =  /opt/tarnfold  \r\n"
        "ODBC_Source=A=B\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
        "Home=/elsewhere\r\n",
        "test");
    EXPECT_TRUE(store.KeyExists(kTarnfoldSettingsKey));
    EXPECT_TRUE(store.KeyExists("HKEY_LOCAL_MACHINE\\Software\\Quenta Corporation\\Tarnfold\\Settings\\"));
    EXPECT_FALSE(store.KeyExists("HKEY_LOCAL_MACHINE\\Software\\Quenta Corporation\\Tarnfold"));
    EXPECT_EQ(store.ReadValue(kTarnfoldSettingsKey, "HOME"), "/opt/tarnfold");
    EXPECT_EQ(store.ReadValue(kTarnfoldSettingsKey, "odbc_source"), "A=B");
    EXPECT_EQ(store.ReadValue(kTarnfoldSettingsKey, "ODBC_User"), std::nullopt);
}

TEST_F(RegistryTest, GarbledFileIsRefusedWithTheLine) {
    const std::pair<std::string, std::string> rows[] = {
        {kSettingsHeader + "Home\n", "test, line 2: expected [key] or Name=value"},
        {"Home=/opt\n", "test, line 1: a value before the first [key]"},
        {"[HKEY_LOCAL_MACHINE\\Software\n", "test, line 1: a key line must end with ']'"},
        {kSettingsHeader + "\nODBC_Pass=\\x4\n", "test, line 3: bad escape in the value (use \\\\ or \\xHH)"},
        {kSettingsHeader + std::string("Home=\0", 6), "test: not a text file (it holds a zero byte)"},
    };
    for (const auto& [text, message] : rows) {
        SCOPED_TRACE(text);
        try {
            RegistryStore::Parse(text, "test");
            ADD_FAILURE() << "no error";
        } catch (const RegistryError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST_F(RegistryTest, HomeDirectoryIsTheHomeValueWhenItIsAFolderElseTheCurrentDirectory) {
    const std::string home = (folder_ / "home").string();
    fs::create_directory(home);
    std::ofstream((folder_ / "file").string()) << "x";
    const std::pair<std::string, std::string> rows[] = {
        {kSettingsHeader + "Home=" + home + "\n", home + "/"},
        {kSettingsHeader + "Home=" + home + "/\n", home + "/"},
        {kSettingsHeader + "Home=" + home + "/missing\n", cwd_},
        {kSettingsHeader + "Home=" + (folder_ / "file").string() + "\n", cwd_},
        {kSettingsHeader + "Home=\n", cwd_},
        {kSettingsHeader, cwd_},
        {"[HKEY_LOCAL_MACHINE\\Software\\Other]\nHome=" + home + "\n", cwd_},
        {kSettingsHeader + "Home=" + home + "\ngarbage line\n", cwd_},
    };
    for (const auto& [registry, expected] : rows) {
        SCOPED_TRACE(registry);
        WriteRegistry(registry);
        EXPECT_EQ(LoadHomeDirectory(path_), expected);
    }
    EXPECT_EQ(LoadHomeDirectory((folder_ / "no-registry.ini").string()), cwd_);
    EXPECT_EQ(LoadHomeDirectory(folder_.string()), cwd_);  // a folder cannot be read
}

TEST_F(RegistryTest, RegistryFileComesFromTheEnvironment) {
    const std::string home = (folder_ / "home").string();
    fs::create_directory(home);
    WriteRegistry(kSettingsHeader + "Home=" + home + "\nODBC_Source=TARN\n");
    ::setenv(kRegistryVariable, path_.c_str(), 1);
    EXPECT_EQ(RegistryPath(), path_);
    EXPECT_EQ(LoadHomeDirectory(), home + "/");
    std::string source, user, password;
    EXPECT_TRUE(ReadOdbcSettings(source, user, password));
    EXPECT_EQ(source, "TARN");

    ::setenv(kRegistryVariable, "", 1);
    EXPECT_EQ(RegistryPath(), "/etc/tarnfold/registry.ini");
    ::unsetenv(kRegistryVariable);
    EXPECT_EQ(RegistryPath(), "/etc/tarnfold/registry.ini");
}

TEST_F(RegistryTest, OdbcSettingsReadTheDefaultConnectionWithTheClearPassword) {
    const std::string stored = AwkwardProtectedForm();
    WriteRegistry(kSettingsHeader +
                  "ODBC_Source=TARNFOLD\nODBC_User=tf_user\nODBC_Pass=" + EscapeRegistryValue(stored) + "\n");
    EXPECT_EQ(RegistryStore::Load(path_).ReadValue(kTarnfoldSettingsKey, "ODBC_Pass"), stored);

    std::string source = "old", user = "old", password = "old";
    EXPECT_TRUE(ReadOdbcSettings(path_, source, user, password));
    EXPECT_EQ(source, "TARNFOLD");
    EXPECT_EQ(user, "tf_user");
    EXPECT_EQ(password, "secret");

    WriteRegistry(kSettingsHeader + "ODBC_Pass=" + EscapeRegistryValue(TXEncrypt().EncryptPassword("pa ss\xE9")) +
                  "\n");
    EXPECT_TRUE(ReadOdbcSettings(path_, source, user, password));
    EXPECT_EQ(source, "");
    EXPECT_EQ(password, "pa ss\xE9");
}

TEST_F(RegistryTest, MissingFileOrKeyGivesEmptyDefaultsAndSuccess) {
    for (const std::string& registry : {std::string(), std::string("[HKEY_LOCAL_MACHINE\\Software\\Other]\nX=1\n")}) {
        SCOPED_TRACE(registry);
        std::error_code ignored;
        fs::remove(path_, ignored);
        if (!registry.empty()) WriteRegistry(registry);
        std::string source = "old", user = "old", password = "old";
        EXPECT_TRUE(ReadOdbcSettings(path_, source, user, password));
        EXPECT_EQ(source + user + password, "");
    }
}

TEST_F(RegistryTest, UnreadableOrGarbledStoreFailsWithEmptyOutputs) {
    WriteRegistry(kSettingsHeader + "ODBC_Source=TARN\nODBC_Pass=\\z\n");
    std::string source = "old", user = "old", password = "old";
    EXPECT_FALSE(ReadOdbcSettings(path_, source, user, password));
    EXPECT_EQ(source + user + password, "");

    EXPECT_FALSE(ReadOdbcSettings(folder_.string(), source, user, password));
    try {
        RegistryStore::Load(folder_.string());
        ADD_FAILURE() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to read " + folder_.string() + ": Is a directory");
    }
}

}  // namespace
}  // namespace vireo
