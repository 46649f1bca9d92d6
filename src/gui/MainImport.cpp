// The import run as the window drives it: checks, the run on the window's
// thread with events let through after each written value, Stop, and the
// elapsed time.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "gui/Main.h"
#include "gui/MainTimeZones.h"
#include "gui/QtDialogs.h"
#include "import/DryRun.h"
#include "import/RejectsFile.h"
#include "import/UnpairableEntries.h"
#include "scan/Chronos.h"
#include "scan/Regional.h"

namespace vireo::gui {

namespace {

/// A time tag as the window writes dates and times: in the regional formats.
std::string RegionalTimeTag(DateTime timeTag) {
    const CalendarStamp at = SplitDateTime(timeTag);
    return DateTimeText(at.year, at.month, at.day, at.hours, at.minutes, at.seconds);
}

}  // namespace

/// The window's side of a running import.
class TfrmMain::RunObserver : public ImportObserver {
public:
    /// `countCaption` stands before the line count in the status bar.
    RunObserver(TfrmMain& window, QString countCaption) : window_(window), countCaption_(std::move(countCaption)) {}

    void RunStarted() override { window_.UpdateRunGuard(); }
    void ProgressChanged(int percent) override { window_.ProgressBar1->setValue(std::min(percent, 100)); }
    void LineCounted(std::int64_t count) override {
        window_.StatusPanel1->setText(countCaption_ + QString::number(count));
    }
    // The one place where the window handles other events during a run: Stop,
    // the timer, clicks, and the closing of the window.
    void ValueWritten() override { QCoreApplication::processEvents(); }
    void RunEnded() override { window_.SetImportIdle(); }

private:
    TfrmMain& window_;
    QString countCaption_;
};

void TfrmMain::UpdateRunGuard() {
    const bool idle = !ImportRunning() && !FReadingSensors;
    for (QAction* action :
         {OptionsImport, OptionsCheckImport, FileLogOpen1, FileOpenSensors1, LogPreview1, ShowImported1}) {
        action->setEnabled(idle);
    }
    OptionsStop->setEnabled(ImportRunning());
    // Connect and Disconnect would change the connection under the run.
    DBConnect1->setEnabled(idle && !FConnected);
    DBDisconnect1->setEnabled(idle && FConnected);
    btnReadFile->setEnabled(idle);
    cbxStations->setEnabled(idle);  // a station's sensors are read from the database
}

bool TfrmMain::RefuseWhileBusy() {
    if (ImportRunning()) {
        FDialogs->ShowMessage(MessageKind::Information, "Please wait until the import has finished.",
                              MessageButtons::Ok);
        return true;
    }
    if (FReadingSensors) {
        FDialogs->ShowMessage(MessageKind::Information, "Please wait until the log file has been read.",
                              MessageButtons::Ok);
        return true;
    }
    return false;
}

void TfrmMain::SetImportIdle() {
    // A run ends here once its outermost call has returned; until then the
    // window stays as the run set it.
    UpdateRunGuard();
    if (ImportRunning()) return;
    if (!FClosed) FControl.stop = false;
    ProgressBar1->setValue(0);
}

bool TfrmMain::PrepareRun(ImportRequest& request) {
    request.logFile = ToPath(edtLogfile->text());
    request.importList = ImportEntries();
    request.chosenStation = ToBytes(cbxStations->currentText());
    request.freeShare = FFreeShare;
    request.route = RouteOfSwitches(FConnection.FFastImport, FConnection.FBulkImport, false);
    request.keepEdits = FConnection.FKeepEdits;
    if (!SettingsZones(FConnection, *FDialogs, request.zones)) return false;
    if (RefuseDatabaseFile(request.logFile) || !CheckImport(request, *FDialogs)) return false;
    if (!FDataQuery || !FSensorPairs) {
        FDialogs->ShowMessage(MessageKind::Error, "The ODBC driver manager is not available", MessageButtons::Ok);
        return false;
    }
    // A loaded list may name what the catalogue does not list: such a value
    // would land under a station or sensor the database does not know.
    try {
        const std::vector<RefusedEntry> refused = RefusedImportEntries(*ImportDatabase, request.importList);
        if (refused.empty()) return true;
        FDialogs->ShowMessage(MessageKind::Error, RefusedEntriesText(refused), MessageButtons::Ok);
    } catch (const DbError& error) {
        FDialogs->ShowMessage(MessageKind::Error, error.what(), MessageButtons::Ok);
    }
    return false;
}

bool TfrmMain::OpenRejects(std::unique_ptr<RejectsFile>& rejects, const std::string& logFile) {
    if (FRejectsFile.empty()) return true;
    if (RefuseDatabaseFile(FRejectsFile)) return false;
    if (IsSameFile(FRejectsFile, logFile)) {
        FDialogs->ShowMessage(MessageKind::Error, "The rejects file is the log file itself - " + FRejectsFile,
                              MessageButtons::Ok);
        return false;
    }
    try {
        rejects = std::make_unique<RejectsFile>(FRejectsFile);
    } catch (const RejectsFileError& error) {
        FDialogs->ShowMessage(MessageKind::Error, error.what(), MessageButtons::Ok);
        return false;
    }
    return true;
}

bool TfrmMain::EndRun(RejectsFile* rejects, std::string& rejectsError) {
    SetImportIdle();
    try {
        if (rejects != nullptr) rejects->Finish();
    } catch (const RejectsFileError& error) {
        rejectsError = error.what();
    }
    if (!FClosed) return true;
    // The window was closed during the run: what it owns goes now that the
    // run no longer uses it.
    if (FReleasePending && FRunDepth == 0) ReleaseOwnedObjects();
    return false;
}

void TfrmMain::OptionsImportExecute() {
    if (RefuseWhileBusy()) return;
    ImportRequest request;
    if (!PrepareRun(request)) return;
    std::unique_ptr<RejectsFile> rejects;
    if (!OpenRejects(rejects, request.logFile)) return;
    request.rejects = rejects.get();

    FImportStart = std::chrono::steady_clock::now();
    FControl.stop = false;
    FControl.closing = false;

    RunObserver observer(*this, QStringLiteral("Imported Record Count: "));
    ++FRunDepth;
    UpdateRunGuard();
    const ImportResult result = RunImport(request, *FSensorPairs, *FDataQuery, *this, observer, FControl);
    --FRunDepth;

    std::string rejectsError;
    if (!EndRun(rejects.get(), rejectsError)) return;
    if (!result.error.empty()) FDialogs->ShowMessage(MessageKind::Error, result.error, MessageButtons::Ok);
    if (!rejectsError.empty()) FDialogs->ShowMessage(MessageKind::Error, rejectsError, MessageButtons::Ok);
}

void TfrmMain::OptionsCheckImportExecute() {
    if (RefuseWhileBusy()) return;
    ImportRequest request;
    if (!PrepareRun(request)) return;
    std::unique_ptr<RejectsFile> rejects;
    if (!OpenRejects(rejects, request.logFile)) return;
    request.rejects = rejects.get();

    FImportStart = std::chrono::steady_clock::now();
    FControl.stop = false;
    FControl.closing = false;
    // The check imports nothing: its status line counts the lines it read.
    RunObserver observer(*this, QStringLiteral("Checked Record Count: "));
    ++FRunDepth;
    UpdateRunGuard();
    const DryRunReport report = RunDryRun(request, *ImportDatabase, observer, FControl);
    --FRunDepth;
    std::string rejectsError;
    if (!EndRun(rejects.get(), rejectsError)) return;
    FDialogs->ShowReport("Check Import", DryRunTable(report, &RegionalTimeTag));
    if (!report.error.empty()) FDialogs->ShowMessage(MessageKind::Error, report.error, MessageButtons::Ok);
    if (!rejectsError.empty()) FDialogs->ShowMessage(MessageKind::Error, rejectsError, MessageButtons::Ok);
}

void TfrmMain::OptionsSaveRejectsExecute() {
    if (!FRejectsFile.empty()) {
        // Chosen before: the item turns the report off.
        FRejectsFile.clear();
        OptionsSaveRejects->setChecked(false);
        return;
    }
    FileDialogRequest dialog;
    dialog.title = "Save Rejected Lines";
    dialog.filter = "CSV Files (*.csv)|*.csv|All Files|*.*";
    dialog.defaultExtension = "csv";
    dialog.startFolder = HomeDirectory;
    if (const std::optional<std::string> path = FDialogs->SaveFile(dialog)) FRejectsFile = *path;
    OptionsSaveRejects->setChecked(!FRejectsFile.empty());
}

void TfrmMain::OptionsStopExecute() {
    if (FDialogs->ShowMessage(MessageKind::Confirmation, "Stop import process?", MessageButtons::YesNo) ==
        MessageAnswer::Yes) {
        FControl.stop = true;  // seen by the run before its next line
    }
}

void TfrmMain::Timer1Timer() {
    if (!OptionsStop->isEnabled()) return;  // no run: the last elapsed time stays shown
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - FImportStart).count();
    const long long seconds = elapsed < 0 ? 0 : elapsed;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
    StatusPanel0->setText(QStringLiteral("Import Time: ") + QLatin1String(text));
}

}  // namespace vireo::gui
