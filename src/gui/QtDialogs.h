#pragma once

#include <QString>

#include "status/UserDialogs.h"

class QWidget;

namespace vireo::gui {

/// The program's message boxes and file dialogs on QMessageBox and QFileDialog,
/// owned by a window (which stays the parent of every box it shows).
class QtUserDialogs : public UserDialogs {
public:
    explicit QtUserDialogs(QWidget* owner) : owner_(owner) {}

    MessageAnswer ShowMessage(MessageKind kind, const std::string& text, MessageButtons buttons) override;
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    /// A modal dialog with the text in a fixed-width font, and OK.
    void ShowReport(const std::string& title, const std::string& text) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                       const std::string& text) override;

private:
    QWidget* owner_;
};

/// A filter of the form "Description|patterns|Description|patterns" (patterns
/// separated by ';') as a Qt name filter list joined by ";;". The patterns go
/// into parentheses after the description, replacing a parenthesised list that
/// the description already ends with:
///   "Log Files (*.log;*.csv)|*.log;*.csv|All Files|*.*"
///     -> "Log Files (*.log *.csv);;All Files (*.*)"
QString QtNameFilters(const std::string& filter);

/// The program's texts (sensor names, messages, station names) are single-byte
/// Windows-1252 like the log files; these convert them to and from Qt strings.
/// Every byte survives the round trip; a character that Windows-1252 cannot
/// hold becomes '?'.
QString FromBytes(const std::string& text);
std::string ToBytes(const QString& text);

/// File names go through the file system's own encoding.
QString FromPath(const std::string& path);
std::string ToPath(const QString& path);

}  // namespace vireo::gui
