// The import run as the window drives it: checks, the run on the window's
// thread with events let through after each written value, Stop, and the
// elapsed time.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <cstdio>

#include "db/DataWriter.h"
#include "gui/Main.h"
#include "gui/QtDialogs.h"

namespace vireo::gui {

/// The window's side of a running import.
class TfrmMain::RunObserver : public ImportObserver {
public:
    explicit RunObserver(TfrmMain& window) : window_(window) {}

    void RunStarted() override {
        window_.OptionsImport->setEnabled(false);
        window_.OptionsStop->setEnabled(true);
    }
    void ProgressChanged(int percent) override { window_.ProgressBar1->setValue(std::min(percent, 100)); }
    void LineCounted(std::int64_t count) override {
        window_.StatusPanel1->setText(QStringLiteral("Imported Record Count: ") + QString::number(count));
    }
    // The one place where the window handles other events during a run: Stop,
    // the timer, clicks, and the closing of the window.
    void ValueWritten() override { QCoreApplication::processEvents(); }
    void RunEnded() override { window_.SetImportIdle(); }

private:
    TfrmMain& window_;
};

void TfrmMain::SetImportIdle() {
    OptionsImport->setEnabled(true);
    OptionsStop->setEnabled(false);
    if (!FClosed) FControl.stop = false;
    ProgressBar1->setValue(0);
}

void TfrmMain::OptionsImportExecute() {
    ImportRequest request;
    request.logFile = ToPath(edtLogfile->text());
    request.importList = ImportEntries();
    request.chosenStation = ToBytes(cbxStations->currentText());
    request.freeShare = FFreeShare;
    request.fastMode = FConnection.FFastImport;
    request.bulk = FConnection.FBulkImport;
    if (RefuseDatabaseFile(request.logFile) || !CheckImport(request, *FDialogs)) return;
    if (!FDataQuery || !FSensorPairs) {
        FDialogs->ShowMessage(MessageKind::Error, "The ODBC driver manager is not available", MessageButtons::Ok);
        return;
    }

    OptionsImport->setEnabled(false);
    OptionsStop->setEnabled(true);
    FImportStart = std::chrono::steady_clock::now();
    FControl.stop = false;
    FControl.closing = false;

    RunObserver observer(*this);
    ++FRunDepth;
    const ImportResult result = RunImport(request, *FSensorPairs, *FDataQuery, *this, observer, FControl);
    --FRunDepth;

    SetImportIdle();
    if (FClosed) {
        // The window was closed during the run: what it owns goes now that
        // the run no longer uses it.
        if (FReleasePending && FRunDepth == 0) ReleaseOwnedObjects();
        return;
    }
    if (!result.error.empty()) FDialogs->ShowMessage(MessageKind::Error, result.error, MessageButtons::Ok);
}

void TfrmMain::OptionsStopExecute() {
    if (FDialogs->ShowMessage(MessageKind::Confirmation, "Stop import process?", MessageButtons::YesNo) ==
        MessageAnswer::Yes) {
        FControl.stop = true;  // seen by the run before its next line
    }
}

void TfrmMain::Timer1Timer() {
    if (OptionsImport->isEnabled()) return;  // the last elapsed time stays shown
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - FImportStart).count();
    const long long seconds = elapsed < 0 ? 0 : elapsed;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
    StatusPanel0->setText(QStringLiteral("Import Time: ") + QLatin1String(text));
}

}  // namespace vireo::gui
