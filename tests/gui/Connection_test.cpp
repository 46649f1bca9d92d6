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

#include "app/Encrypt.h"
#include "app/ProfileFile.h"
#include "db/gui/MyLogin.h"
#include "gui/GuiTestSupport.h"
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
    EXPECT_EQ(w.DBAvailSizePecent->text(), shownShare);

    LoginWith(source.Name(), source.User(), source.Password());
    w.DBConnect1Execute();
    EXPECT_EQ(Items(w.cbxStations), (std::vector<std::string>{"ST01", "ST02"}));
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

}  // namespace
}  // namespace vireo::testing
