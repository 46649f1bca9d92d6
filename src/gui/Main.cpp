// The main window's creation, showing and shutdown, and its hint display.
#include "gui/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <functional>
#include <memory>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Session.h"
#include "gui/AboutForm.h"
#include "gui/HelpViewer.h"
#include "gui/MainHints.h"
#include "gui/MyLogin.h"
#include "gui/QtDialogs.h"
#include "gui/Resources.h"
#include "settings/Registry.h"

namespace vireo::gui {

namespace {

constexpr const char* kCaption = "Vireo/4620 - Tarnfold Log Import";
constexpr const char* kShuttingDown = "*** Shutting down ... Please Wait ***";

/// Runs `action` from the event loop once `window` is exposed and painted: on
/// the first expose event of its native window, or at once when it is exposed
/// already. Should no expose come (a window manager that keeps it hidden), the
/// action runs after two seconds all the same.
void WhenOnScreen(QWidget* window, std::function<void()> action) {
    auto once = std::make_shared<std::function<void()>>(std::move(action));
    auto run = [once] {
        if (!*once) return;
        const std::function<void()> todo = std::move(*once);
        *once = nullptr;
        todo();
    };
    QWindow* native = window->windowHandle();
    if (native == nullptr || native->isExposed()) {
        QTimer::singleShot(0, window, run);
        return;
    }
    class ExposeWatch : public QObject {
    public:
        ExposeWatch(QWindow* watched, std::function<void()> exposed)
            : QObject(watched), watched_(watched), exposed_(std::move(exposed)) {}
        bool eventFilter(QObject* object, QEvent* event) override {
            if (object == watched_ && event->type() == QEvent::Expose && watched_->isExposed()) {
                // The window paints while this expose is handled; the action
                // comes after it.
                QTimer::singleShot(0, watched_, exposed_);
                deleteLater();
            }
            return false;
        }

    private:
        QWindow* watched_;
        std::function<void()> exposed_;
    };
    native->installEventFilter(new ExposeWatch(native, run));
    QTimer::singleShot(2000, window, run);
}

}  // namespace

void NameApplication() { QCoreApplication::setApplicationName(QStringLiteral("VireoImport")); }

TfrmMain::TfrmMain(MainWindowOptions options)
    : FStatus([this](const std::string& line) { InsertMemoLine(line); }), FOptions(std::move(options)) {
    if (FOptions.dialogs != nullptr) {
        FDialogs = FOptions.dialogs;
    } else {
        FOwnDialogs = std::make_unique<QtUserDialogs>(this);
        FDialogs = FOwnDialogs.get();
    }
    if (FOptions.executablePath.empty()) FOptions.executablePath = ExecutablePath();

    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(kCaption));
    setWindowIcon(ProgramIcon());
    setFont(QFont(QStringLiteral("Arial"), 8));
    resize(611, 693);

    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildControls();
    FStatus.SetLogStoppedHandler([this] { OptionsLogMessages->setChecked(false); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);

    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The window may go without having been closed (a test, the end of the
    // program): release in the same order as FormClose does.
    FControl.stop = true;
    FControl.closing = true;
    ReleaseOwnedObjects();
}

void TfrmMain::FormCreate() {
    HomeDirectory = LoadHomeDirectory();
    FConnection = AppSettings{};
    lblDB->clear();
    FLastLogFile.clear();
    FStatus.SetLogToFile(false);
    FHelpFile = ProgramDataFile(FOptions.executablePath,
                                std::filesystem::path(HelpPathFor(FOptions.executablePath, ".html")).filename());
    const std::string settingsPath = SettingsFileFor(SettingsPathFor(FOptions.executablePath));
    MakeSettingsFolder(settingsPath);  // the per-user file's folder, for the saves to come
    LoadSettings(settingsPath, FSettings, FConnection, *this);
    OptionsFastImport->setChecked(FConnection.FFastImport);
    OptionsKeepEdits->setChecked(FConnection.FKeepEdits);

    try {
        ImportSession = std::make_unique<Session>();
    } catch (const std::exception& error) {
        // Without a driver manager no connection can be made; the window still works.
        AddStatusMessage(error.what());
    }
    if (ImportSession) {
        ImportDatabase = std::make_unique<Database>(*ImportSession);
        FDataQuery = std::make_unique<DataWriter>(*ImportDatabase);
    }
    FSensorPairs = std::make_unique<SensorPairs>();

    FStatus.SetShowDetails(false);
    FControl.stop = false;
    ProgressBar1->setValue(0);
    Timer1->start();
}

void TfrmMain::CreateLoginForm() {
    if (FLoginForm) return;
    std::vector<std::string> aliases;
    if (ImportSession) {
        try {
            aliases = ImportSession->DataSourceNames();
        } catch (const std::exception& error) {
            AddStatusMessage(error.what());
        }
    }
    FLoginForm = new TMyLoginForm(aliases, *FDialogs, this);
}

TMyLoginForm* TfrmMain::MyLoginForm() const { return FLoginForm.data(); }

void TfrmMain::CreateAboutForm() {
    if (!FAboutForm) FAboutForm = new TfmAbout(this);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown) return;
    FShown = true;
    // Centred on the desktop, like the first showing of the original layout.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormShow();
}

void TfrmMain::FormShow() {
    FHintHandler = true;
    // The attempt may end in an error box, which must not come before the
    // window it belongs to is on screen.
    WhenOnScreen(this, [this] {
        if (FStartAttemptMade || FClosed) return;
        FStartAttemptMade = true;
        ConnectAtStart();
    });
}

bool TfrmMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // The status bar keeps its two panels: no temporary message covers them.
        if (FHintHandler) ShowLongHint(static_cast<QStatusTipEvent*>(event)->tip());
        event->accept();
        return true;
    }
    return QMainWindow::event(event);
}

