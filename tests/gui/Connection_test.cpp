// The connection at start, the login dialog, Disconnect, the station and
// sensor lists and the free share of the data store, on a real SQLite data
// source through the ODBC driver.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QWindow>
#include <algorithm>

#include "gui/GuiTestSupport.h"
#include "gui/MyLogin.h"
#include "settings/Encrypt.h"
#include "settings/ProfileFile.h"
#include "support/LoginRole.h"
#include "support/TestDataSource.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;
using gui::TMyLoginForm;

constexpr const char* kStations =
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('st02', 'Y');\n"
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST03', 'N');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'batt', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'OLD', 'N');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST02', 'AT', 'Y');\n";

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string SettingsFileFor(const std::string& source, const std::string& user, const std::string& password,
                            const std::string& extra = "") {
    return "[DataBase]\nDataSource=" + source + "\nUserName=" + user + "\nPassword=" + ProtectForSettings(password) +
           "\n" + extra;
}

class ConnectionTest : public GuiTest {
protected:
    ConnectionTest() { source.Execute(kStations); }

    /// Fills the login dialog when it comes up and confirms it.
    void LoginWith(const std::string& alias, const std::string& user, const std::string& password) {
        WhenModalShown([alias, user, password](QWidget* modal) {
            auto* form = qobject_cast<TMyLoginForm*>(modal);
            ASSERT_NE(form, nullptr);
            form->cboDBAlias->setCurrentIndex(form->cboDBAlias->findText(QString::fromStdString(alias)));
            form->edtDBUserName->setText(QString::fromStdString(user));
            form->edtDBPassword->setText(QString::fromStdString(password));
            form->btnOK->click();
        });
    }

    TestDataSource source{Backend::Sqlite};
};

TEST_F(ConnectionTest, FirstStartWithoutSettingsOrInstallationValuesFailsWithAnEmptyAlias) {
    TfrmMain& w = StartWindow();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(FirstLine(dialogs.shown[0].text), "Unable to connect to ");
    EXPECT_TRUE(w.DBConnect1->isEnabled());
    EXPECT_FALSE(w.DBDisconnect1->isEnabled());
    EXPECT_TRUE(w.lblDB->text().isEmpty());
    EXPECT_EQ(w.cbxStations->count(), 0);
}

TEST_F(ConnectionTest, GarbledInstallationValuesGiveTheirOwnMessage) {
    WriteFile(RegistryFile(), "this is no registry\n");
    TfrmMain& w = StartWindow();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Unable to connnect to database"});
    EXPECT_TRUE(w.DBConnect1->isEnabled());
    EXPECT_FALSE(w.DBDisconnect1->isEnabled());
}

TEST_F(ConnectionTest, ConnectsAtStartWithTheInstallationValuesAndListsStationsAndSensors) {
    WriteRegistry(source.Name(), source.User(), source.Password());
    TfrmMain& w = StartWindow();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    EXPECT_FALSE(w.DBConnect1->isEnabled());
    EXPECT_TRUE(w.DBDisconnect1->isEnabled());
    EXPECT_EQ(w.lblDB->text().toStdString(), source.Name());
    EXPECT_EQ(w.FConnection.FDataSource, source.Name());
    EXPECT_EQ(w.FConnection.FUserName, source.User());
    EXPECT_EQ(ClearFromSettings(w.FConnection.FPassword), source.Password());
    EXPECT_EQ(w.DBAvailSizePecent->text().toStdString(), "99");  // a small file against 2 GiB

    EXPECT_EQ(Items(w.cbxStations), (std::vector<std::string>{"ST01", "ST02"}));
    EXPECT_EQ(w.cbxStations->currentIndex(), 0);
    EXPECT_EQ(Items(w.lbxSensors), (std::vector<std::string>{"TEMP", "BATT"}));

    w.cbxStations->setCurrentIndex(1);  // as the user picks it
    EXPECT_EQ(Items(w.lbxSensors), std::vector<std::string>{"AT"});
}

