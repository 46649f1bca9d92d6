// "Read File for Sensors": the one discovery of the command line, read on a
// worker thread while the window answers, and Cancel.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <sstream>

#include "gui/GuiTestSupport.h"
#include "support/ChildProgram.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

class ReadFileTest : public GuiTest {
protected:
    void Read(TfrmMain& w, const std::string& path) {
        w.edtLogfile->setText(QString::fromStdString(path));
        w.btnReadFileClick();
    }

    /// The names `vireo-import sensors` prints for `path`.
    std::vector<std::string> CommandLineNames(const std::string& path) const {
        const std::string output = dir.File("sensors.out");
        std::filesystem::remove(output);
        EXPECT_EQ(WaitFor(StartProgram(VireoImportProgram(), {"sensors", path}, output)), 0);
        std::vector<std::string> names;
        std::istringstream lines(ReadFile(output));
        for (std::string line; std::getline(lines, line);) names.push_back(line);
        return names;
    }
};

TEST_F(ReadFileTest, TheWindowListsTheNamesTheCommandLineFinds) {
    TfrmMain& w = StartWindow();
    dialogs.shown.clear();  // the connection attempt at start, where there is no data source
    for (const char* sample : {"mixed.log", "sensors.csv", "station.prn"}) {
        SCOPED_TRACE(sample);
        const std::string path = dir.File(sample);
        std::filesystem::copy_file(std::string(VIREO_SOURCE_DIR) + "/samples/" + sample, path);
        Read(w, path);
        const std::vector<std::string> expected = CommandLineNames(path);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(Items(w.lbxLogSensors), expected);
        EXPECT_EQ(w.FLastLogFile, path);
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ReadFileTest, CancelLeavesTheListsAsTheyWereAndTheWindowAnswersMeanwhile) {
    TfrmMain& w = StartWindow();
    dialogs.shown.clear();
    const std::string first = dir.File("first.log");
    WriteFile(first, "TEMP,06/15/2005,12:30:00,21.5,G\r\n");
    Read(w, first);
    w.lbxImport->addItem(QStringLiteral("TEMP||ST01.TEMP"));

    std::string big;
    for (int i = 0; i < 20000; ++i) big += "BATT,06/15/2005,12:30:00,13.5,G\r\nSTAGE,06/15/2005,12:30:00,1.5,G\r\n";
    const std::string second = dir.File("second.log");
    WriteFile(second, big);
    bool during = false;
    QTimer::singleShot(0, &w, [&] {
        // The window handles events while the worker reads.
        ASSERT_TRUE(w.ReadingSensors());
        ASSERT_NE(w.dlgReadFile, nullptr);
        EXPECT_FALSE(w.btnReadFile->isEnabled());
        EXPECT_FALSE(w.OptionsImport->isEnabled());
        EXPECT_FALSE(w.LogPreview1->isEnabled());
        w.OptionsCheckImportExecute();
        EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Please wait until the log file has been read."});
        auto* cancel = w.dlgReadFile->findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text().toStdString(), "Cancel");
        cancel->click();
        during = true;
    });
    Read(w, second);
    ASSERT_TRUE(during);
    EXPECT_FALSE(w.ReadingSensors());
    EXPECT_EQ(w.dlgReadFile, nullptr);
    EXPECT_EQ(Items(w.lbxLogSensors), std::vector<std::string>{"TEMP"});
    EXPECT_EQ(w.ImportEntries(), std::vector<std::string>{"TEMP||ST01.TEMP"});
    EXPECT_EQ(w.FLastLogFile, first);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(w.btnReadFile->isEnabled());
    EXPECT_TRUE(w.OptionsImport->isEnabled());

    // Not taken for read: the next click reads it.
    Read(w, second);
    EXPECT_EQ(Items(w.lbxLogSensors), (std::vector<std::string>{"BATT", "STAGE"}));
    EXPECT_EQ(w.lbxImport->count(), 0);
    EXPECT_EQ(w.FLastLogFile, second);
}

}  // namespace
}  // namespace vireo::testing
