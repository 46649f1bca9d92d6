// The log file and its sensor names, the import list and its settings file.
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProgressDialog>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "db/Catalogue.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/StoreFiles.h"
#include "gui/Main.h"
#include "gui/QtDialogs.h"
#include "import/ImportList.h"
#include "import/ImportSettingsFile.h"
#include "import/UnpairableEntries.h"
#include "logfile/SensorDiscovery.h"
#include "scan/AsciiCase.h"

namespace vireo::gui {

namespace {

constexpr const char* kLogFileFilter = "Log Files (*.log;*.csv;*.prn)|*.log;*.csv;*.prn|All Files|*.*";
constexpr const char* kNoFileName = "Error 106: Please enter a file name";

/// The text of the first selected item, searching from the top; nothing when
/// no item is selected.
const QListWidgetItem* FirstSelectedItem(const QListWidget* list) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected()) return list->item(i);
    }
    return nullptr;
}

std::optional<std::string> FirstSelected(const QListWidget* list) {
    if (const QListWidgetItem* item = FirstSelectedItem(list)) return ToBytes(item->text());
    return std::nullopt;
}

/// The folder that holds `path`, made absolute.
std::string FolderOf(const std::string& path) { return ToPath(QFileInfo(FromPath(path)).absolutePath()); }

/// Where the Open Log File dialog starts: the remembered folder while it is
/// still one, else the folder the program was started from.
std::string StartFolder(const std::string& remembered) {
    if (remembered.empty() || !QFileInfo(FromPath(remembered)).isDir()) return {};
    return remembered;
}

int FirstSelectedRow(const QListWidget* list) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected()) return i;
    }
    return -1;
}

}  // namespace

bool TfrmMain::RefuseDatabaseFile(const std::string& path) {
    if (!ImportDatabase || !ImportDatabase->Connected()) return false;
    if (!IsFileOfDataSource(ImportDatabase->DatabaseName(), path)) return false;
    FDialogs->ShowMessage(MessageKind::Error, DataSourceFileRefused(path), MessageButtons::Ok);
    return true;
}

void TfrmMain::AddLogSensor(const std::string& name) {
    // Binary search for the first item that sorts after the name: equal names
    // go after those already listed.
    int low = 0;
    int high = lbxLogSensors->count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (NameLess(name, ToBytes(lbxLogSensors->item(middle)->text())))
            high = middle;
        else
            low = middle + 1;
    }
    lbxLogSensors->insertItem(low, FromBytes(name));
}

void TfrmMain::FileLogOpen1Execute() {
    if (RefuseWhileBusy()) return;
    const std::optional<std::string> path =
        FDialogs->OpenFile({"Open Log File", kLogFileFilter, "log", StartFolder(FConnection.FLastLogFolder)});
    if (!path) return;
    FConnection.FLastLogFolder = FolderOf(*path);
    edtLogfile->setText(FromPath(*path));
    btnReadFileClick();
}

void TfrmMain::btnReadFileClick() {
    if (RefuseWhileBusy()) return;
    const QString named = edtLogfile->text();
    // The same file (without regard to case) is not read again.
    if (named.compare(FromPath(FLastLogFile), Qt::CaseInsensitive) == 0) return;
    if (!QFileInfo(named).isFile()) {
        FDialogs->ShowMessage(MessageKind::Error, kNoFileName, MessageButtons::Ok);
        return;
    }
    const std::string path = ToPath(named);
    if (RefuseDatabaseFile(path)) return;

    const bool prnFile = IsPrnFile(path);
    const SensorReading reading = ReadSensorsAside(path, prnFile);
    if (reading.cancelled) return;  // the lists stay as they were; the file is read again at the next click

    FPrnFile = prnFile;
    lbxImport->clear();
    lbxLogSensors->clear();
    FControl.stop = false;
    ProgressBar1->setValue(0);
    // After a failure the names found before it are listed; the file is read
    // again at the next click.
    for (const std::string& name : reading.names) AddLogSensor(name);
    if (!reading.error.empty()) {
        FDialogs->ShowMessage(MessageKind::Error, reading.error, MessageButtons::Ok);
        return;
    }
    FLastLogFile = path;
    FConnection.FLastLogFolder = FolderOf(path);
}

