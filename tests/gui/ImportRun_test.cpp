// The import run as the window drives it: checks, rows in the database, line
// count, messages, Stop, and closing the window while a run is going on.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include "gui/GuiTestSupport.h"
#include "settings/ProfileFile.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

constexpr const char* kCatalogue =
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST02', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'BATT', 'Y');\n";

class ImportRunTest : public StationGuiTest {
protected:
    ImportRunTest() : StationGuiTest(kCatalogue) {}

    TfrmMain& StartWithLog(const std::string& text, const std::vector<const char*>& entries,
                           const std::string& name = "data.log") {
        TfrmMain& w = StartWindow();
        EXPECT_TRUE(dialogs.shown.empty());
        const std::string path = dir.File(name);
        WriteFile(path, text);
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
        for (const char* entry : entries) w.lbxImport->addItem(QLatin1String(entry));
        return w;
    }

    std::vector<std::vector<std::optional<std::string>>> Rows() const {
        return source.Select(
            "SELECT STATION_ID, SENSORNAME, TIME_TAG, SOURCE, ORIG_VALUE, ED_VALUE FROM TF_DATA1 "
            "ORDER BY SENSORNAME, TIME_TAG");
    }
    std::size_t RowCount() const { return Rows().size(); }
};

TEST_F(ImportRunTest, ImportsThePairedValuesAndCountsTheLines) {
    TfrmMain& w = StartWithLog(
        "\"Vireo 4620 export\r\n"
        "TEMP,06/15/2005,12:30:00,21.5,G\r\n"
        "temp,06/15/2005 12:40:00,21.9,G\r\n"
        "BATT,06/15/2005,12:30:00,13.2,G\r\n"
        "OTHER,06/15/2005,12:30:00,1,G\r\n"
        "TEMP,06/15/2005,13:10:00,n/a,B\r\n",
        {"TEMP||ST01.TEMP", "BATT||ST01.BATT"});
    w.OptionsImportExecute();
    EXPECT_TRUE(dialogs.shown.empty());

    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "ST01");
    EXPECT_EQ(rows[0][1], "BATT");
    EXPECT_EQ(rows[0][3], "T");
    EXPECT_EQ(std::stod(*rows[0][4]), 13.2);
    EXPECT_EQ(rows[1][1], "TEMP");
    EXPECT_EQ(rows[1][2]->substr(0, 19), "2005-06-15 12:30:00");
    EXPECT_EQ(std::stod(*rows[2][5]), 21.9);

    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Imported Record Count: 5");
    const std::vector<std::string> memo = w.MemoLines();
    ASSERT_FALSE(memo.empty());
    EXPECT_TRUE(AnyLineEndsWith({memo.front()}, "    Import process completed..")) << memo.front();
    EXPECT_TRUE(w.OptionsImport->isEnabled());
    EXPECT_FALSE(w.OptionsStop->isEnabled());
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_EQ(w.FSensorPairs->PairCount(), 2u) << "the pairing table stays until the next run";

    // Again, with detail messages: the same rows are updated, the count is the same.
    w.OptionsShowDetailsExecute();
    w.OptionsImportExecute();
    EXPECT_EQ(RowCount(), 3u);
    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Imported Record Count: 5");
    const std::vector<std::string> detailed = w.MemoLines();
    EXPECT_TRUE(AnyLineEndsWith(detailed, "    Reading - BATT,06/15/2005,12:30:00,13.2,G."));
    EXPECT_TRUE(AnyLineEndsWith(detailed, "    Updated timetag data - ST01.TEMP @ 06/15/2005 12:30:00 - 21.5."));
}

