// The connection (start, Connect, Disconnect, shutdown), the data store's free
// share and the station and sensor lists.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

#include "app/Encrypt.h"
#include "app/Registry.h"
#include "app/gui/Main.h"
#include "app/gui/QtDialogs.h"
#include "db/Capacity.h"
#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/Session.h"
#include "db/gui/MyLogin.h"

namespace vireo::gui {

namespace {

/// Blank when nothing is left once blanks and control characters are cut off.
bool IsBlank(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

void FillList(QListWidget* list, const std::vector<std::string>& items) {
    list->clear();
    for (const std::string& item : items) list->addItem(FromBytes(item));
}

}  // namespace

void TfrmMain::SetConnectedState(bool connected) {
    DBConnect1->setEnabled(!connected);
    DBDisconnect1->setEnabled(connected);
}

void TfrmMain::ShowDataStoreUsage(const std::string& alias) {
    const DataStoreUsage usage = GetDataStoreUsage(alias, FConnection.FMaxDBFileSize);
    if (!usage.known) {
        // A server database, or a file that cannot be opened: no share to show,
        // and the import asks nothing about it.
        DBAvailSizePecent->setText(QStringLiteral("n/a"));
        FFreeShare = {FreeShareShown::State::Unknown, 0};
        return;
    }
    const int freeShare = 100 - usage.usedPercent;
    DBAvailSizePecent->setText(QString::number(freeShare));
    FFreeShare = {FreeShareShown::State::Known, DBAvailSizePecent->text().toInt()};
    if (FFreeShare.percent < 10) {
        // The emphasis stays for the rest of the session.
        QPalette red = DBAvailSizePecent->palette();
        red.setColor(QPalette::WindowText, QColor(255, 0, 0));
        DBAvailSizePecent->setPalette(red);
        QFont font = DBAvailSizePecent->font();
        font.setBold(true);
        DBAvailSizePecent->setFont(font);
    }
}

bool TfrmMain::ConnectDatabase(const std::string& alias, const std::string& user, const std::string& password) {
    try {
        if (!ImportSession || !ImportDatabase) throw std::runtime_error("The ODBC driver manager is not available");
        if (ImportSession->Active()) ImportSession->Close();
        ImportSession->Open();
        ImportDatabase->SetDatabaseName(alias);
        ImportDatabase->ClearParams();
        ImportDatabase->AddParam("USER NAME=" + user);
        ImportDatabase->AddParam("PASSWORD=" + password);
        // Shown before the database opens, so that a failed opening still
        // refreshes the display.
        ShowDataStoreUsage(alias);
        ImportDatabase->Open();
        // The data writer works on ImportDatabase and prepares its statements
        // on the new connection at its first value.
        return true;
    } catch (const std::exception& error) {
        if (ImportDatabase) ImportDatabase->Close();
        if (ImportSession) ImportSession->Close();
        std::string text = "Unable to connect to " + alias;
        if (*error.what() != '\0') text += std::string("\n") + error.what();
        dialogs_->ShowMessage(MessageKind::Error, text, MessageButtons::Ok);
        return false;
    }
}

void TfrmMain::ConnectAtStart() {
    std::string password;
    if (IsBlank(FConnection.FDataSource) && IsBlank(FConnection.FUserName)) {
        std::string source;
        std::string user;
        if (!ReadOdbcSettings(source, user, password)) {
            dialogs_->ShowMessage(MessageKind::Error, "Unable to connnect to database", MessageButtons::Ok);
            SetConnectedState(false);
            return;
        }
        FConnection.FDataSource = source;
        FConnection.FUserName = user;
        FConnection.FPassword = ProtectForSettings(password);
    } else {
        password = ClearFromSettings(FConnection.FPassword);
    }
    if (ConnectDatabase(FConnection.FDataSource, FConnection.FUserName, password)) {
        SetConnectedState(true);
        LoadStations();
        lblDB->setText(FromBytes(FConnection.FDataSource));
    } else {
        SetConnectedState(false);
    }
}

void TfrmMain::DBConnect1Execute() {
    CreateLoginForm();
    TMyLoginForm& form = *FLoginForm;
    form.DBAlias = FConnection.FDataSource;
    form.DBUserName = FConnection.FUserName;
    form.DBPassword = ClearFromSettings(FConnection.FPassword);
    const bool confirmed = form.exec() == QDialog::Accepted;
    // The clear password lives only as long as the dialog needs it.
    const std::string entered = form.DBPassword;
    form.DBPassword.clear();
    form.edtDBPassword->clear();
    if (!confirmed) return;  // Cancel: nothing changes

    FConnection.FDataSource = form.DBAlias;
    FConnection.FUserName = form.DBUserName;
    if (!ConnectDatabase(FConnection.FDataSource, FConnection.FUserName, entered)) return;

    SetConnectedState(true);
    lblDB->setText(FromBytes(FConnection.FDataSource));
    try {
        FSettings.WriteString(kDataBaseSection, kDataSourceName, FConnection.FDataSource);
        FSettings.WriteString(kDataBaseSection, kUserNameName, FConnection.FUserName);
        FConnection.FPassword = ProtectForSettings(entered);
        FSettings.WriteString(kDataBaseSection, kPasswordName, FConnection.FPassword);
        FSettings.Save();
    } catch (const std::exception&) {
        // The connection stays open; the settings are written again on closing.
    }
    // Filled whether or not the settings could be written.
    LoadStations();
}

void TfrmMain::DBDisconnect1Execute() {
    if (ImportDatabase) ImportDatabase->Close();
    if (ImportSession) ImportSession->Close();
    SetConnectedState(false);
    lblDB->clear();
    {
        const QSignalBlocker quiet(cbxStations);
        cbxStations->clear();
    }
    lbxSensors->clear();
}

void TfrmMain::CloseDatabase() {
    // Closing the database also closes the data writer's statements.
    if (ImportDatabase) ImportDatabase->Close();
    if (ImportSession) ImportSession->Close();
    lblDB->clear();
}

void TfrmMain::LoadStations() {
    std::vector<std::string> stations;
    bool listed = ImportDatabase != nullptr;
    if (listed) {
        try {
            ReadStations(*ImportDatabase, stations);
        } catch (const std::exception&) {
            listed = false;
        }
    }
    {
        const QSignalBlocker quiet(cbxStations);
        const int selected = cbxStations->currentIndex();
        for (const std::string& station : stations) cbxStations->addItem(FromBytes(station));
        if (!listed) {
            cbxStations->setCurrentIndex(selected);  // no station is chosen by a failed listing
            AddStatusMessage(StationListErrorText());
            return;
        }
        cbxStations->setCurrentIndex(cbxStations->count() > 0 ? 0 : -1);
    }
    if (cbxStations->count() > 0) cbxStationsChange();
}

void TfrmMain::LoadSensors(const std::string& stationId) {
    std::vector<std::string> sensors = ListItems(lbxSensors);
    try {
        if (!ImportDatabase) throw std::runtime_error("no database");
        ReadStationSensors(*ImportDatabase, stationId, sensors);
    } catch (const std::exception&) {
        FillList(lbxSensors, sensors);  // as the error found it
        AddStatusMessage(SensorListErrorText(stationId));
        return;
    }
    FillList(lbxSensors, sensors);
}

void TfrmMain::cbxStationsChange() { LoadSensors(ToBytes(cbxStations->currentText())); }

}  // namespace vireo::gui
