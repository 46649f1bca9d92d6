// The window's side of a safe re-import: Keep Edited Values, Check Import and
// Save Rejected Lines. The core computes; these check what the window passes
// and shows.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>

#include "gui/GuiTestSupport.h"
#include "settings/ProfileFile.h"
#include "support/TestDataSource.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

class SafeReimportWindowTest : public StationGuiTest {
protected:
    TfrmMain& StartWithLog(const std::string& text) {
        TfrmMain& w = StartWindow();
        const std::string path = dir.File("data.log");
        WriteFile(path, text);
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
        w.lbxImport->addItem(QLatin1String("TEMP||ST01.TEMP"));
        return w;
    }
    std::vector<std::vector<std::optional<std::string>>> Table() const {
        return source.Select("SELECT * FROM TF_DATA1 ORDER BY TIME_TAG");
    }
};

constexpr const char* kLog =
    "TEMP,06/15/2005,12:30:00,21.5,G\r\n"
    "TEMP,06/15/2005,12:40:00,n/a,G\r\n"
    "OTHER,06/15/2005,12:30:00,1,G\r\n";

TEST_F(SafeReimportWindowTest, CheckImportShowsTheTableAndWritesNothing) {
    source.Execute("INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', 'M', 20, 19);\n");
    TfrmMain& w = StartWithLog(kLog);
    const auto before = Table();
    w.OptionsKeepEdits->trigger();
    w.OptionsCheckImport->trigger();
    EXPECT_EQ(Table(), before);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const std::string& report = dialogs.shown[0].text;
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Information);
    EXPECT_NE(report.find("Entry            Insert  Update  Unchanged  Kept  No time tag  Not a number"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("TEMP||ST01.TEMP       0       0          0     1            0             1"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("OTHER (no pair)"), std::string::npos) << report;
    EXPECT_TRUE(w.OptionsImport->isEnabled());
    EXPECT_FALSE(w.OptionsStop->isEnabled());

    // The import that follows does what the check said.
    w.OptionsImportExecute();
    EXPECT_EQ(Table(), before);
    EXPECT_TRUE(AnyLineEndsWith(w.MemoLines(), "Import process completed.."));
}

TEST_F(SafeReimportWindowTest, KeepEditedValuesIsAnOptionThatTheSettingsFileKeeps) {
    source.Execute("INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', 'M', 20, 19);\n");
    TfrmMain& w = StartWithLog(kLog);
    EXPECT_FALSE(w.OptionsKeepEdits->isChecked());
    w.OptionsKeepEdits->trigger();
    EXPECT_TRUE(w.OptionsKeepEdits->isChecked());
    w.OptionsImportExecute();
    EXPECT_EQ(std::stod(*Table()[0][5]), 19.0);
    w.close();
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_TRUE(settings.ReadBool("Application", "KeepEdits", false));
}

TEST_F(SafeReimportWindowTest, ASettingsFileWithoutTheValueLeavesEditsToBeOverwritten) {
    WriteFile(SettingsPath(), "[Application]\nFastImport=1\n");
    source.Execute("INSERT INTO TF_DATA1 VALUES ('ST01', 'TEMP', '2005-06-15 12:30:00.000', 'M', 20, 19);\n");
    TfrmMain& w = StartWithLog(kLog);
    EXPECT_FALSE(w.OptionsKeepEdits->isChecked());
    w.OptionsImportExecute();
    EXPECT_EQ(std::stod(*Table()[0][5]), 21.5);
    w.close();
    EXPECT_EQ(ReadFile(SettingsPath()).find("KeepEdits"), std::string::npos);
}

TEST_F(SafeReimportWindowTest, SaveRejectedLinesWritesTheReportOfEachRunUntilTurnedOff) {
    TfrmMain& w = StartWithLog(kLog);
    const std::string path = dir.File("rejects.csv");
    dialogs.saveAnswers.push_back(path);
    w.OptionsSaveRejects->trigger();
    EXPECT_TRUE(w.OptionsSaveRejects->isChecked());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Save Rejected Lines");
    w.OptionsImportExecute();
    const std::string expected =
        "line,reason,name,text\r\n"
        "2,\"not a number\",\"TEMP\",\"TEMP,06/15/2005,12:40:00,n/a,G\"\r\n"
        "3,\"no pair for that name\",\"OTHER\",\"OTHER,06/15/2005,12:30:00,1,G\"\r\n";
    EXPECT_EQ(ReadFile(path), expected);

    w.OptionsSaveRejects->trigger();  // off again
    EXPECT_FALSE(w.OptionsSaveRejects->isChecked());
    std::remove(path.c_str());
    w.OptionsImportExecute();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(SafeReimportWindowTest, ARejectsFileThatCannotBeCreatedKeepsTheRunFromStarting) {
    TfrmMain& w = StartWithLog(kLog);
    const std::string path = dir.File("no-such-folder/rejects.csv");
    dialogs.saveAnswers.push_back(path);
    w.OptionsSaveRejects->trigger();
    w.OptionsImportExecute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Unable to create the rejects file - " + path +
                                                         ": No such file or directory"}));
    EXPECT_TRUE(Table().empty());
}

}  // namespace
}  // namespace vireo::testing
