// The About dialog and its picture, the help window, and the Qt side of the
// dialogs (filters, text conversion).
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <filesystem>

#include "gui/AboutForm.h"
#include "gui/GuiTestSupport.h"
#include "gui/HelpViewer.h"
#include "gui/JpegPicture.h"
#include "gui/QtDialogs.h"
#include "settings/VersionInfo.h"

namespace vireo::testing {
namespace {

using gui::TfmAbout;
using gui::TfrmMain;

class AboutHelpTest : public GuiTest {};

gui::THelpViewer* HelpWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* viewer = qobject_cast<gui::THelpViewer*>(widget)) return viewer;
    }
    return nullptr;
}

TEST_F(AboutHelpTest, AboutShowsNamePartNumberVersionAndPicture) {
    TfrmMain& w = StartWindow(false);
    bool seen = false;
    WhenModalShown([&](QWidget* modal) {
        auto* about = qobject_cast<TfmAbout*>(modal);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->size(), QSize(277, 240));
        EXPECT_EQ(about->AppNameLabel->text().toStdString(), "Vireo-Tarnfold Log Import");
        EXPECT_TRUE(about->AppNameLabel->font().bold());
        EXPECT_EQ(about->AppNameLabel->font().pointSize(), 12);
        EXPECT_EQ(about->PartNumberLabel->text().toStdString(), " XXXX-XXXX");
        const auto* caption = about->findChild<QLabel*>(QStringLiteral("PartLabel"));
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(caption->text().toStdString(), "Quenta Part No: ");
        EXPECT_EQ(about->lblVersion->text().toStdString(), ThisVersionLine());
        EXPECT_EQ(about->Image1->size(), QSize(135, 99));
        EXPECT_TRUE(about->Image1->hasScaledContents());
        EXPECT_FALSE(about->Image1->pixmap().isNull());
        seen = true;
        about->btnOK->click();
    });
    w.HelpAbout1Execute();
    EXPECT_TRUE(seen);
    EXPECT_EQ(ThisVersionLine().rfind("Version ", 0), 0u);
}

TEST(JpegPicture, TheAboutPictureIsDecodedByLibjpeg) {
    const QImage picture = gui::AboutPicture();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(270, 198));
    EXPECT_EQ(picture.format(), QImage::Format_RGB888);
}

TEST(JpegPicture, BytesThatAreNoJpegGiveANullImageAndLibjpegsReason) {
    const struct {
        const char* name;
        QByteArray bytes;
    } rows[] = {
        {"empty", QByteArray()},
        {"text", QByteArray("this is no picture at all")},
        {"header only", QByteArray::fromHex("ffd8ffe000104a46494600")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QString error;
        EXPECT_TRUE(gui::DecodeJpeg(row.bytes, &error).isNull());
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST_F(AboutHelpTest, HelpContentsShowsOurHelpOrSaysItIsMissing) {
    TfrmMain& w = StartWindow(false);
    EXPECT_EQ(w.FHelpFile, ExecutablePath() + ".html");
    w.HelpContents1Execute();
    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::string>{"The help file " + ExecutablePath() + ".html could not be found."});
    EXPECT_EQ(HelpWindow() == nullptr || !HelpWindow()->isVisible(), true);

    std::filesystem::copy_file(std::string(VIREO_SOURCE_DIR) + "/docs/help/VireoImport.html", w.FHelpFile);
    w.HelpContents1Execute();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    gui::THelpViewer* viewer = HelpWindow();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->parentWidget(), nullptr) << "the help stands on the desktop";
    const std::string text = viewer->Browser()->toPlainText().toStdString();
    EXPECT_NE(text.find("vireo-import"), std::string::npos);
    EXPECT_NE(text.find("Start Importing"), std::string::npos);

    w.close();  // closes the help with the program
    EXPECT_EQ(HelpWindow(), nullptr);
}

TEST(QtDialogs, FiltersBecomeQtNameFilters) {
    const struct {
        const char* filter;
        const char* qt;
    } rows[] = {
        {"Log Files (*.log;*.csv;*.prn)|*.log;*.csv;*.prn|All Files|*.*",
         "Log Files (*.log *.csv *.prn);;All Files (*.*)"},
        {"Sensor Import Files(*.sfg)|*.sfg|All Files|*.*", "Sensor Import Files (*.sfg);;All Files (*.*)"},
        {"Log Files|*.log|All Files|*.*", "Log Files (*.log);;All Files (*.*)"},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.filter);
        EXPECT_EQ(gui::QtNameFilters(row.filter).toStdString(), row.qt);
    }
}