TfrmMain::SensorReading TfrmMain::ReadSensorsAside(const std::string& path, bool prnFile) {
    FReadingSensors = true;
    FCancelRead = false;
    UpdateRunGuard();

    // A short reading passes without a dialog; a long one shows its progress
    // and a Cancel button, modal to the window.
    QProgressDialog dialog(QStringLiteral("Reading ") + FromPath(path) + QStringLiteral(" ..."),
                           QStringLiteral("Cancel"), 0, 1000, this);
    dialog.setObjectName(QStringLiteral("dlgReadFile"));
    dialog.setWindowTitle(QStringLiteral("Read File for Sensors"));
    dialog.setAccessibleName(QStringLiteral("Read File for Sensors"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(400);
    dialog.setValue(0);
    connect(&dialog, &QProgressDialog::canceled, this, &TfrmMain::CancelReadFile);
    dlgReadFile = &dialog;

    SensorReading reading;
    QEventLoop done;
    std::thread worker([&] {
        DiscoveryControl control;
        control.cancel = &FCancelRead;
        control.progress = [&dialog](std::uint64_t bytes, std::uint64_t size) {
            if (size == 0) return;
            const int value = static_cast<int>(std::min(bytes, size) * 1000 / size);
            // Dropped with the dialog should it be gone before it arrives.
            QMetaObject::invokeMethod(
                &dialog, [&dialog, value] { dialog.setValue(value); }, Qt::QueuedConnection);
        };
        LogSensorCollector collector(prnFile);
        try {
            CollectSensorNames(path, prnFile, collector, control);
        } catch (const std::exception& error) {
            reading.error = error.what();
        }
        reading.names = collector.SortedNames();
        QMetaObject::invokeMethod(&done, &QEventLoop::quit, Qt::QueuedConnection);
    });
    done.exec();
    worker.join();

    dlgReadFile = nullptr;
    reading.cancelled = FCancelRead;
    FReadingSensors = false;
    UpdateRunGuard();
    return reading;
}

void TfrmMain::CancelReadFile() {
    if (FReadingSensors) FCancelRead = true;
}

void TfrmMain::SelectAdd1Execute() {
    const std::optional<std::string> logSensor = FirstSelected(lbxLogSensors);
    const std::optional<std::string> sensorName = FirstSelected(lbxSensors);
    const std::string stationId = ToBytes(cbxStations->currentText());
    if (!logSensor || logSensor->empty() || !sensorName || sensorName->empty() || stationId.empty()) {
        FDialogs->ShowMessage(MessageKind::Information, "Please select a log sensor and station sensor.",
                              MessageButtons::Ok);
        return;
    }
    if (const QListWidgetItem* chosen = FirstSelectedItem(lbxSensors); chosen->data(kUnpairableRole).toBool()) {
        FDialogs->ShowMessage(MessageKind::Warning, UnpairableSensorText(stationId, *sensorName), MessageButtons::Ok);
        return;
    }
    lbxImport->addItem(FromBytes(MakeImportEntry(*logSensor, stationId, *sensorName)));
}

void TfrmMain::SelectDelete1Execute() {
    const int row = FirstSelectedRow(lbxImport);
    if (row >= 0) delete lbxImport->takeItem(row);
}

void TfrmMain::btnSensorAddClick() {
    const std::string name = ToBytes(edtSensor->text());
    if (IsBlankSensorName(name)) {
        FDialogs->ShowMessage(MessageKind::Warning, "Sensor name is blank!", MessageButtons::Ok);
        return;
    }
    AddLogSensor(name);  // as typed, blanks included
}

void TfrmMain::btnSensorDeleteClick() {
    if (FDialogs->ShowMessage(MessageKind::Confirmation, "Deleted selected Sensor in Log File list?",
                              MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    const int row = FirstSelectedRow(lbxLogSensors);
    if (row >= 0) delete lbxLogSensors->takeItem(row);
}

void TfrmMain::FileOpenSensors1Execute() {
    if (RefuseWhileBusy()) return;
    const std::optional<std::string> path =
        FDialogs->OpenFile({"Open Sensor Import File", "Sensor Import Files(*.sfg)|*.sfg|All Files|*.*", "sfg", {}});
    if (!path || RefuseDatabaseFile(*path)) return;
    std::vector<std::string> entries;
    // A file that cannot be read leaves the list as it is.
    if (!LoadImportSettings(*path, entries, *this, [] { QCoreApplication::processEvents(); })) return;
    lbxImport->clear();
    for (const std::string& entry : entries) lbxImport->addItem(FromBytes(entry));
    // The list stays as the file has it; what no import would write is named once.
    if (!ImportDatabase || !ImportDatabase->Connected()) return;
    try {
        const std::vector<RefusedEntry> refused = RefusedImportEntries(*ImportDatabase, entries);
        if (!refused.empty())
            FDialogs->ShowMessage(MessageKind::Warning, RefusedEntriesText(refused), MessageButtons::Ok);
    } catch (const DbError&) {
        // The catalogue cannot be read now: Start Importing checks again.
    }
}

void TfrmMain::FileSaveSensors1Execute() {
    const std::optional<std::string> path = FDialogs->SaveFile(
        {"Save Sensor selections", "Sensor Import Files (*.sfg)|*.sfg|All Files|*.*", "sfg", HomeDirectory});
    if (!path || RefuseDatabaseFile(*path)) return;
    if (QFileInfo::exists(FromPath(*path))) {
        if (FDialogs->ShowMessage(MessageKind::Confirmation, *path + " exists.  Do you wish to overwrite file?",
                                  MessageButtons::YesNo) != MessageAnswer::Yes) {
            return;
        }
        if (std::remove(path->c_str()) != 0) return;  // the old file stays; nothing is said
    }
    SaveImportSettings(*path, ImportEntries(), *this);
}

}  // namespace vireo::gui
