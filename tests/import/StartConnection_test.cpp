#include "import/StartConnection.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/Encrypt.h"
#include "settings/Registry.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using testing::TempDir;
using testing::WriteFile;

/// The installation's registry file of the test, with one default connection.
class StartConnectionTest : public ::testing::Test {
protected:
    StartConnectionTest() {
        WriteFile(registry_, "[" + std::string(kTarnfoldSettingsKey) +
                                 "]\nODBC_Source=Installed\nODBC_User=installer\nODBC_Pass=" +
                                 EscapeRegistryValue(TXEncrypt().EncryptPassword("inst\xE9")) + "\n");
        ::setenv(kRegistryVariable, registry_.c_str(), 1);
    }
    ~StartConnectionTest() override { ::unsetenv(kRegistryVariable); }

    TempDir dir_{"vireo-start"};
    std::string registry_ = dir_.File("registry.ini");
};

TEST_F(StartConnectionTest, BlankStoredValuesTakeTheInstallationsConnection) {
    const std::string stored = ProtectForSettings("st\xE9red");
    struct Row {
        const char* source;
        const char* user;
        const char* dataSource;
        const char* userName;
        const char* password;
        bool fromInstallation;
    };
    const Row rows[] = {
        {"", "", "Installed", "installer", "inst\xE9", true},
        {"\t", "", "Installed", "installer", "inst\xE9", true},  // a tab is blank too
        {" \t ", "\t", "Installed", "installer", "inst\xE9", true},
        {"Stored", "keeper", "Stored", "keeper", "st\xE9red", false},
        {"Stored", "", "Stored", "", "st\xE9red", false},  // only one blank: taken as it is
        {"\t", "keeper", "\t", "keeper", "st\xE9red", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("[") + row.source + "][" + row.user + "]");
        AppSettings settings;
        settings.FDataSource = row.source;
        settings.FUserName = row.user;
        settings.FPassword = stored;
        StartConnection chosen;
        ASSERT_TRUE(ChooseStartConnection(settings, chosen));
        EXPECT_EQ(chosen.dataSource, row.dataSource);
        EXPECT_EQ(chosen.userName, row.userName);
        EXPECT_EQ(chosen.password, row.password);
        EXPECT_EQ(chosen.fromInstallation, row.fromInstallation);
    }
}

TEST_F(StartConnectionTest, AnUnreadableInstallationGivesItsOwnMessage) {
    WriteFile(registry_, "this is no registry\n");
    StartConnection chosen;
    EXPECT_FALSE(ChooseStartConnection(AppSettings{}, chosen));
    EXPECT_EQ(InstallationValuesErrorText(), "Unable to connnect to database");
}

TEST(ConnectFailureText, TheReasonGoesOnASecondLine) {
    EXPECT_EQ(ConnectFailureText("Tarnfold", "no such file"), "Unable to connect to Tarnfold\nno such file");
    EXPECT_EQ(ConnectFailureText("Tarnfold", ""), "Unable to connect to Tarnfold");
    EXPECT_EQ(ConnectFailureText("", ""), "Unable to connect to ");
}

TEST(FreeShare, KnownUsageShowsWhatIsLeftAndUnknownShowsAMarker) {
    struct Row {
        DataStoreUsage usage;
        FreeShareShown::State state;
        int percent;
        const char* text;
    };
    const Row rows[] = {
        {{true, 1}, FreeShareShown::State::Known, 99, "99"},
        {{true, 100}, FreeShareShown::State::Known, 0, "0"},
        {{true, 0}, FreeShareShown::State::Known, 100, "100"},
        {{false, 0}, FreeShareShown::State::Unknown, 0, "n/a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const FreeShareShown shown = FreeShareOf(row.usage);
        EXPECT_EQ(shown.state, row.state);
        EXPECT_EQ(shown.percent, row.percent);
        EXPECT_EQ(FreeShareText(shown), row.text);
    }
}

}  // namespace
}  // namespace vireo
