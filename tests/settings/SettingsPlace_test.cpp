// Where the settings file lives: beside the program when it is there or the
// program's folder may be written, else the user's own file; and where the
// program finds its help.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "Version.h"
#include "settings/Params.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

TEST(SettingsPlace, TheFileBesideTheProgramUnlessItIsMissingAndItsFolderReadOnly) {
    struct Case {
        bool exists;
        bool writable;
        std::string configHome;
        std::string expected;
    };
    const std::string beside = "/opt/vireo/bin/VireoImport.VFG";
    const std::string own = "/home/ann/.config/VireoImport/VireoImport.VFG";
    const Case cases[] = {
        {false, true, "/home/ann/.config", beside},  // a folder of one's own, as before
        {true, false, "/home/ann/.config", beside},  // a file the administrator put there
        {true, true, "/home/ann/.config", beside},
        {false, false, "/home/ann/.config", own},  // an installed program
        {false, false, "", beside},                // no home: as before, and Error 1003 when saved
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseSettingsPath(beside, c.exists, c.writable, c.configHome), c.expected)
            << c.exists << c.writable << c.configHome;
}

class EnvironmentScope {
public:
    explicit EnvironmentScope(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) saved_ = value;
    }
    ~EnvironmentScope() {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    void Set(const char* value) const {
        if (value)
            ::setenv(name_, value, 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(SettingsPlace, TheUsersConfigurationFolder) {
    const EnvironmentScope xdg("XDG_CONFIG_HOME");
    const EnvironmentScope home("HOME");
    struct Case {
        const char* xdg;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/srv/conf", "/home/ann", "/srv/conf"},
        {"relative/conf", "/home/ann", "/home/ann/.config"},  // not absolute: ignored, as XDG says
        {"", "/home/ann", "/home/ann/.config"},
        {nullptr, "/home/ann", "/home/ann/.config"},
    };
    for (const Case& c : cases) {
        xdg.Set(c.xdg);
        home.Set(c.home);
        EXPECT_EQ(UserConfigHome(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
}

/// A program folder bin/ in a temporary tree, and a home of the user's own.
class SettingsFolderTest : public ::testing::Test {
protected:
    SettingsFolderTest() {
        fs::create_directories(bin_);
        xdg_.Set((temp_.path() / "config").c_str());
    }
    ~SettingsFolderTest() override { fs::permissions(bin_, fs::perms(0755)); }
    std::string Beside() const { return (bin_ / "VireoImport.VFG").string(); }
    std::string Own() const { return (temp_.path() / "config/VireoImport/VireoImport.VFG").string(); }

    /// SettingsFileFor(Beside()) with the program's folder read-only to the
    /// one who asks: root passes every access check, so then a child asks as
    /// the user nobody.
    std::string AskedWithReadOnlyFolder() const {
        fs::permissions(bin_, fs::perms(0555));
        if (::geteuid() != 0) return SettingsFileFor(Beside());
        fs::permissions(temp_.path(), fs::perms(0755));
        int channel[2];
        if (::pipe(channel) != 0) return "no pipe";
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(channel[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
            const std::string path = SettingsFileFor(Beside());
            const bool written = ::write(channel[1], path.data(), path.size()) == static_cast<ssize_t>(path.size());
            ::_exit(written ? 0 : 1);
        }
        ::close(channel[1]);
        std::string path;
        char buffer[512];
        for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) path.append(buffer, got);
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        return path;
    }

    testing::TempDir temp_{"vireo-settings-place"};
    fs::path bin_ = temp_.path() / "bin";
    EnvironmentScope xdg_{"XDG_CONFIG_HOME"};
};

TEST_F(SettingsFolderTest, AWritableProgramFolderKeepsTheFileBesideTheProgram) {
    EXPECT_EQ(SettingsFileFor(Beside()), Beside());
}

TEST_F(SettingsFolderTest, AReadOnlyProgramFolderGivesTheUsersOwnFile) {
    EXPECT_EQ(AskedWithReadOnlyFolder(), Own());
    fs::permissions(bin_, fs::perms(0755));
    testing::WriteFile(Beside(), "[DataBase]\n");
    EXPECT_EQ(AskedWithReadOnlyFolder(), Beside()) << "a file there is read and written there, as before";
}

TEST_F(SettingsFolderTest, AnInstalledProgramsFolderIsNotWrittenEvenByRoot) {
    fs::create_directories(bin_ / VIREO_DATA_FROM_PROGRAM);
    EXPECT_EQ(SettingsFileFor(Beside()), Own());

    // The window's first save makes the folder for the owner only and the file
    // readable by its owner only.
    ProfileFile file;
    AppSettings values;
    testing::StatusRecorder sink;
    ASSERT_TRUE(LoadSettings(Own(), file, values, sink));
    values.FDataSource = "TARNFOLD";
    ASSERT_TRUE(MakeSettingsFolder(Own()));
    ASSERT_TRUE(WriteSettings(file, values, sink));
    EXPECT_EQ(fs::status(fs::path(Own()).parent_path()).permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(Own()).permissions(), fs::perms(0600));
    AppSettings reread;
    ASSERT_TRUE(LoadSettings(SettingsFileFor(Beside()), file, reread, sink));
    EXPECT_EQ(reread.FDataSource, "TARNFOLD");
}

TEST_F(SettingsFolderTest, TheHelpBesideTheProgramElseInTheInstalledDataFolder) {
    const std::string program = (bin_ / "VireoImport").string();
    const fs::path data = (bin_ / VIREO_DATA_FROM_PROGRAM).lexically_normal();
    EXPECT_EQ(ProgramDataFile(program, "VireoImport.html"), (bin_ / "VireoImport.html").string()) << "found nowhere";
    fs::create_directories(data);
    testing::WriteFile((data / "VireoImport.html").string(), "<html/>");
    EXPECT_EQ(ProgramDataFile(program, "VireoImport.html"), (data / "VireoImport.html").string());
    testing::WriteFile((bin_ / "VireoImport.html").string(), "<html/>");
    EXPECT_EQ(ProgramDataFile(program, "VireoImport.html"), (bin_ / "VireoImport.html").string()) << "a build tree";
}

}  // namespace
}  // namespace vireo
