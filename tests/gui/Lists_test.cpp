// Reading a log file for its sensor names, building the import list, and
// storing and loading it.
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <filesystem>

#include "gui/GuiTestSupport.h"
#include "support/ProcessLocks.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

constexpr const char* kCatalogue =
    "INSERT INTO TF_SITES(STATION_ID, ENABLED) VALUES ('ST01', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'TEMP', 'Y');\n"
    "INSERT INTO TF_SITESENSORS(STE_STATION_ID, SENSORNAME, ENABLED) VALUES ('ST01', 'WS.AVG', 'Y');\n";

class ListsTest : public StationGuiTest {
protected:
    ListsTest() : StationGuiTest(kCatalogue) {}

    std::string WriteLog(const std::string& name, const std::string& text) const {
        const std::string path = dir.File(name);
        WriteFile(path, text);
        return path;
    }

    void ReadLog(TfrmMain& w, const std::string& path) {
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
    }
};

TEST_F(ListsTest, LogSensorsAreListedOnceInStrcasecmpOrder) {
    TfrmMain& w = StartWindow();
    const std::string path = WriteLog("mixed.log",
                                      "b,06/15/2005,12:30:00,1,G\r\n"
                                      "\"a comment line, skipped\r\n"
                                      "_x,06/15/2005,12:30:00,2,G\r\n"
                                      "A,06/15/2005,12:30:00,3,G\r\n"
                                      "\r\n"
                                      "a2,06/15/2005,12:30:00,4,G\r\n"
                                      "Z,06/15/2005,12:30:00,5,G\r\n"
                                      "B,06/15/2005,12:40:00,6,G\r\n");
    ReadLog(w, path);
    EXPECT_TRUE(dialogs.shown.empty());
    // '_' sorts before the letters, which sort without regard to case; "B"
    // is the same name as "b", listed in the spelling met first.
    EXPECT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"_x", "A", "a2", "b", "Z"}));
    EXPECT_EQ(w.FLastLogFile, path);
    EXPECT_FALSE(w.FPrnFile);

    // A hand-added name goes to its place in that order, blanks and all.
    w.edtSensor->setText(QStringLiteral(" aa "));
    w.btnSensorAddClick();
    w.edtSensor->setText(QStringLiteral("a1"));
    w.btnSensorAddClick();
    EXPECT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{" aa ", "_x", "A", "a1", "a2", "b", "Z"}));
    EXPECT_EQ(w.edtSensor->text().toStdString(), "a1") << "the edit box keeps its text";
}

TEST_F(ListsTest, TheSameFileIsNotReadAgainAndAnotherFileEmptiesBothLists) {
    TfrmMain& w = StartWindow();
    const std::string first = WriteLog("first.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    ReadLog(w, first);
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    WriteFile(first, "OTHER,06/15/2005,12:30:00,21.5,G\n");

    std::string upper = first;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& again : {first, upper}) {
        SCOPED_TRACE(again);
        ReadLog(w, again);
        EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
        EXPECT_EQ(w.lbxImport->count(), 1);
    }
    EXPECT_TRUE(dialogs.shown.empty());

    ReadLog(w, WriteLog("second.csv", "06/15/2005,12:30:00,ST01,1.25,13.1\n"));
    EXPECT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"ST01:1", "ST01:2"}));
    EXPECT_EQ(w.lbxImport->count(), 0);
}

TEST_F(ListsTest, AMissingFileIsRefusedWithError106) {
    TfrmMain& w = StartWindow();
    ReadLog(w, "");  // before any file was read: nothing at all
    EXPECT_TRUE(dialogs.shown.empty());

    const std::string path = WriteLog("one.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    ReadLog(w, path);
    for (const std::string& name : {std::string(), dir.File("missing.log"), dir.path().string()}) {
        SCOPED_TRACE(name);
        dialogs.shown.clear();
        ReadLog(w, name);
        EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Error 106: Please enter a file name"});
        EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
        EXPECT_EQ(w.FLastLogFile, path);
    }
}

TEST_F(ListsTest, APrnHeadingLineNamesTheColumns) {
    TfrmMain& w = StartWindow();
    ReadLog(w, WriteLog("gauge.prn", "\"DATE\" \"TIME\" \"STAGE\" \"BATT\"\r\n06/15/2005 14:00:00 1.40 12.8\r\n"));
    EXPECT_TRUE(w.FPrnFile);
    EXPECT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"BATT", "STAGE"}));
}

