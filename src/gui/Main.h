#pragma once

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gui/PreviewDialog.h"
#include "import/ImportRun.h"
#include "settings/Params.h"
#include "settings/ProfileFile.h"
#include "status/StatusMessages.h"
#include "status/StatusSink.h"
#include "status/UserDialogs.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace vireo {
class Database;
class DataWriter;
class Session;
}  // namespace vireo

namespace vireo::gui {

class TMyLoginForm;
class TfmAbout;
class THelpViewer;

/// Names the running application. It is given no display name: Qt would
/// append one to the caption of every dialog and message box, whose captions
/// are the program's own ("Database Login", "Error", ...).
void NameApplication();

/// Where the window finds its files, and who answers its questions. Tests give
/// their own executable path (the settings file and the help file lie beside
/// it) and an answering double of the dialogs.
/// Marks an item of the station sensor list whose name cannot be paired (it
/// holds characters that Windows-1252 cannot hold).
inline constexpr int kUnpairableRole = Qt::UserRole + 1;

struct MainWindowOptions {
    std::string executablePath;      // empty: the running executable
    UserDialogs* dialogs = nullptr;  // nullptr: the Qt message boxes and file dialogs
};

/// The main window. It owns every long-lived object of the program (the
/// settings, the one session and database connection, the data writer, the
/// pairing table of the import run, the message list) and every operation is
/// one of its event handlers, run on the window's thread.
class TfrmMain : public QMainWindow, public StatusSink {
    Q_OBJECT

public:
    explicit TfrmMain(MainWindowOptions options = {});
    ~TfrmMain() override;

    // The status sink: a time-stamped line on top of the message list and,
    // while the status log is on, at the end of the log file.
    void AddStatusMessage(const std::string& text) override;
    bool ShowDetails() const override { return FStatus.ShowDetails(); }

    // Program start: the login dialog lists the aliases of the session that
    // the window created, so it is made after the window; then the About box.
    void CreateLoginForm();
    void CreateAboutForm();
    TMyLoginForm* MyLoginForm() const;

    // Window events.
    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    void FormClose();
    /// The long part of `hint` (after "|", or all of it) into the second panel
    /// of the status bar.
    void ShowLongHint(const QString& hint);

    // Log file and sensor discovery.
    void FileLogOpen1Execute();
    void btnReadFileClick();

    // Connection and catalogue.
    bool ConnectDatabase(const std::string& alias, const std::string& user, const std::string& password);
    void ConnectAtStart();
    /// True once the connection attempt at start has been made; it comes
    /// when the shown window is on screen, after show() has returned.
    bool StartAttemptMade() const noexcept { return FStartAttemptMade; }
    void DBConnect1Execute();
    void DBDisconnect1Execute();
    void CloseDatabase();
    void LoadStations();
    void LoadSensors(const std::string& stationId);
    void cbxStationsChange();

    // Import list and its settings file.
    void SelectAdd1Execute();
    void SelectDelete1Execute();
    void btnSensorAddClick();
    void btnSensorDeleteClick();
    void FileOpenSensors1Execute();
    void FileSaveSensors1Execute();

    // Import run.
    void OptionsImportExecute();
    void OptionsStopExecute();
    void Timer1Timer();

    // The looks at the data: the preview of the selected log sensors, and
    // what TF_DATA1 holds for the selected pair.
    void LogPreview1Execute();
    void ShowImported1Execute();
    /// The log file the preview reads.
    std::string PreviewLogFile() const;
    /// Opens a preview of `names` of the log file (null after an error box).
    TfrmPreview* OpenPreview(const std::vector<std::string>& names, const std::string& caption,
                             TfrmPreview::StoredReader stored);

    // Status messages, help.
    void OptionsShowDetailsExecute();
    void OptionsFastImportExecute();
    void OptionsKeepEditsExecute();
    void OptionsTimeZonesExecute();  // MainTimeZones.cpp
    void OptionsCheckImportExecute();
    void OptionsSaveRejectsExecute();
    void OptionsLogMessagesExecute();
    void HelpAbout1Execute();
    void HelpContents1Execute();

    /// Adds a name to the sorted log sensor list at its place in the order of
    /// the list (without regard to case, as strcasecmp orders).
    void AddLogSensor(const std::string& name);
    /// The entries of the import list, top to bottom.
    std::vector<std::string> ImportEntries() const;
    /// The lines of the message list, newest first.
    std::vector<std::string> MemoLines() const;
    bool ImportRunning() const { return FRunDepth > 0; }
    /// True while "Read File for Sensors" reads a log file.
    bool ReadingSensors() const { return FReadingSensors; }
    /// Stops the reading of "Read File for Sensors": the lists stay as they were.
    void CancelReadFile();

