// The window's real file dialogs and its import against a SQLite database
// whose folder the dialogs list: the connection keeps the locks the SQLite
// library holds on the database file, and another program sees every row the
// window reports written and keeps the rows it writes itself.
#include <unistd.h>

#include <QAction>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTimer>
#include <filesystem>

#include "gui/GuiTestSupport.h"
#include "support/ProcessLocks.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

/// The output of the sqlite3 program (another process) running `sql` on
/// `database`; its error output follows, so that a failure shows in the text.
std::string Sqlite3(const std::string& database, const std::string& sql) {
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {QStringLiteral("-bail"), QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"),
                  QString::fromStdString(database), QString::fromStdString(sql)});
    if (!sqlite.waitForFinished(30000)) return "sqlite3 did not finish";
    return (sqlite.readAllStandardOutput() + sqlite.readAllStandardError()).toStdString();
}

std::string RowCount(const std::string& database) { return Sqlite3(database, "SELECT COUNT(*) FROM TF_DATA1;"); }

/// Runs the test in the database's folder, where the window's dialogs start
/// (the home folder is the current one: the registry names none).
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(saved_); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::filesystem::path saved_;
};

/// Cancels the next file dialog once it lists `file` with its type: working
/// out a file's type is where a dialog would read it.
void CancelOnceListed(const std::string& file, bool* listed) {
    WhenModalShown([file, listed](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr) << "a file dialog was expected, not " << modal->windowTitle().toStdString();
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        dialog->selectNameFilter(dialog->nameFilters().constLast());  // all files: the database is shown
        const QString path = QString::fromStdString(file);
        *listed = ProcessUntil(
            [&] {
                const QModelIndex index = model->index(path);
                return index.isValid() && !model->type(index).isEmpty();
            },
            3000);
        dialog->reject();
    });
}

class FileLocksTest : public StationGuiTest {
protected:
    /// The window as the program makes it, with the real message boxes and
    /// file dialogs; connected at start.
    TfrmMain& StartRealWindow() {
        window = std::make_unique<TfrmMain>(gui::MainWindowOptions{ExecutablePath(), nullptr});
        window->CreateLoginForm();
        window->CreateAboutForm();
        window->show();
        // The attempt comes from the event loop once the window is on screen.
        EXPECT_TRUE(ProcessUntil([this] { return window->StartAttemptMade(); })) << "no connection attempt at start";
        EXPECT_TRUE(window->DBDisconnect1->isEnabled()) << "connected at start";
        return *window;
    }

    int Locks() const { return PosixLocksHeld(::getpid(), source.FilePath()); }

    CurrentFolder folder{std::filesystem::path(source.FilePath()).parent_path()};
};

TEST_F(FileLocksTest, EveryFileDialogLeavesTheConnectionItsLocks) {
    TfrmMain& w = StartRealWindow();
    ASSERT_EQ(w.HomeDirectory, std::filesystem::current_path().string() + "/");
    const int before = Locks();
    ASSERT_GT(before, 0) << "the open connection holds locks on its database file";

    const struct {
        const char* name;
        void (TfrmMain::*open)();
    } dialogs[] = {
        {"Open Log File", &TfrmMain::FileLogOpen1Execute},
        {"Open Sensor Import File", &TfrmMain::FileOpenSensors1Execute},
        {"Save Sensor selections", &TfrmMain::FileSaveSensors1Execute},
        {"Log Status Messages", &TfrmMain::OptionsLogMessagesExecute},
    };
    for (const auto& dialog : dialogs) {
        SCOPED_TRACE(dialog.name);
        bool listed = false;
        CancelOnceListed(source.FilePath(), &listed);
        (w.*dialog.open)();
        EXPECT_TRUE(listed) << "the dialog did not list the database";
        // Closing any descriptor of the file drops every lock the process holds
        // on it; how many the connection holds besides varies with its state.
        EXPECT_GT(Locks(), 0) << "the connection lost its locks (it held " << before << ")";
    }
    EXPECT_FALSE(w.OptionsLogMessages->isChecked());
}

TEST_F(FileLocksTest, AnotherProgramSeesEveryRowTheWindowWritesAndKeepsItsOwn) {
    constexpr int kLines = 4000;
    const std::string database = source.FilePath();
    const std::string log = dir.File("data.log");
    WriteFile(log, TempLines(kLines));
    TfrmMain& w = StartRealWindow();
    w.edtLogfile->setText(QString::fromStdString(log));
    w.btnReadFileClick();
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));

    // The Store Import Settings dialog lists the database's folder and is cancelled.
    bool listed = false;
    CancelOnceListed(database, &listed);
    w.FileSaveSensors1Execute();
    ASSERT_TRUE(listed);
    // Another program opens and closes the database: were the window's locks
    // gone, it would take itself for the last user and remove the WAL file.
    EXPECT_EQ(RowCount(database), "0\n");

    // During the run, another program reads the table again and again.
    std::vector<std::string> readsDuringRun;
    int windowLocksLost = 0;
    QTimer reader;
    reader.setInterval(20);
    QObject::connect(&reader, &QTimer::timeout, [&] {
        if (!w.ImportRunning()) return;
        readsDuringRun.push_back(RowCount(database));
        if (PosixLocksHeld(::getpid(), database) == 0) ++windowLocksLost;
    });
    reader.start();
    w.OptionsImportExecute();
    reader.stop();

    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Imported Record Count: " + std::to_string(kLines));
    ASSERT_FALSE(readsDuringRun.empty()) << "the run was over before the first read";
    long previous = 0;
    for (const std::string& read : readsDuringRun) {
        ASSERT_FALSE(read.empty());
        const long count = std::strtol(read.c_str(), nullptr, 10);
        EXPECT_EQ(read, std::to_string(count) + "\n") << "the other program failed";
        EXPECT_GE(count, previous);
        previous = count;
    }
    EXPECT_EQ(windowLocksLost, 0);
    EXPECT_EQ(RowCount(database), std::to_string(kLines) + "\n") << "every row reported written";

    // A row of the other program survives the window's exit.
    EXPECT_EQ(Sqlite3(database,
                      "INSERT INTO TF_DATA1(STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE) "
                      "VALUES ('ST02', 'OTHER', '2005-07-01 00:00:00', 'X', 1, 1);"),
              "");
    w.FileExit1->trigger();
    window.reset();
    EXPECT_EQ(RowCount(database), std::to_string(kLines + 1) + "\n");
    EXPECT_EQ(Sqlite3(database, "SELECT SOURCE FROM TF_DATA1 WHERE STATION_ID = 'ST02';"), "X\n");
    EXPECT_EQ(Sqlite3(database, "PRAGMA integrity_check;"), "ok\n");
}

}  // namespace
}  // namespace vireo::testing
