#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "status/UserDialogs.h"

namespace vireo::testing {

/// Answers message boxes from a script (Ok, or the button asked for, when the
/// script has run out) and keeps what was shown.
class ScriptedDialogs : public UserDialogs {
public:
    struct Shown {
        MessageKind kind;
        std::string text;
        MessageButtons buttons;
    };

    explicit ScriptedDialogs(std::deque<MessageAnswer> answers = {}) : answers_(std::move(answers)) {}

    MessageAnswer ShowMessage(MessageKind kind, const std::string& text, MessageButtons buttons) override {
        shown.push_back({kind, text, buttons});
        if (!answers_.empty()) {
            MessageAnswer answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        return buttons == MessageButtons::Cancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    }
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const FileDialogRequest&) override { return std::nullopt; }

    std::vector<Shown> shown;

private:
    std::deque<MessageAnswer> answers_;
};

}  // namespace vireo::testing
