// The message list, the status log and the closing of the window.
#include <QAction>
#include <QPlainTextEdit>
#include <filesystem>

#include "gui/GuiTestSupport.h"
#include "scan/Chronos.h"
#include "settings/ProfileFile.h"

namespace vireo::testing {
namespace {

using gui::TfrmMain;

class StatusTest : public GuiTest {
protected:
    StatusTest() {
        SetClockForTesting([] { return StampOf(2005, 6, 15, 12, 30, 0); });
    }
    ~StatusTest() override { SetClockForTesting({}); }
};

TEST_F(StatusTest, MessagesGoOnTopWithTheTimeAndAFullStop) {
    TfrmMain& w = StartWindow(false);
    w.AddStatusMessage("first");
    w.AddStatusMessage("Import process completed.");
    w.AddStatusMessage("");
    EXPECT_EQ(w.MemoLines(),
              (std::vector<std::string>{"06/15/2005 12:30:00    .", "06/15/2005 12:30:00    Import process completed..",
                                        "06/15/2005 12:30:00    first."}));
    EXPECT_EQ(w.Memo->textCursor().position(), 0) << "the caret stands at the newest line";
}

TEST_F(StatusTest, TheListIsTrimmedTo512LinesOnceItHolds640) {
    TfrmMain& w = StartWindow(false);
    for (int i = 1; i <= 640; ++i) w.AddStatusMessage("message " + std::to_string(i));
    EXPECT_EQ(w.MemoLines().size(), 640u);
    w.AddStatusMessage("message 641");
    const std::vector<std::string> lines = w.MemoLines();
    ASSERT_EQ(lines.size(), 512u);
    EXPECT_EQ(lines.front(), "06/15/2005 12:30:00    message 641.");
    EXPECT_EQ(lines.back(), "06/15/2005 12:30:00    message 130.");  // the 511 newest stayed
}

TEST_F(StatusTest, DetailMessagesFollowTheCheckAction) {
    TfrmMain& w = StartWindow(false);
    EXPECT_FALSE(w.ShowDetails());
    w.OptionsShowDetailsExecute();
    EXPECT_TRUE(w.ShowDetails());
    EXPECT_TRUE(w.OptionsShowDetails->isChecked());
    w.OptionsShowDetailsExecute();
    EXPECT_FALSE(w.ShowDetails());
    EXPECT_FALSE(w.OptionsShowDetails->isChecked());
}

TEST_F(StatusTest, TheStatusLogIsSwitchedOnAndOff) {
    TfrmMain& w = StartWindow(false);
    const std::string log = dir.File("status.log");

    dialogs.saveAnswers = {std::nullopt};
    w.OptionsLogMessagesExecute();  // dialog cancelled
    EXPECT_FALSE(w.OptionsLogMessages->isChecked());
    EXPECT_FALSE(w.FStatus.LogToFile());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Log Status Messages");
    EXPECT_EQ(dialogs.requests[0].filter, "Log Files|*.log|All Files|*.*");
    EXPECT_EQ(dialogs.requests[0].defaultExtension, "log");
    EXPECT_EQ(dialogs.requests[0].startFolder, w.HomeDirectory);

    dialogs.saveAnswers = {log};
    w.OptionsLogMessagesExecute();
    EXPECT_TRUE(w.OptionsLogMessages->isChecked());
    w.AddStatusMessage("one");
    w.AddStatusMessage("two");
    EXPECT_EQ(ReadFile(log), "06/15/2005 12:30:00    one.\r\n06/15/2005 12:30:00    two.\r\n");

    w.OptionsLogMessagesExecute();  // off
    EXPECT_FALSE(w.OptionsLogMessages->isChecked());
    w.AddStatusMessage("not logged");
    EXPECT_EQ(ReadFile(log).find("not logged"), std::string::npos);

    // On again with the same file: asked first; No leaves logging off.
    dialogs.saveAnswers = {log, log};
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes};
    w.OptionsLogMessagesExecute();
    EXPECT_FALSE(w.OptionsLogMessages->isChecked());
    EXPECT_FALSE(w.FStatus.LogToFile());
    w.OptionsLogMessagesExecute();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>(2, log + " exists.  Do you wish to overwrite file?")));
    EXPECT_TRUE(w.OptionsLogMessages->isChecked());
    EXPECT_FALSE(std::filesystem::exists(log)) << "deleted, made again by the next message";
    w.AddStatusMessage("three");
    EXPECT_EQ(ReadFile(log), "06/15/2005 12:30:00    three.\r\n");
}

TEST_F(StatusTest, ALogFileThatCannotBeWrittenIsReportedOnceAndSwitchedOff) {
    TfrmMain& w = StartWindow(false);
    const std::string log = dir.File("no-such-folder/status.log");
    dialogs.saveAnswers = {log};
    w.OptionsLogMessagesExecute();
    w.AddStatusMessage("lost");
    const std::vector<std::string> lines = w.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "06/15/2005 12:30:00    ERROR: Unable to write status message to " + log + ".");
    EXPECT_EQ(lines[1], "06/15/2005 12:30:00    lost.");
    EXPECT_FALSE(w.OptionsLogMessages->isChecked());
    EXPECT_FALSE(w.FStatus.LogToFile());
}

TEST_F(StatusTest, ClosingWritesTheSettingsFileEvenWithoutAConnection) {
    WriteFile(SettingsPath(), "; comment\n[Application]\nMaxDBFileSize=0x400000\nOwn=kept\n");
    TfrmMain& w = StartWindow();  // the connection attempt fails
    EXPECT_EQ(w.FConnection.FMaxDBFileSize, 0x400000);
    w.FileExit1->trigger();
    EXPECT_EQ(w.windowTitle().toStdString(), "*** Shutting down ... Please Wait ***");
    EXPECT_FALSE(w.isVisible());
    ProfileFile settings;
    settings.Load(SettingsPath());
    EXPECT_EQ(settings.ReadInteger("Application", "MaxDBFileSize", 0), 2097152);
    EXPECT_EQ(settings.ReadString("Application", "Own", ""), "kept");
    EXPECT_TRUE(settings.ValueExists("DataBase", "DataSource"));
    EXPECT_TRUE(settings.ValueExists("DataBase", "Password"));
    EXPECT_EQ(w.ImportSession, nullptr);
}

TEST_F(StatusTest, UnreadableSettingsAreReportedAndTheWindowStillWorks) {
    std::filesystem::create_directories(SettingsPath());  // a folder where the file should be
    TfrmMain& w = StartWindow();
    EXPECT_TRUE(AnyLineEndsWith(w.MemoLines(), "    Error 1002: Unable to read application settings."));
    EXPECT_EQ(w.FConnection.FMaxDBFileSize, 2097152);
    w.close();
    EXPECT_TRUE(AnyLineEndsWith(w.MemoLines(), "    Error 1003: Unable to save application settings."));
}

}  // namespace
}  // namespace vireo::testing
