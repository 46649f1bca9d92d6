// Which connection the command line opens, and how it takes a password: on
// real data sources, with the window's settings file beside the program and
// the installation's registry file.
#include "cli/CliConnection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "settings/Encrypt.h"
#include "settings/Registry.h"
#include "support/LoginRole.h"
#include "support/TempDir.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using testing::CliRun;
using testing::RunCommand;

constexpr const char* kStation = "INSERT INTO TF_SITES (STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n";

/// The window's settings file beside the test program and the installation's
/// registry file, both gone again at the end of the test.
class CliConnectionTest : public ::testing::Test {
protected:
    CliConnectionTest() { ::setenv(kRegistryVariable, registry_.c_str(), 1); }
    ~CliConnectionTest() override {
        ::unsetenv(kRegistryVariable);
        ::unsetenv("VIREO_TEST_LOGIN");
        std::error_code ignored;
        std::filesystem::remove(cli::WindowSettingsPath(), ignored);
    }

    void WriteSettings(const std::string& source, const std::string& user, const std::string& password) const {
        WriteFile(cli::WindowSettingsPath(), "[DataBase]\nDataSource=\"" + source + "\"\nUserName=" + user +
                                                 "\nPassword=" + ProtectForSettings(password) + "\n");
    }
    void WriteRegistry(const std::string& source, const std::string& user, const std::string& password) const {
        WriteFile(registry_, "[" + std::string(kTarnfoldSettingsKey) + "]\nODBC_Source=" + source +
                                 "\nODBC_User=" + user +
                                 "\nODBC_Pass=" + EscapeRegistryValue(TXEncrypt().EncryptPassword(password)) + "\n");
    }

    TempDir dir_{"vireo-cli-connection"};
    std::string registry_ = dir_.File("registry.ini");
};

TEST_F(CliConnectionTest, ATabAsStoredDataSourceCountsAsNone) {
    ASSERT_FALSE(std::filesystem::exists(cli::WindowSettingsPath())) << "a settings file beside the test program";
    TestDataSource installed(Backend::Sqlite);
    installed.Execute(kStation);
    WriteRegistry(installed.Name(), installed.User(), installed.Password());
    for (const std::string blank : {"\t", " \t ", ""}) {
        SCOPED_TRACE("[" + blank + "]");
        WriteSettings(blank, "", "ignored");
        const CliRun run = RunCommand({"stations"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "ST01\n");
    }
}

TEST_F(CliConnectionTest, AFailedConnectionNamesTheDataSourceAndTheReason) {
    const CliRun run = RunCommand({"stations", "--dsn", "NoSuchSource"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("Unable to connect to NoSuchSource\n", 0), 0u) << run.err;
    EXPECT_GT(run.err.size(), std::string("Unable to connect to NoSuchSource\n").size());
}

TEST_F(CliConnectionTest, WithoutADataSourceTheMessageSaysWhereToNameOne) {
    ASSERT_FALSE(std::filesystem::exists(cli::WindowSettingsPath())) << "a settings file beside the test program";
    const std::string noSource =
        "No data source is configured: name one with --dsn NAME, with DataSource= in the "
        "[DataBase] section of the settings file " +
        cli::WindowSettingsPath() +
        " (the window stores its last connection there), or with ODBC_Source= in the "
        "installation values " +
        registry_ + " (TARNFOLD_REGISTRY names another file)\n";
    struct Row {
        std::string registry;  // the registry file's text; none: no file
        std::string err;
    };
    const Row rows[] = {
        {"", noSource},
        {"[" + std::string(kTarnfoldSettingsKey) + "]\nODBC_User=someone\n", noSource},
        {"[" + std::string(kTarnfoldSettingsKey) + "]\nODBC_Source=X\nODBC_Pass=\\z\n",
         "Unable to connnect to database\n" + registry_ + ", line 3: bad escape in the value (use \\\\ or \\xHH)\n"},
        {"ODBC_Source=X\n",
         "Unable to connnect to database\n" + registry_ + ", line 1: a value before the first [key]\n"},
    };
    WriteFile(dir_.File("a.log"), "A,06/15/2005,12:30:00,1,G\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.registry);
        std::filesystem::remove(registry_);
        if (!row.registry.empty()) WriteFile(registry_, row.registry);
        for (const std::string command : {"stations", "import"}) {
            const CliRun run = command == "stations"
                                   ? RunCommand({"stations"})
                                   : RunCommand({"import", dir_.File("a.log"), "--pair", "A||ST01.T"});
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, row.err);
        }
    }
}

TEST_F(CliConnectionTest, APasswordTheWindowsCodePageCannotHoldIsRefused) {
    TestDataSource source(Backend::Sqlite);
    ::setenv("VIREO_TEST_LOGIN", "T\xCE\xA9", 1);  // TΩ
    const CliRun run = RunCommand({"stations", "--dsn", source.Name(), "--password-env", "VIREO_TEST_LOGIN"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "The password in VIREO_TEST_LOGIN holds a character that Windows-1252 cannot hold\n");
}

class CliPasswordTest : public CliConnectionTest, public ::testing::WithParamInterface<Backend> {};

TEST_P(CliPasswordTest, APasswordWithAnAccentLogsInFromEveryForm) {
    TestDataSource source(GetParam());
    source.Execute(kStation);
    const std::string password = "p\xE9ss";  // péss in Windows-1252
    LoginRole role(source, password);

    // Typed into the terminal's environment as UTF-8.
    ::setenv("VIREO_TEST_LOGIN", "p\xC3\xA9ss", 1);
    CliRun run =
        RunCommand({"stations", "--dsn", source.Name(), "--user", role.Name(), "--password-env", "VIREO_TEST_LOGIN"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ST01\n");

    // The settings file's form, as the window stores it.
    WriteSettings(source.Name(), role.Name(), password);
    run = RunCommand({"stations"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ST01\n");

    // The registry file's form, as protect-password prints it.
    std::istringstream in("p\xC3\xA9ss\n");
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunCli({"protect-password"}, in, out, err), 0) << err.str();
    const std::string printed = out.str();
    const std::string registryLine = printed.substr(0, printed.find('\n'));
    WriteFile(registry_, "[" + std::string(kTarnfoldSettingsKey) + "]\nODBC_Source=" + source.Name() +
                             "\nODBC_User=" + role.Name() + "\n" + registryLine + "\n");
    std::filesystem::remove(cli::WindowSettingsPath());
    run = RunCommand({"stations"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ST01\n");

    // The same password given as Windows-1252 bytes is no UTF-8 text.
    ::setenv("VIREO_TEST_LOGIN", password.c_str(), 1);
    run = RunCommand({"stations", "--dsn", source.Name(), "--user", role.Name(), "--password-env", "VIREO_TEST_LOGIN"});
    EXPECT_EQ(run.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Postgres, CliPasswordTest, ::testing::Values(Backend::PostgresAnsi, Backend::PostgresUnicode),
                         [](const ::testing::TestParamInfo<Backend>& info) { return BackendName(info.param); });

}  // namespace
}  // namespace vireo::testing
