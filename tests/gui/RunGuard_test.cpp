// While an import runs, nothing else reads the log or the database on the
// window's thread, and the run's controls stay as the run set them.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "gui/GuiTestSupport.h"
#include "gui/PreviewDialog.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

constexpr const char* kWait = "Please wait until the import has finished.";
constexpr int kLines = 300;

/// An action the guard covers: what starts it and what shows it disabled.
struct GuardedCase {
    const char* name;
    void (TfrmMain::*execute)();
    QObject* (*control)(TfrmMain&);
};

const GuardedCase kGuarded[] = {
    {"Check Import", &TfrmMain::OptionsCheckImportExecute,
     [](TfrmMain& w) -> QObject* { return w.OptionsCheckImport; }},
    {"Start Importing", &TfrmMain::OptionsImportExecute, [](TfrmMain& w) -> QObject* { return w.OptionsImport; }},
    {"Preview", &TfrmMain::LogPreview1Execute, [](TfrmMain& w) -> QObject* { return w.LogPreview1; }},
    {"Show Imported Data", &TfrmMain::ShowImported1Execute, [](TfrmMain& w) -> QObject* { return w.ShowImported1; }},
    {"Read File for Sensors", &TfrmMain::btnReadFileClick, [](TfrmMain& w) -> QObject* { return w.btnReadFile; }},
    {"Open a Data Log File", &TfrmMain::FileLogOpen1Execute, [](TfrmMain& w) -> QObject* { return w.FileLogOpen1; }},
    {"Load Import Settings", &TfrmMain::FileOpenSensors1Execute,
     [](TfrmMain& w) -> QObject* { return w.FileOpenSensors1; }},
    {"Connect", &TfrmMain::DBConnect1Execute, [](TfrmMain& w) -> QObject* { return w.DBConnect1; }},
    {"Disconnect", &TfrmMain::DBDisconnect1Execute, [](TfrmMain& w) -> QObject* { return w.DBDisconnect1; }},
    {"Select a Station in Database", &TfrmMain::cbxStationsChange,
     [](TfrmMain& w) -> QObject* { return w.cbxStations; }},
};

bool Enabled(QObject* control) {
    if (auto* action = qobject_cast<QAction*>(control)) return action->isEnabled();
    return qobject_cast<QWidget*>(control)->isEnabled();
}

class RunGuardTest : public StationGuiTest {
protected:
    TfrmMain& StartWithLog() {
        TfrmMain& w = StartWindow();
        EXPECT_TRUE(dialogs.shown.empty());
        const std::string path = dir.File("data.log");
        WriteFile(path, TempLines(kLines));
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
        w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
        EXPECT_TRUE(SelectItem(w.lbxLogSensors, "TEMP"));
        EXPECT_TRUE(SelectItem(w.lbxImport, "TEMP||ST01.TEMP"));
        return w;
    }

    std::size_t RowCount() const { return source.Select("SELECT TIME_TAG FROM TF_DATA1").size(); }
};

TEST_F(RunGuardTest, EveryReadingOfTheLogOrTheDatabaseIsDisabledAndRefusedDuringARun) {
    TfrmMain& w = StartWithLog();
    const std::string other = dir.File("other.log");
    WriteFile(other, "OTHER,06/15/2005,12:30:00,1,G\r\n");
    bool checked = false;
    QTimer::singleShot(0, &w, [&] {
        // At the first value written.
        ASSERT_TRUE(w.ImportRunning());
        w.edtLogfile->setText(QString::fromStdString(other));
        dialogs.openAnswers = {other, other};
        for (const GuardedCase& row : kGuarded) {
            SCOPED_TRACE(row.name);
            EXPECT_FALSE(Enabled(row.control(w)));
            dialogs.shown.clear();
            (w.*row.execute)();
            EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{kWait});
            EXPECT_TRUE(w.ImportRunning());
            EXPECT_FALSE(w.OptionsImport->isEnabled());
            EXPECT_TRUE(w.OptionsStop->isEnabled());
        }
        EXPECT_EQ(dialogs.openAnswers.size(), 2u) << "no file dialog was asked";
        EXPECT_TRUE(w.findChildren<gui::TfrmPreview*>().isEmpty());
        EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
        EXPECT_EQ(w.ImportEntries(), std::vector<std::string>{"TEMP||ST01.TEMP"});
        checked = true;
    });
    w.OptionsImportExecute();
    ASSERT_TRUE(checked);

    EXPECT_EQ(RowCount(), static_cast<std::size_t>(kLines)) << "the run went on to its end, once";
    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Imported Record Count: " + std::to_string(kLines));
    EXPECT_EQ(w.lblDB->text().toStdString(), source.Name()) << "still connected";
    for (const GuardedCase& row : kGuarded) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(Enabled(row.control(w)) || row.control(w) == w.DBConnect1);
    }
    EXPECT_FALSE(w.DBConnect1->isEnabled());
    EXPECT_FALSE(w.OptionsStop->isEnabled());
}

TEST_F(RunGuardTest, AfterACheckImportTheRunControlsAndTheStatusBarAreRight) {
    TfrmMain& w = StartWithLog();
    QString timeDuringCheck;
    QTimer::singleShot(0, &w, [&] {
        EXPECT_FALSE(w.OptionsImport->isEnabled());
        EXPECT_TRUE(w.OptionsStop->isEnabled());
        w.Timer1Timer();
        timeDuringCheck = w.StatusPanel0->text();
    });
    w.OptionsCheckImportExecute();
    EXPECT_EQ(RowCount(), 0u);
    // The report writes time tags as the window's messages do.
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const std::string report = dialogs.shown[0].text;
    EXPECT_NE(report.find("06/01/2005 04:59:00"), std::string::npos) << report;
    EXPECT_EQ(report.find("2005-06-01"), std::string::npos) << report;
    EXPECT_EQ(timeDuringCheck.toStdString(), "Import Time: 00:00:00");
    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Checked Record Count: " + std::to_string(kLines))
        << "nothing was imported";
    EXPECT_TRUE(w.OptionsImport->isEnabled());
    EXPECT_FALSE(w.OptionsStop->isEnabled());
    // The time stays as the check left it.
    w.FImportStart -= std::chrono::hours(1);
    w.Timer1Timer();
    EXPECT_EQ(w.StatusPanel0->text(), timeDuringCheck);

    w.OptionsImportExecute();
    EXPECT_EQ(RowCount(), static_cast<std::size_t>(kLines));
    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Imported Record Count: " + std::to_string(kLines));
}

}  // namespace
}  // namespace vireo::testing