TEST_F(ListsTest, OpenDialogChoosesAndReadsTheFile) {
    TfrmMain& w = StartWindow();
    const std::string path = WriteLog("chosen.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    dialogs.openAnswers = {std::nullopt, path};
    w.FileLogOpen1Execute();  // cancelled
    EXPECT_TRUE(w.edtLogfile->text().isEmpty());
    w.FileLogOpen1Execute();
    EXPECT_EQ(w.edtLogfile->text().toStdString(), path);
    EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
}

TEST_F(ListsTest, ImportEntriesArePairsOfTheThreeSelections) {
    TfrmMain& w = StartWindow();
    ASSERT_EQ(Items(w.lbxSensors), (std::vector<std::string>{"TEMP", "WS.AVG"}));
    ReadLog(w, WriteLog("pairs.log", "temp,06/15/2005,12:30:00,21.5,G\nX,06/15/2005,12:30:00,1,G\n"));

    w.SelectAdd1Execute();  // nothing selected
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Please select a log sensor and station sensor."});
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Information);
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "temp"));
    w.SelectAdd1Execute();  // no station sensor selected
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(w.lbxImport->count(), 0);

    ASSERT_TRUE(SelectItem(w.lbxSensors, "TEMP"));
    w.SelectAdd1Execute();
    w.SelectAdd1Execute();  // the same pair again is not refused
    ASSERT_TRUE(SelectItem(w.lbxLogSensors, "X"));
    ASSERT_TRUE(SelectItem(w.lbxSensors, "WS.AVG"));
    w.SelectAdd1Execute();
    EXPECT_EQ(w.ImportEntries(), (std::vector<std::string>{"temp||ST01.TEMP", "temp||ST01.TEMP", "X||ST01.WS.AVG"}));
    EXPECT_EQ(dialogs.shown.size(), 2u);

    w.lbxImport->clearSelection();
    w.SelectDelete1Execute();  // nothing selected: nothing deleted
    EXPECT_EQ(w.lbxImport->count(), 3);
    w.lbxImport->item(0)->setSelected(true);
    w.SelectDelete1Execute();
    EXPECT_EQ(w.ImportEntries(), (std::vector<std::string>{"temp||ST01.TEMP", "X||ST01.WS.AVG"}));
}

TEST_F(ListsTest, LogSensorNamesAreAddedAndDeletedByHand) {
    TfrmMain& w = StartWindow();
    w.edtSensor->setText(QStringLiteral(" \t "));
    w.btnSensorAddClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Sensor name is blank!");
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(w.lbxLogSensors->count(), 0);

    w.edtSensor->setText(QStringLiteral("RAIN"));
    w.btnSensorAddClick();
    w.btnSensorAddClick();  // the same name again is added again
    EXPECT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"RAIN", "RAIN"}));

    dialogs.shown.clear();
    w.lbxLogSensors->item(0)->setSelected(true);
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes};
    w.btnSensorDeleteClick();
    EXPECT_EQ(w.lbxLogSensors->count(), 2);
    w.btnSensorDeleteClick();
    EXPECT_EQ(w.lbxLogSensors->count(), 1);
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>(2, "Deleted selected Sensor in Log File list?")));
    EXPECT_EQ(dialogs.shown[0].buttons, MessageButtons::YesNo);
}

TEST_F(ListsTest, ImportListIsStoredAndLoaded) {
    TfrmMain& w = StartWindow();
    for (const char* entry : {"A||S1.T1", "B||S1.T2", "C||S2.WS.AVG"}) w.lbxImport->addItem(QLatin1String(entry));
    const std::string file = dir.File("pairs.sfg");

    dialogs.saveAnswers = {file};
    w.FileSaveSensors1Execute();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Save Sensor selections");
    EXPECT_EQ(dialogs.requests[0].filter, "Sensor Import Files (*.sfg)|*.sfg|All Files|*.*");
    EXPECT_EQ(dialogs.requests[0].defaultExtension, "sfg");
    EXPECT_EQ(dialogs.requests[0].startFolder, w.HomeDirectory);
    EXPECT_EQ(ReadFile(file), "[Import]\nSensors=A||S1.T1,B||S1.T2,C||S2.WS.AVG\n");

    // Storing over an existing file asks first.
    w.lbxImport->clear();
    dialogs.saveAnswers = {file, file};
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes};
    w.FileSaveSensors1Execute();
    EXPECT_EQ(ReadFile(file), "[Import]\nSensors=A||S1.T1,B||S1.T2,C||S2.WS.AVG\n");
    w.FileSaveSensors1Execute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>(2, file + " exists.  Do you wish to overwrite file?")));
    EXPECT_EQ(ReadFile(file), "[Import]\nSensors=\n");

    WriteFile(file, "[Import]\nSensors=,A||S1.T1,,B||S1.T2,\n");
    w.lbxImport->addItem(QStringLiteral("old entry"));
    dialogs.openAnswers = {file};
    w.FileOpenSensors1Execute();
    EXPECT_EQ(dialogs.requests.back().title, "Open Sensor Import File");
    EXPECT_EQ(dialogs.requests.back().filter, "Sensor Import Files(*.sfg)|*.sfg|All Files|*.*");
    EXPECT_EQ(dialogs.requests.back().defaultExtension, "sfg");
    EXPECT_EQ(w.ImportEntries(), (std::vector<std::string>{"", "A||S1.T1", "", "B||S1.T2"}));

    // A file without the section empties the list and says nothing.
    WriteFile(file, "[Other]\nSensors=X||S.T\n");
    dialogs.openAnswers = {file};
    w.FileOpenSensors1Execute();
    EXPECT_EQ(w.lbxImport->count(), 0);
}