TEST_F(ConnectionTest, ConnectsAtStartWithTheStoredSettings) {
    WriteFile(SettingsPath(), SettingsFileFor(source.Name(), source.User(), source.Password()));
    TfrmMain& w = StartWindow();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w.lblDB->text().toStdString(), source.Name());
    EXPECT_EQ(Items(w.cbxStations), (std::vector<std::string>{"ST01", "ST02"}));
}

TEST_F(ConnectionTest, LoginDialogConnectsAndStoresTheProtectedPasswordAtOnce) {
    TfrmMain& w = StartWindow();  // nothing configured: the start attempt fails
    dialogs.shown.clear();
    TMyLoginForm* form = w.MyLoginForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Database Login");
    EXPECT_NE(form->cboDBAlias->findText(QString::fromStdString(source.Name())), -1);
    EXPECT_EQ(form->edtDBPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(
        form->edtDBPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, form->edtDBPassword),
        '*');

    LoginWith(source.Name(), "operator", "s3cret");
    w.DBConnect1Execute();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(w.DBConnect1->isEnabled());
    EXPECT_TRUE(w.DBDisconnect1->isEnabled());
    EXPECT_EQ(w.lblDB->text().toStdString(), source.Name());
    EXPECT_EQ(Items(w.cbxStations), (std::vector<std::string>{"ST01", "ST02"}));

    // Written right after the connection, before the window closes.
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(settings.ReadString("DataBase", "DataSource", ""), source.Name());
    EXPECT_EQ(settings.ReadString("DataBase", "UserName", ""), "operator");
    const std::string stored = settings.ReadString("DataBase", "Password", "");
    EXPECT_EQ(stored.size(), 40u);
    EXPECT_EQ(ClearFromSettings(stored), "s3cret");
    EXPECT_EQ(ReadFile(SettingsPath()).find("s3cret"), std::string::npos);
    EXPECT_TRUE(form->DBPassword.empty()) << "the clear password is not kept";
    EXPECT_TRUE(form->edtDBPassword->text().isEmpty());
}

TEST_F(ConnectionTest, LoginDialogPreselectsTheAliasWithoutRegardToCaseAndRefillsAfterTheMessage) {
    std::string otherCase = source.Name();
    for (char& c : otherCase) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(otherCase, source.Name());
    WriteFile(SettingsPath(), SettingsFileFor(otherCase, "keeper", "pw"));
    TfrmMain& w = StartWindow();
    dialogs.shown.clear();
    const std::string passwordBefore = w.FConnection.FPassword;
    w.DBDisconnect1Execute();

    bool checked = false;
    WhenModalShown([&](QWidget* modal) {
        auto* form = qobject_cast<TMyLoginForm*>(modal);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->cboDBAlias->currentText().toStdString(), source.Name());
        EXPECT_EQ(form->edtDBUserName->text().toStdString(), "keeper");
        EXPECT_EQ(form->edtDBPassword->text().toStdString(), "pw");

        form->cboDBAlias->setCurrentIndex(-1);
        form->edtDBUserName->setText(QStringLiteral("typed"));
        form->btnOK->click();
        EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Please select ODBC connection string"});
        EXPECT_TRUE(form->isVisible()) << "the dialog stays open";
        EXPECT_EQ(form->edtDBUserName->text().toStdString(), "keeper") << "the window's values come back";
        EXPECT_EQ(form->cboDBAlias->currentText().toStdString(), source.Name());
        checked = true;
        form->btnCancel->click();
    });
    w.DBConnect1Execute();
    EXPECT_TRUE(checked);
    // Cancel leaves the connection settings as they were.
    EXPECT_EQ(w.FConnection.FDataSource, otherCase);
    EXPECT_EQ(w.FConnection.FUserName, "keeper");
    EXPECT_EQ(w.FConnection.FPassword, passwordBefore);
    EXPECT_TRUE(w.DBConnect1->isEnabled());
}

