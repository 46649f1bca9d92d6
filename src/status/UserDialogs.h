#pragma once

#include <optional>
#include <string>

namespace vireo {

enum class MessageKind { Error, Warning, Information, Confirmation };
enum class MessageButtons { Ok, YesNo, Cancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };

struct FileDialogRequest {
    std::string title;
    std::string filter;  // "Log Files (*.log;*.csv;*.prn)|*.log;*.csv;*.prn|All Files|*.*"
    std::string defaultExtension;
    std::string startFolder;
};

/// Every message box and file dialog the program shows goes through this, so
/// tests and the command line can answer them.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    virtual MessageAnswer ShowMessage(MessageKind kind, const std::string& text, MessageButtons buttons) = 0;
    /// The chosen path, or nothing when cancelled.
    virtual std::optional<std::string> OpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFile(const FileDialogRequest& request) = 0;
    /// A line of text asked for under `label`, starting from `text`; nothing
    /// when cancelled (and where the front end cannot ask).
    virtual std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                               const std::string& text) {
        (void)title, (void)label, (void)text;
        return std::nullopt;
    }
    /// A text laid out in columns (a report), shown whole with its title;
    /// a plain information box unless the front end has a better way.
    virtual void ShowReport(const std::string& title, const std::string& text) {
        (void)title;
        ShowMessage(MessageKind::Information, text, MessageButtons::Ok);
    }
};

}  // namespace vireo