    // Actions.
    QAction* FileLogOpen1 = nullptr;
    QAction* FileOpenSensors1 = nullptr;
    QAction* FileSaveSensors1 = nullptr;
    QAction* FileExit1 = nullptr;
    QAction* DBConnect1 = nullptr;
    QAction* DBDisconnect1 = nullptr;
    QAction* OptionsImport = nullptr;
    QAction* OptionsStop = nullptr;
    QAction* OptionsShowDetails = nullptr;
    QAction* OptionsFastImport = nullptr;
    QAction* OptionsLogMessages = nullptr;
    QAction* OptionsKeepEdits = nullptr;
    QAction* OptionsTimeZones = nullptr;
    QAction* OptionsCheckImport = nullptr;
    QAction* OptionsSaveRejects = nullptr;
    QAction* SelectAdd1 = nullptr;
    QAction* SelectDelete1 = nullptr;
    QAction* HelpContents1 = nullptr;
    QAction* HelpAbout1 = nullptr;
    QAction* LogPreview1 = nullptr;
    QAction* ShowImported1 = nullptr;

    // Menus and toolbar.
    QMenu* File1 = nullptr;
    QMenu* Database1 = nullptr;
    QMenu* Options1 = nullptr;
    QMenu* View1 = nullptr;
    QMenu* Help1 = nullptr;
    QToolBar* ToolBar1 = nullptr;

    // Controls.
    QLineEdit* edtLogfile = nullptr;
    QPushButton* btnBrowse = nullptr;
    QPushButton* btnReadFile = nullptr;
    QComboBox* cbxStations = nullptr;
    QListWidget* lbxLogSensors = nullptr;
    QListWidget* lbxSensors = nullptr;
    QLineEdit* edtSensor = nullptr;
    QPushButton* btnSensorAdd = nullptr;
    QPushButton* btnSensorDelete = nullptr;
    QToolButton* BitBtnAdd = nullptr;
    QToolButton* BitBtnDelete = nullptr;
    QListWidget* lbxImport = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnShowImported = nullptr;
    QLabel* lblDBCaption = nullptr;
    QLabel* lblDB = nullptr;
    QLabel* lblAvailSizeCaption = nullptr;
    QLabel* DBAvailSizePecent = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel0 = nullptr;  // import time
    QLabel* StatusPanel1 = nullptr;  // line count and long hints
    QTimer* Timer1 = nullptr;
    QProgressDialog* dlgReadFile = nullptr;  // while "Read File for Sensors" reads

    // Fields.
    ProfileFile FSettings;
    AppSettings FConnection;  // FDataSource, FUserName, FPassword, FMaxDBFileSize
    std::unique_ptr<Session> ImportSession;
    std::unique_ptr<Database> ImportDatabase;
    std::unique_ptr<DataWriter> FDataQuery;
    std::unique_ptr<SensorPairs> FSensorPairs;
    RunControl FControl;  // FControl.stop is the stop request of the import run
    std::chrono::steady_clock::time_point FImportStart;
    FreeShareShown FFreeShare;  // what DBAvailSizePecent shows
    StatusMessenger FStatus;    // FShowDetails, FLogToFile, FLogFileName
    std::string FLastLogFile;
    std::string FRejectsFile;  // where each run puts its rejected lines; empty: nowhere
    bool FPrnFile = false;
    std::string FHelpFile;
    std::string HomeDirectory;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class RunObserver;

    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildControls();
    void NameControls();
    void SetConnectedState(bool connected);
    void ShowDataStoreUsage(const std::string& alias);
    /// True, after an error box, when `path` is a file of the connected
    /// database: opening and closing it would drop the connection's locks.
    bool RefuseDatabaseFile(const std::string& path);
    void InsertMemoLine(const std::string& line);
    void SetImportIdle();
    /// Enables the actions that read the log or the database on the window's
    /// thread only while no import runs and no log file is read for sensors.
    void UpdateRunGuard();
    /// True, after a message box, while an import runs or a log file is read
    /// for sensors: no other reading of the log or the database starts then.
    bool RefuseWhileBusy();
    /// The sensor names of `path`, read on a worker thread while the window
    /// answers; `cancelled` when the user stopped the reading.
    struct SensorReading {
        std::vector<std::string> names;
        std::string error;
        bool cancelled = false;
    };
    SensorReading ReadSensorsAside(const std::string& path, bool prnFile);
    /// The request of a run from the window's state, after the checks; false
    /// when the run is not to start.
    bool PrepareRun(ImportRequest& request);
    /// The rejects file of a run, or null; false, after an error box, when
    /// it cannot be created.
    bool OpenRejects(std::unique_ptr<RejectsFile>& rejects, const std::string& logFile);
    /// After a run: the window idle again and the rejects file finished (its
    /// failure in `rejectsError`); false when the window was closed during the run.
    bool EndRun(RejectsFile* rejects, std::string& rejectsError);
    void ReleaseOwnedObjects();
    std::vector<std::string> ListItems(const QListWidget* list) const;

    MainWindowOptions FOptions;
    std::unique_ptr<UserDialogs> FOwnDialogs;
    UserDialogs* FDialogs = nullptr;
    QPointer<TMyLoginForm> FLoginForm;
    QPointer<TfmAbout> FAboutForm;
    std::unique_ptr<THelpViewer> FHelpViewer;
    bool FShown = false;
    bool FStartAttemptMade = false;
    bool FHintHandler = false;
    bool FClosed = false;
    bool FReleasePending = false;
    bool FConnected = false;  // what Connect and Disconnect offer
    bool FReadingSensors = false;
    std::atomic<bool> FCancelRead{false};
    int FRunDepth = 0;
};

}  // namespace vireo::gui