TEST_F(ConnectionTest, FailedConnectionShowsTheDriversReasonAndKeepsTheStoredPassword) {
    const std::string broken = TestOdbc::Instance().UniqueName("Broken");
    TestOdbc::Instance().DefineDataSource(
        broken, {{"Driver", "SQLite3"}, {"Database", dir.File("no-such-folder/tarnfold.db")}, {"Timeout", "100"}});
    WriteFile(SettingsPath(), SettingsFileFor(source.Name(), source.User(), source.Password()));
    TfrmMain& w = StartWindow();
    const std::string passwordBefore = w.FConnection.FPassword;
    ASSERT_TRUE(dialogs.shown.empty());
    w.DBDisconnect1Execute();

    LoginWith(broken, "someone", "new-password");
    w.DBConnect1Execute();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const std::string& text = dialogs.shown[0].text;
    EXPECT_EQ(FirstLine(text), "Unable to connect to " + broken);
    EXPECT_GT(text.size(), FirstLine(text).size() + 1) << "the driver's reason follows on a second line";
    EXPECT_EQ(w.FConnection.FPassword, passwordBefore);
    EXPECT_TRUE(w.DBConnect1->isEnabled());
    EXPECT_FALSE(w.DBDisconnect1->isEnabled());

    w.close();
    const std::string written = ReadFile(SettingsPath());
    EXPECT_EQ(written.find("new-password"), std::string::npos);
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(settings.ReadString("DataBase", "Password", ""), passwordBefore);
}

TEST_F(ConnectionTest, DisconnectEmptiesTheCatalogueAndKeepsTheLists) {
    WriteRegistry(source.Name(), source.User(), source.Password());
    TfrmMain& w = StartWindow();
    w.AddLogSensor("TEMP");
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    const QString shownShare = w.DBAvailSizePecent->text();

    w.DBDisconnect1Execute();
    EXPECT_TRUE(w.DBConnect1->isEnabled());
    EXPECT_FALSE(w.DBDisconnect1->isEnabled());
    EXPECT_TRUE(w.lblDB->text().isEmpty());
    EXPECT_EQ(w.cbxStations->count(), 0);
    EXPECT_EQ(w.lbxSensors->count(), 0);
    EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
    EXPECT_EQ(Items(w.lbxImport), std::vector<std::string>{"TEMP||ST01.TEMP"});
    ASSERT_FALSE(shownShare.isEmpty());
    EXPECT_TRUE(w.DBAvailSizePecent->text().isEmpty()) << "no database: no size to show";
    EXPECT_EQ(w.FFreeShare.state, FreeShareShown::State::NotShown);

    LoginWith(source.Name(), source.User(), source.Password());
    w.DBConnect1Execute();
    EXPECT_EQ(Items(w.cbxStations), (std::vector<std::string>{"ST01", "ST02"}));
    EXPECT_EQ(w.DBAvailSizePecent->text(), shownShare);
}