TEST_F(ListsTest, ASettingsFileThatCannotBeReadLeavesTheImportList) {
    const std::string folder = dir.File("x.sfg");
    std::filesystem::create_directory(folder);
    const std::string zero = dir.File("zero.sfg");
    WriteFile(zero, std::string("[Import]\nSensors=A||S1.T1") + '\0' + "\n");
    TfrmMain& w = StartWindow();
    const std::vector<std::string> built{"TEMP||ST01.TEMP", "BATT||ST01.BATT"};
    for (const std::string& entry : built) w.lbxImport->addItem(QString::fromStdString(entry));
    for (const std::string& file : {folder, zero}) {
        SCOPED_TRACE(file);
        dialogs.openAnswers = {file};
        w.FileOpenSensors1Execute();
        ASSERT_FALSE(w.MemoLines().empty());
        EXPECT_TRUE(AnyLineEndsWith({w.MemoLines().front()}, "    Error 101: Unable to read file " + file + "."))
            << w.MemoLines().front();
        EXPECT_EQ(w.ImportEntries(), built);
    }
}

TEST_F(ListsTest, OpenLogFileDialogStartsInTheFolderOfTheLastLogFile) {
    std::filesystem::create_directory(dir.File("logs"));
    const std::string chosen = WriteLog("logs/chosen.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    const std::string typed = WriteLog("typed.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    {
        TfrmMain& w = StartWindow();
        dialogs.openAnswers = {chosen, std::nullopt, std::nullopt};
        w.FileLogOpen1Execute();
        EXPECT_EQ(dialogs.requests.at(0).startFolder, "") << "nothing opened yet: the program's folder";
        w.FileLogOpen1Execute();
        EXPECT_EQ(dialogs.requests.at(1).startFolder, dir.File("logs"));
        ReadLog(w, typed);  // a path typed and read counts as well
        w.FileLogOpen1Execute();
        EXPECT_EQ(dialogs.requests.at(2).startFolder, dir.path().string());
        w.close();
    }
    EXPECT_NE(ReadFile(SettingsPath()).find("\nLastLogFolder=" + dir.path().string() + "\n"), std::string::npos)
        << ReadFile(SettingsPath());

    // The next start remembers it; a folder that is gone is not offered.
    dialogs.requests.clear();
    TfrmMain& again = StartWindow();
    again.FileLogOpen1Execute();
    EXPECT_EQ(dialogs.requests.at(0).startFolder, dir.path().string());
    again.FConnection.FLastLogFolder = dir.File("gone");
    again.FileLogOpen1Execute();
    EXPECT_EQ(dialogs.requests.at(1).startFolder, "");
}

TEST_F(ListsTest, AWindowThatOpensNoLogFileWritesNoLogFolder) {
    WriteFile(SettingsPath(), "[Application]\nMaxDBFileSize=2097152\n");
    StartWindow().close();
    EXPECT_EQ(ReadFile(SettingsPath()).find("LastLogFolder"), std::string::npos) << ReadFile(SettingsPath());
}

TEST_F(ListsTest, FilesOfTheConnectedDatabaseAreNeitherReadNorWritten) {
    TfrmMain& w = StartWindow();
    ASSERT_TRUE(w.DBDisconnect1->isEnabled()) << "connected at start";
    const std::string database = source.FilePath();
    const int locks = PosixLocksHeld(::getpid(), database);
    ASSERT_GT(locks, 0);
    const std::string log = WriteLog("data.log", "TEMP,06/15/2005,12:30:00,21.5,G\n");
    ReadLog(w, log);
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));
    const auto refused = [](const std::string& path) {
        return "Error 107: " + path + " is a file of the connected database and cannot be used here";
    };

    const std::string companion = database + "-wal";
    ASSERT_TRUE(std::filesystem::exists(companion));
    for (const std::string& path : {database, companion}) {
        SCOPED_TRACE(path);
        dialogs.shown.clear();
        ReadLog(w, path);
        dialogs.openAnswers = {path};
        w.FileOpenSensors1Execute();
        dialogs.saveAnswers = {path, path};
        dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
        w.FileSaveSensors1Execute();
        w.OptionsLogMessagesExecute();
        w.OptionsImportExecute();  // the log file box still names the database
        EXPECT_EQ(dialogs.Texts(), std::vector<std::string>(5, refused(path)));
        EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
        EXPECT_EQ(w.ImportEntries(), std::vector<std::string>{"TEMP||ST01.TEMP"});
        EXPECT_FALSE(w.OptionsLogMessages->isChecked());
        EXPECT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(PosixLocksHeld(::getpid(), database), locks);
    }
    EXPECT_EQ(source.Select("SELECT COUNT(*) FROM TF_SITES")[0][0], "1");

    // Without a connection there are no locks to lose: the file is read as any other.
    w.DBDisconnect1Execute();
    dialogs.shown.clear();
    dialogs.answers.clear();
    ReadLog(w, database);
    for (const std::string& text : dialogs.Texts()) EXPECT_NE(text, refused(database));
}

}  // namespace
}  // namespace vireo::testing
