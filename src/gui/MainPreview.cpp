// The looks at the data: the preview of the log sensors selected in "Sensors
// in Log File", and what TF_DATA1 holds for a pair of the import list beside
// the log's values.
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <stdexcept>

#include "db/Database.h"
#include "db/StoredValues.h"
#include "gui/Main.h"
#include "gui/MainTimeZones.h"
#include "gui/PreviewDialog.h"
#include "gui/QtDialogs.h"
#include "import/ImportList.h"

namespace vireo::gui {

namespace {

std::vector<std::string> SelectedTexts(const QListWidget* list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected()) texts.push_back(ToBytes(list->item(i)->text()));
    }
    return texts;
}

}  // namespace

std::string TfrmMain::PreviewLogFile() const {
    // The names of the list come from the file last read for sensors; before
    // one was read, the names typed by hand belong to the file named in the box.
    return FLastLogFile.empty() ? ToPath(edtLogfile->text()) : FLastLogFile;
}

TfrmPreview* TfrmMain::OpenPreview(const std::vector<std::string>& names, const std::string& caption,
                                   TfrmPreview::StoredReader stored) {
    const std::string path = PreviewLogFile();
    if (path.empty() || !QFileInfo(FromPath(path)).isFile()) {
        FDialogs->ShowMessage(MessageKind::Error, "Error 106: Please enter a file name", MessageButtons::Ok);
        return nullptr;
    }
    TimeZones zones;
    if (!SettingsZones(FConnection, *FDialogs, zones)) return nullptr;
    auto* preview = new TfrmPreview(this, FDialogs);
    preview->SetTimeZones(zones);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowTitle(FromBytes(caption));
    preview->show();
    preview->StartReading(path, names, std::move(stored));
    return preview;
}

void TfrmMain::LogPreview1Execute() {
    if (RefuseWhileBusy()) return;
    const std::vector<std::string> names = SelectedTexts(lbxLogSensors);
    if (names.empty()) {
        FDialogs->ShowMessage(MessageKind::Information, "Please select one or more log sensors.", MessageButtons::Ok);
        return;
    }
    OpenPreview(names, "Preview", {});
}

void TfrmMain::ShowImported1Execute() {
    if (RefuseWhileBusy()) return;
    const std::vector<std::string> entries = SelectedTexts(lbxImport);
    const ImportEntryParts pair = entries.empty() ? ImportEntryParts{} : SplitImportEntry(entries.front());
    if (!pair.matched) {
        FDialogs->ShowMessage(MessageKind::Information, "Please select a pair in the import list.", MessageButtons::Ok);
        return;
    }
    if (!ImportDatabase || !ImportDatabase->Connected()) {
        FDialogs->ShowMessage(MessageKind::Information, "Please connect to the database first.", MessageButtons::Ok);
        return;
    }
    // The rows are read on the window's thread, once the log has been read:
    // the connection is the window's. The connection may be gone by then.
    auto stored = [this, station = pair.stationId, sensor = pair.sensorName](SecondStamp from, SecondStamp to) {
        if (!ImportDatabase || !ImportDatabase->Connected()) {
            throw std::runtime_error("the connection to the database was closed");
        }
        if (ImportRunning()) throw std::runtime_error("an import is running on the connection");
        return ReadStoredValues(*ImportDatabase, station, sensor, from, to);
    };
    OpenPreview({pair.logSensor}, "Show Imported Data - " + entries.front(), stored);
}

}  // namespace vireo::gui