void TfrmMain::ShowLongHint(const QString& hint) { StatusPanel1->setText(GetLongHint(hint)); }

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (FClosed) {
        event->accept();
        return;
    }
    FormCloseQuery();
    event->accept();  // closing is always allowed
    FormClose();
}

void TfrmMain::FormCloseQuery() {
    setWindowTitle(QLatin1String(kShuttingDown));
    if (ImportRunning()) {
        // The run below this event still commits what it wrote (a fast
        // import's open batch); the database is closed once it has returned.
        lblDB->clear();
        return;
    }
    CloseDatabase();
}

void TfrmMain::FormClose() {
    FClosed = true;
    WriteSettings(FSettings, FConnection, *this);
    // A running import ends before its next value.
    FControl.stop = true;
    FControl.closing = true;
    FCancelRead = true;  // a reading for sensors ends before its next line
    Timer1->stop();
    if (FHelpViewer) FHelpViewer->close();
    if (FRunDepth > 0) {
        // The import run is still on the stack below this event: the objects
        // it uses are released when it has returned.
        FReleasePending = true;
        return;
    }
    ReleaseOwnedObjects();
}

void TfrmMain::ReleaseOwnedObjects() {
    if (FSensorPairs) FSensorPairs->ClearSensorPairs();
    FSensorPairs.reset();
    FDataQuery.reset();
    if (ImportDatabase) ImportDatabase->Close();
    ImportDatabase.reset();
    if (ImportSession) ImportSession->Close();
    ImportSession.reset();
    FHelpViewer.reset();
    FReleasePending = false;
}

std::vector<std::string> TfrmMain::ListItems(const QListWidget* list) const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(list->count()));
    for (int i = 0; i < list->count(); ++i) items.push_back(ToBytes(list->item(i)->text()));
    return items;
}

std::vector<std::string> TfrmMain::ImportEntries() const { return ListItems(lbxImport); }

}  // namespace vireo::gui

// The meta-object code of TfrmMain (Main.h), built by moc.
#include "moc_Main.cpp"