TEST_F(ConnectionTest, FreeShareBelowTenStaysRedAndBoldForTheSession) {
    WriteFile(SettingsPath(),
              SettingsFileFor(source.Name(), source.User(), source.Password(), "[Application]\nMaxDBFileSize=1\n"));
    TfrmMain& w = StartWindow();
    EXPECT_EQ(w.DBAvailSizePecent->text().toStdString(), "0");  // the file is larger than 1 KiB
    EXPECT_EQ(w.DBAvailSizePecent->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(w.DBAvailSizePecent->font().bold());
    EXPECT_EQ(w.FFreeShare.state, FreeShareShown::State::Known);
    EXPECT_EQ(w.FFreeShare.percent, 0);

    w.FConnection.FMaxDBFileSize = 2097152;
    ASSERT_TRUE(w.ConnectDatabase(source.Name(), source.User(), source.Password()));
    EXPECT_EQ(w.DBAvailSizePecent->text().toStdString(), "99");
    EXPECT_EQ(w.DBAvailSizePecent->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(w.DBAvailSizePecent->font().bold());
}

TEST_F(ConnectionTest, UnknownUsageShowsAMarkerInsteadOfANumber) {
    const std::string server = TestOdbc::Instance().UniqueName("NoFile");
    TestOdbc::Instance().DefineDataSource(server, {{"Driver", "SQLite3"}, {"Timeout", "100"}});
    TfrmMain& w = StartWindow();
    w.ConnectDatabase(server, "", "");
    EXPECT_EQ(w.DBAvailSizePecent->text().toStdString(), "n/a");
    EXPECT_EQ(w.FFreeShare.state, FreeShareShown::State::Unknown);
}

TEST_F(ConnectionTest, ALimitOfZeroFailsTheConnection) {
    WriteFile(SettingsPath(),
              SettingsFileFor(source.Name(), source.User(), source.Password(), "[Application]\nMaxDBFileSize=0\n"));
    TfrmMain& w = StartWindow();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(FirstLine(dialogs.shown[0].text), "Unable to connect to " + source.Name());
    EXPECT_TRUE(w.DBConnect1->isEnabled());
}

TEST_F(ConnectionTest, AFailedLoginKeepsTheStoredConnectionForTheNextStart) {
    const std::string broken = TestOdbc::Instance().UniqueName("Broken");
    TestOdbc::Instance().DefineDataSource(
        broken, {{"Driver", "SQLite3"}, {"Database", dir.File("no-such-folder/tarnfold.db")}, {"Timeout", "100"}});
    WriteFile(SettingsPath(), SettingsFileFor(source.Name(), source.User(), source.Password()));
    TfrmMain& w = StartWindow();
    ASSERT_TRUE(dialogs.shown.empty());
    w.DBDisconnect1Execute();

    LoginWith(broken, "someone", "typed");
    w.DBConnect1Execute();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(FirstLine(dialogs.shown[0].text), "Unable to connect to " + broken);
    EXPECT_EQ(w.FConnection.FDataSource, source.Name());
    EXPECT_EQ(w.FConnection.FUserName, source.User());
    EXPECT_EQ(ClearFromSettings(w.FConnection.FPassword), source.Password());

    w.close();  // File > Exit writes the settings
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(settings.ReadString("DataBase", "DataSource", ""), source.Name());
    EXPECT_EQ(settings.ReadString("DataBase", "UserName", ""), source.User());
    EXPECT_EQ(ClearFromSettings(settings.ReadString("DataBase", "Password", "")), source.Password());

    window.reset();
    dialogs.shown.clear();
    TfrmMain& next = StartWindow();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    EXPECT_EQ(next.lblDB->text().toStdString(), source.Name());
}

TEST_F(ConnectionTest, ASuccessfulLoginAfterAFailedOneIsStored) {
    const std::string broken = TestOdbc::Instance().UniqueName("Broken");
    TestOdbc::Instance().DefineDataSource(
        broken, {{"Driver", "SQLite3"}, {"Database", dir.File("no-such-folder/tarnfold.db")}, {"Timeout", "100"}});
    TfrmMain& w = StartWindow();  // nothing configured: the start attempt fails
    LoginWith(broken, "someone", "typed");
    w.DBConnect1Execute();
    LoginWith(source.Name(), "operator", "s3cret");
    w.DBConnect1Execute();
    EXPECT_EQ(w.FConnection.FDataSource, source.Name());
    EXPECT_EQ(w.FConnection.FUserName, "operator");
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(settings.ReadString("DataBase", "DataSource", ""), source.Name());
    EXPECT_EQ(settings.ReadString("DataBase", "UserName", ""), "operator");
    EXPECT_EQ(ClearFromSettings(settings.ReadString("DataBase", "Password", "")), "s3cret");
}

TEST_F(ConnectionTest, TheStartErrorComesOnceTheWindowIsOnScreen) {
    window = std::make_unique<TfrmMain>(gui::MainWindowOptions{ExecutablePath(), &dialogs});
    window->CreateLoginForm();
    window->CreateAboutForm();
    bool showReturned = false;
    bool onScreen = false;
    dialogs.onMessage = [&](const std::string&) {
        onScreen = showReturned && window->isVisible() && window->windowHandle() != nullptr &&
                   window->windowHandle()->isExposed();
    };
    window->show();
    showReturned = true;
    EXPECT_TRUE(dialogs.shown.empty()) << "no box while the window is being shown";
    ASSERT_TRUE(ProcessUntil([this] { return window->StartAttemptMade(); }));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(FirstLine(dialogs.shown[0].text), "Unable to connect to ");
    EXPECT_TRUE(onScreen);
}

/// A PostgreSQL database (UTF-8) behind the window.
class PostgresConnectionTest : public GuiTest, public ::testing::WithParamInterface<Backend> {
protected:
    PostgresConnectionTest() { source.Execute("INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"); }

    TestDataSource source{GetParam()};
};

TEST_P(PostgresConnectionTest, APasswordWithAnAccentLogsInTypedAndStored) {
    const std::string password = "p\xE9ss";  // péss in Windows-1252
    LoginRole role(source, password);

    // Typed into the login dialog.
    TfrmMain& w = StartWindow();  // nothing configured: the start attempt fails
    dialogs.shown.clear();
    WhenModalShown([&](QWidget* modal) {
        auto* form = qobject_cast<TMyLoginForm*>(modal);
        ASSERT_NE(form, nullptr);
        form->cboDBAlias->setCurrentIndex(form->cboDBAlias->findText(QString::fromStdString(source.Name())));
        form->edtDBUserName->setText(QString::fromStdString(role.Name()));
        form->edtDBPassword->setText(QStringLiteral("p\u00E9ss"));
        form->btnOK->click();
    });
    w.DBConnect1Execute();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    EXPECT_TRUE(w.DBDisconnect1->isEnabled());
    EXPECT_EQ(Items(w.cbxStations), std::vector<std::string>{"ST01"});
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(ClearFromSettings(settings.ReadString("DataBase", "Password", "")), password);
    w.close();
    window.reset();

    // The settings file's form, at the next start.
    TfrmMain& stored = StartWindow();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    EXPECT_EQ(stored.lblDB->text().toStdString(), source.Name());
    stored.close();
    window.reset();

    // The registry file's form, when the settings hold no connection.
    WriteFile(SettingsPath(), "[DataBase]\nDataSource=\nUserName=\nPassword=\n");
    WriteRegistry(source.Name(), role.Name(), password);
    TfrmMain& installed = StartWindow();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    EXPECT_EQ(installed.lblDB->text().toStdString(), source.Name());
}

TEST_P(PostgresConnectionTest, SensorNamesTheWindowsCodePageCannotHoldAreShownButNotPaired) {
    // chr() makes TΩ (U+03A9) and TЖ (U+0416) on the server.
    source.Execute(
        "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n"
        "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'T' || chr(937), 'Y');\n"
        "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'T' || chr(1046), 'Y');\n");
    WriteRegistry(source.Name(), source.User(), source.Password());
    TfrmMain& w = StartWindow();
    ASSERT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text;
    std::vector<std::string> sensors = Items(w.lbxSensors);
    std::sort(sensors.begin(), sensors.end());
    EXPECT_EQ(sensors, (std::vector<std::string>{"TEMP", "T\u03A9", "T\u0416"}));

    w.AddLogSensor("LOG1");
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "LOG1"));
    ASSERT_TRUE(SelectItem(w.lbxSensors, "T\u03A9"));
    w.SelectAdd1Execute();
    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::string>{"Station sensor ST01.T? cannot be paired: its name holds characters that "
                                       "Windows-1252 cannot hold."});
    EXPECT_EQ(w.lbxImport->count(), 0);

    w.lbxSensors->clearSelection();
    ASSERT_TRUE(SelectItem(w.lbxSensors, "TEMP"));
    w.SelectAdd1Execute();
    EXPECT_EQ(Items(w.lbxImport), std::vector<std::string>{"LOG1||ST01.TEMP"});

    // Choosing the station again lists the names the same way.
    w.LoadSensors("ST01");
    std::vector<std::string> again = Items(w.lbxSensors);
    std::sort(again.begin(), again.end());
    EXPECT_EQ(again, sensors);
}

INSTANTIATE_TEST_SUITE_P(Postgres, PostgresConnectionTest,
                         ::testing::Values(Backend::PostgresAnsi, Backend::PostgresUnicode),
                         [](const ::testing::TestParamInfo<Backend>& info) { return BackendName(info.param); });

}  // namespace
}  // namespace vireo::testing
