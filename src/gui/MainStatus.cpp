// The message list and the status log, the detail messages switch, and the
// Help menu.
#include <QAction>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdio>

#include "gui/AboutForm.h"
#include "gui/HelpViewer.h"
#include "gui/Main.h"
#include "gui/QtDialogs.h"

namespace vireo::gui {

void TfrmMain::AddStatusMessage(const std::string& text) { FStatus.AddStatusMessage(text); }

void TfrmMain::InsertMemoLine(const std::string& line) {
    QTextDocument* document = Memo->document();
    const auto count = static_cast<std::size_t>(document->isEmpty() ? 0 : document->blockCount());
    const std::size_t keep = LinesAfterTrim(count);
    if (keep == 0) {
        Memo->clear();
    } else if (keep < count) {
        const QTextBlock last = document->findBlockByNumber(static_cast<int>(keep) - 1);
        QTextCursor cut(document);
        cut.setPosition(last.position() + last.length() - 1);
        cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
    }
    // The newest line goes on top.
    if (document->isEmpty()) {
        Memo->setPlainText(FromBytes(line));
    } else {
        QTextCursor top(document);
        top.movePosition(QTextCursor::Start);
        top.insertText(FromBytes(line) + u'\n');
    }
    Memo->moveCursor(QTextCursor::Start);
    Memo->ensureCursorVisible();
}

std::vector<std::string> TfrmMain::MemoLines() const {
    std::vector<std::string> lines;
    const QTextDocument* document = Memo->document();
    if (document->isEmpty()) return lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        lines.push_back(ToBytes(block.text()));
    }
    return lines;
}

void TfrmMain::OptionsFastImportExecute() {
    OptionsFastImport->setChecked(!OptionsFastImport->isChecked());
    FConnection.FFastImport = OptionsFastImport->isChecked();
}

void TfrmMain::OptionsKeepEditsExecute() {
    OptionsKeepEdits->setChecked(!OptionsKeepEdits->isChecked());
    FConnection.FKeepEdits = OptionsKeepEdits->isChecked();
}

void TfrmMain::OptionsShowDetailsExecute() {
    OptionsShowDetails->setChecked(!OptionsShowDetails->isChecked());
    FStatus.SetShowDetails(OptionsShowDetails->isChecked());
}

void TfrmMain::OptionsLogMessagesExecute() {
    OptionsLogMessages->setChecked(!OptionsLogMessages->isChecked());
    if (!OptionsLogMessages->isChecked()) {
        FStatus.SetLogToFile(false);
        return;
    }
    const auto logOff = [this] {
        OptionsLogMessages->setChecked(false);
        FStatus.SetLogToFile(false);
    };
    const std::optional<std::string> path =
        FDialogs->SaveFile({"Log Status Messages", "Log Files|*.log|All Files|*.*", "log", HomeDirectory});
    if (!path || RefuseDatabaseFile(*path)) {
        logOff();
        return;
    }
    if (QFileInfo::exists(FromPath(*path))) {
        if (FDialogs->ShowMessage(MessageKind::Confirmation, *path + " exists.  Do you wish to overwrite file?",
                                  MessageButtons::YesNo) != MessageAnswer::Yes ||
            std::remove(path->c_str()) != 0) {
            logOff();
            return;
        }
    }
    // The file is created again by the next message.
    FStatus.SetLogFileName(*path);
    FStatus.SetLogToFile(true);
}

void TfrmMain::HelpAbout1Execute() {
    TfmAbout about(this);  // always a fresh one
    about.exec();
}

void TfrmMain::HelpContents1Execute() {
    if (!FHelpViewer) FHelpViewer = std::make_unique<THelpViewer>();
    if (!FHelpViewer->ShowContents(FromPath(FHelpFile))) {
        FDialogs->ShowMessage(MessageKind::Information, "The help file " + FHelpFile + " could not be found.",
                              MessageButtons::Ok);
    }
}

}  // namespace vireo::gui