TEST_F(ImportRunTest, ChecksBeforeTheRun) {
    TfrmMain& w = StartWithLog("TEMP,06/15/2005,12:30:00,21.5,G\r\n", {});

    w.OptionsImportExecute();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "The import list is empty!");
    EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::Cancel);

    w.lbxImport->addItem(QStringLiteral("TEMP||ST02.TEMP"));  // ST01 is the chosen station
    dialogs.answers = {MessageAnswer::Yes};
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.shown.back().text, "The station name does not matching with the database, cancel?");
    EXPECT_EQ(RowCount(), 0u);

    w.edtLogfile->setText(QString::fromStdString(dir.File("gone.log")));
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.shown.back().text, "Error 106: Please enter a file name");
    EXPECT_TRUE(w.OptionsImport->isEnabled());
}

TEST_F(ImportRunTest, EntriesTheCatalogueDoesNotListAreNamedOnLoadingAndRefusedAtTheStart) {
    TfrmMain& w = StartWithLog("TEMP,06/15/2005,12:30:00,21.5,G\r\n", {});
    const std::string file = dir.File("hand.sfg");
    WriteFile(file, "[Import]\nSensors=TEMP||ST01.TEMP,TEMP||ST09.TEMP,TEMP||ST01.NOPE, TEMP||ST01.BATT\n");
    const std::string named =
        "These import entries cannot be imported:\n"
        "TEMP||ST09.TEMP: station ST09 is not an enabled station of the database\n"
        "TEMP||ST01.NOPE: sensor NOPE is not an enabled sensor of station ST01\n"
        " TEMP||ST01.BATT: not an import entry (LOG||STATION.SENSOR)";
    dialogs.openAnswers = {file};
    w.FileOpenSensors1Execute();
    EXPECT_EQ(w.ImportEntries(),
              (std::vector<std::string>{"TEMP||ST01.TEMP", "TEMP||ST09.TEMP", "TEMP||ST01.NOPE", " TEMP||ST01.BATT"}));
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{named});

    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{named, named}));
    EXPECT_EQ(RowCount(), 0u);
    EXPECT_TRUE(w.OptionsImport->isEnabled());

    // A list the catalogue lists loads without a word and imports.
    WriteFile(file, "[Import]\nSensors=TEMP||ST01.TEMP\n");
    dialogs.openAnswers = {file};
    w.FileOpenSensors1Execute();
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.Texts().size(), 2u);
    EXPECT_EQ(RowCount(), 1u);
}

TEST_F(ImportRunTest, ASmallFreeShareIsAskedAboutAndAnUnknownOneIsNot) {
    WriteFile(SettingsPath(), "[Application]\nMaxDBFileSize=1\n");  // every file is full
    TfrmMain& w = StartWithLog("TEMP,06/15/2005,12:30:00,21.5,G\r\n", {"TEMP||ST01.TEMP"});
    ASSERT_EQ(w.DBAvailSizePecent->text().toStdString(), "0");
    dialogs.answers = {MessageAnswer::Yes};
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"The available database size is less than 10%, cancel?"});
    EXPECT_EQ(RowCount(), 0u);

    // A server database shows no share, and the run asks nothing about it.
    w.FFreeShare = {FreeShareShown::State::Unknown, 0};
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(RowCount(), 1u);
}

TEST_F(ImportRunTest, StopAnsweredYesEndsTheRunBeforeTheNextLine) {
    TfrmMain& w = StartWithLog(TempLines(400), {"TEMP||ST01.TEMP"});
    QString timeDuringRun;
    QTimer::singleShot(0, &w, [&] {
        // Runs at the first value written: the window handles events during the run.
        EXPECT_FALSE(w.OptionsImport->isEnabled());
        EXPECT_TRUE(w.OptionsStop->isEnabled());
        w.Timer1Timer();
        timeDuringRun = w.StatusPanel0->text();
        dialogs.answers = {MessageAnswer::Yes};
        w.OptionsStopExecute();
    });
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Stop import process?"});
    EXPECT_EQ(RowCount(), 1u);
    EXPECT_EQ(w.StatusPanel1->text().toStdString(), "Imported Record Count: 1");
    EXPECT_EQ(timeDuringRun.toStdString(), "Import Time: 00:00:00");
    EXPECT_TRUE(AnyLineEndsWith({w.MemoLines().front()}, "Import process completed.."));
    EXPECT_TRUE(w.OptionsImport->isEnabled());
    EXPECT_FALSE(w.OptionsStop->isEnabled());
    EXPECT_FALSE(w.FControl.stop);
}

