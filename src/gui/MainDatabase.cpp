// The connection (start, Connect, Disconnect, shutdown), the data store's free
// share and the station and sensor lists.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

#include "db/Capacity.h"
#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/Session.h"
#include "gui/Main.h"
#include "gui/MyLogin.h"
#include "gui/QtDialogs.h"
#include "import/StartConnection.h"
#include "settings/Encrypt.h"
#include "settings/Registry.h"

namespace vireo::gui {

namespace {

/// A name that cannot be paired is shown in the database's own text and
/// marked with kUnpairableRole.
void FillSensorList(QListWidget* list, const std::vector<StationSensorName>& sensors) {
    list->clear();
    for (const StationSensorName& sensor : sensors) {
        if (sensor.Pairable()) {
            list->addItem(FromBytes(sensor.name));
            continue;
        }
        auto* item =
            new QListWidgetItem(QString::fromUtf8(sensor.shown.data(), static_cast<qsizetype>(sensor.shown.size())));
        item->setData(kUnpairableRole, true);
        list->addItem(item);
    }
}

std::vector<StationSensorName> SensorListNames(const QListWidget* list) {
    std::vector<StationSensorName> sensors;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        if (item->data(kUnpairableRole).toBool()) {
            sensors.push_back({ToBytes(item->text()), item->text().toStdString()});
        } else {
            sensors.push_back({ToBytes(item->text()), {}});
        }
    }
    return sensors;
}

}  // namespace

void TfrmMain::SetConnectedState(bool connected) {
    FConnected = connected;
    UpdateRunGuard();
}

void TfrmMain::ShowDataStoreUsage(const std::string& alias) {
    // A server database, or a file that cannot be opened: no share to show,
    // and the import asks nothing about it.
    FFreeShare = FreeShareOf(GetDataStoreUsage(alias, FConnection.FMaxDBFileSize));
    DBAvailSizePecent->setText(FromBytes(FreeShareText(FFreeShare)));
    if (FFreeShare.state == FreeShareShown::State::Known && FFreeShare.percent < 10) {
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
        FDialogs->ShowMessage(MessageKind::Error, ConnectFailureText(alias, error.what()), MessageButtons::Ok);
        return false;
    }
}

void TfrmMain::ConnectAtStart() {
    StartConnection chosen;
    if (!ChooseStartConnection(FConnection, chosen)) {
        FDialogs->ShowMessage(MessageKind::Error, InstallationValuesErrorText(), MessageButtons::Ok);
        SetConnectedState(false);
        return;
    }
    if (chosen.fromInstallation) {
        FConnection.FDataSource = chosen.dataSource;
        FConnection.FUserName = chosen.userName;
        FConnection.FPassword = ProtectForSettings(chosen.password);
    }
    if (ConnectDatabase(chosen.dataSource, chosen.userName, chosen.password)) {
        SetConnectedState(true);
        LoadStations();
        lblDB->setText(FromBytes(FConnection.FDataSource));
    } else {
        SetConnectedState(false);
    }
}

void TfrmMain::DBConnect1Execute() {
    if (RefuseWhileBusy()) return;
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

    // The window keeps the last successful connection: a failed attempt
    // changes neither the held values nor what is written at closing.
    const std::string alias = form.DBAlias;
    const std::string user = form.DBUserName;
    if (!ConnectDatabase(alias, user, entered)) return;

    FConnection.FDataSource = alias;
    FConnection.FUserName = user;
    FConnection.FPassword = ProtectForSettings(entered);
    SetConnectedState(true);
    lblDB->setText(FromBytes(FConnection.FDataSource));
    try {
        FSettings.WriteString(kDataBaseSection, kDataSourceName, FConnection.FDataSource);
        FSettings.WriteString(kDataBaseSection, kUserNameName, FConnection.FUserName);
        FSettings.WriteString(kDataBaseSection, kPasswordName, FConnection.FPassword);
        FSettings.Save();
    } catch (const std::exception&) {
        // The connection stays open; the settings are written again on closing.
    }
    // Filled whether or not the settings could be written.
    LoadStations();
}

void TfrmMain::DBDisconnect1Execute() {
    if (RefuseWhileBusy()) return;
    if (ImportDatabase) ImportDatabase->Close();
    if (ImportSession) ImportSession->Close();
    SetConnectedState(false);
    lblDB->clear();
    // Nothing is connected: no free share is known.
    FFreeShare = {};
    DBAvailSizePecent->clear();
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
    std::vector<StationSensorName> sensors = SensorListNames(lbxSensors);
    try {
        if (!ImportDatabase) throw std::runtime_error("no database");
        ReadStationSensorNames(*ImportDatabase, stationId, sensors);
    } catch (const std::exception&) {
        FillSensorList(lbxSensors, sensors);  // as the error found it
        AddStatusMessage(SensorListErrorText(stationId));
        return;
    }
    FillSensorList(lbxSensors, sensors);
}

void TfrmMain::cbxStationsChange() {
    if (RefuseWhileBusy()) return;
    LoadSensors(ToBytes(cbxStations->currentText()));
}

}  // namespace vireo::gui