TEST(QtDialogs, EveryByteSurvivesTheTextConversion) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(gui::ToBytes(gui::FromBytes(all)), all);
    EXPECT_EQ(gui::FromBytes("\x80"), QString(QChar(0x20AC)));  // the euro sign of Windows-1252
    EXPECT_EQ(gui::FromBytes("\xe9t\xe9"), QStringLiteral("été"));
    EXPECT_EQ(gui::ToBytes(QStringLiteral("\u4e2d")), "?");
}

TEST(QtDialogs, MessageBoxesAnswerWithTheButtonPressed) {
    const struct {
        MessageKind kind;
        MessageButtons buttons;
        QMessageBox::StandardButton press;  // NoButton: closed with Escape
        MessageAnswer answer;
        const char* caption;
        QMessageBox::Icon icon;
    } rows[] = {
        {MessageKind::Confirmation, MessageButtons::YesNo, QMessageBox::Yes, MessageAnswer::Yes, "Confirm",
         QMessageBox::Question},
        {MessageKind::Warning, MessageButtons::YesNo, QMessageBox::NoButton, MessageAnswer::No, "Warning",
         QMessageBox::Warning},
        {MessageKind::Error, MessageButtons::Cancel, QMessageBox::Cancel, MessageAnswer::Cancel, "Error",
         QMessageBox::Critical},
        {MessageKind::Information, MessageButtons::Ok, QMessageBox::Ok, MessageAnswer::Ok, "Information",
         QMessageBox::Information},
    };
    QWidget owner;
    gui::QtUserDialogs dialogs(&owner);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        WhenModalShown([&row](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle().toStdString(), row.caption);
            EXPECT_EQ(box->icon(), row.icon);
            EXPECT_EQ(gui::ToBytes(box->text()), "Text \xe9t\xe9");
            if (row.press == QMessageBox::NoButton) {
                box->reject();
            } else {
                box->button(row.press)->click();
            }
        });
        EXPECT_EQ(dialogs.ShowMessage(row.kind, "Text \xe9t\xe9", row.buttons), row.answer);
    }
}

TEST(QtDialogs, FileDialogsAreSetUpFromTheRequest) {
    TempDir folder("vireo-gui-files");
    QWidget owner;
    gui::QtUserDialogs dialogs(&owner);
    const FileDialogRequest request{"Save Sensor selections", "Sensor Import Files (*.sfg)|*.sfg|All Files|*.*", "sfg",
                                    folder.path().string()};
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "save" : "open");
        bool seen = false;
        WhenModalShown([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle().toStdString(), "Save Sensor selections");
            EXPECT_EQ(dialog->nameFilters(), (QStringList{"Sensor Import Files (*.sfg)", "All Files (*.*)"}));
            EXPECT_EQ(dialog->defaultSuffix().toStdString(), "sfg");
            EXPECT_EQ(dialog->directory().absolutePath().toStdString(), folder.path().string());
            EXPECT_EQ(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            // Overwriting is asked by the program itself, with its own question.
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
            seen = true;
            dialog->reject();
        });
        EXPECT_EQ(save ? dialogs.SaveFile(request) : dialogs.OpenFile(request), std::nullopt) << "cancelled";
        EXPECT_TRUE(seen);
    }
}

TEST(QtDialogs, AFileDialogWithoutAStartFolderOpensInTheCurrentFolder) {
    TempDir visited("vireo-gui-visited");
    QWidget owner;
    gui::QtUserDialogs dialogs(&owner);
    std::vector<std::string> shown;
    const auto record = [&shown] {
        WhenModalShown([&shown](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            // The platform's own dialog would read the listed files to tell their types.
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
            shown.push_back(dialog->directory().absolutePath().toStdString());
            dialog->reject();
        });
    };
    record();
    dialogs.OpenFile({"Open Log File", "All Files|*.*", "log", visited.path().string()});
    record();
    dialogs.OpenFile({"Open Log File", "All Files|*.*", "log", {}});
    EXPECT_EQ(shown, (std::vector<std::string>{visited.path().string(), QDir::currentPath().toStdString()}));
}

}  // namespace
}  // namespace vireo::testing