TEST_F(ImportRunTest, StopAnsweredNoLetsTheRunGoOn) {
    TfrmMain& w = StartWithLog(TempLines(20), {"TEMP||ST01.TEMP"});
    QTimer::singleShot(0, &w, [&] { w.OptionsStopExecute(); });  // answered No
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Stop import process?"});
    EXPECT_EQ(RowCount(), 20u);
}

TEST_F(ImportRunTest, ClosingTheWindowDuringARunEndsItCleanly) {
    TfrmMain& w = StartWithLog(TempLines(3000), {"TEMP||ST01.TEMP"});
    QTimer::singleShot(0, &w, [&] { w.close(); });
    w.OptionsImportExecute();  // the window closes at the first value written

    EXPECT_EQ(RowCount(), 1u);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w.windowTitle().toStdString(), "*** Shutting down ... Please Wait ***");
    EXPECT_TRUE(AnyLineEndsWith({w.MemoLines().front()}, "Import process completed.."));
    // Released once the run had returned.
    EXPECT_EQ(w.FDataQuery, nullptr);
    EXPECT_EQ(w.FSensorPairs, nullptr);
    EXPECT_EQ(w.ImportDatabase, nullptr);
    EXPECT_EQ(w.ImportSession, nullptr);
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(settings.ReadString("DataBase", "DataSource", ""), source.Name());
    EXPECT_EQ(settings.ReadInteger("Application", "MaxDBFileSize", 0), 2097152);
}

TEST_F(ImportRunTest, ClosingInTheMiddleOfALineOfSeveralValuesStopsBeforeTheNextValue) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "06/15/2005,%02d:%02d:00,ST01,1.%d,13.%d,%d\n", i / 60, i % 60, i, i, i);
        text += line;
    }
    TfrmMain& w = StartWithLog(text, {"ST01:1||ST01.TEMP", "ST01:2||ST01.BATT"}, "labels.csv");
    QTimer::singleShot(0, &w, [&] { w.close(); });
    w.OptionsImportExecute();
    EXPECT_EQ(RowCount(), 1u);
    EXPECT_EQ(w.FDataQuery, nullptr);
}

}  // namespace
}  // namespace vireo::testing

namespace vireo::testing {
namespace {

TEST_F(ImportRunTest, FastImportIsAnOptionThatTheSettingsFileKeeps) {
    TfrmMain& w = StartWithLog(TempLines(300), {"TEMP||ST01.TEMP"});
    EXPECT_FALSE(w.OptionsFastImport->isChecked());
    w.OptionsFastImport->trigger();  // the menu item
    EXPECT_TRUE(w.OptionsFastImport->isChecked());
    w.OptionsImportExecute();
    EXPECT_EQ(RowCount(), 300u);

    w.close();
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_TRUE(settings.ReadBool("Application", "FastImport", false));
}

TEST_F(ImportRunTest, ClosingDuringAFastRunCommitsWhatWasWritten) {
    WriteFile(SettingsPath(), "[Application]\nFastImport=1\n");
    TfrmMain& w = StartWithLog(TempLines(3000), {"TEMP||ST01.TEMP"});
    ASSERT_TRUE(w.OptionsFastImport->isChecked());
    QTimer::singleShot(0, &w, [&] { w.close(); });
    w.OptionsImportExecute();  // the window closes at the first value written
    EXPECT_EQ(RowCount(), 1u);
    EXPECT_TRUE(AnyLineEndsWith({w.MemoLines().front()}, "Import process completed.."));
}

}  // namespace
}  // namespace vireo::testing
