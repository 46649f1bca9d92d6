// The picture of the window for the documentation: a real import into a
// SQLite demo data source, then the window as it stands. Runs only when
// VIREO_SCREENSHOT names the PNG file to write, under a real display:
//   VIREO_SCREENSHOT=docs/screenshot.png QT_QPA_PLATFORM=xcb
//     xvfb-run -s "-screen 0 1024x768x24" build/.../tests/test_gui --gtest_filter='Screenshot*'
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>

#include "db/Database.h"
#include "db/Session.h"
#include "gui/GuiTestSupport.h"
#include "support/TestDataSource.h"
#include "support/TestOdbc.h"

namespace vireo::testing {
namespace {

class ScreenshotTest : public GuiTest {};

TEST_F(ScreenshotTest, MainWindowAfterAnImport) {
    const char* target = std::getenv("VIREO_SCREENSHOT");
    if (target == nullptr || *target == '\0') GTEST_SKIP() << "VIREO_SCREENSHOT names no file";

    const std::string file = TestOdbc::Instance().File("tarnfold-demo.db");
    TestOdbc::Instance().DefineDataSource(
        "TARNFOLD", {{"Driver", "SQLite3"}, {"Database", file}, {"DBQ", file}, {"JournalMode", "WAL"}});
    {
        Session session;
        Database database(session);
        database.SetDatabaseName("TARNFOLD");
        database.Open();
        ExecuteScript(database, SchemaText(Backend::Sqlite));
        ExecuteScript(database,
                      "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
                      "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST02', 'Y');\n"
                      "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME) VALUES ('ST01', 'STAGE');\n"
                      "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME) VALUES ('ST01', 'BATT');\n"
                      "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME) VALUES ('ST01', 'RH');\n"
                      "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME) VALUES ('ST01', 'TEMP');\n");
    }
    WriteRegistry("TARNFOLD", "operator", "demo");

    std::string log;
    for (int i = 0; i < 48; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "06/15/2005,%02d:%02d:00,ST01,%.2f,%.1f,%d\r\n", i / 4, i % 4 * 15,
                      1.25 + i * 0.01, 13.2 - i * 0.01, 55 + i % 9);
        log += line;
    }
    const std::string path = dir.File("labels.csv");
    WriteFile(path, log);

    gui::TfrmMain& w = StartWindow();
    ASSERT_TRUE(dialogs.shown.empty());
    w.edtLogfile->setText(QString::fromStdString(path));
    w.btnReadFileClick();
    const std::pair<const char*, const char*> pairs[] = {{"ST01:1", "STAGE"}, {"ST01:2", "BATT"}, {"ST01:3", "RH"}};
    for (const auto& [logSensor, sensor] : pairs) {
        ASSERT_TRUE(SelectItem(w.lbxLogSensors, logSensor));
        ASSERT_TRUE(SelectItem(w.lbxSensors, sensor));
        w.SelectAdd1Execute();
    }
    w.OptionsShowDetailsExecute();
    QTimer::singleShot(0, &w, [&w] { w.Timer1Timer(); });  // a tick during the run
    w.OptionsImportExecute();
    w.lbxImport->setCurrentRow(0);
    ProcessUntil([] { return false; }, 20);  // let the window paint

    const QPixmap shot = w.grab();
    ASSERT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG", 9));
}

}  // namespace
}  // namespace vireo::testing
