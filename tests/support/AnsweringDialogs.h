#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "status/UserDialogs.h"

namespace vireo::testing {

/// Answers the program's message boxes and file dialogs from a script and
/// keeps what was shown. A box without a scripted answer gets the answer of its
/// escape button (OK, No or Cancel); a file dialog without one is cancelled.
class AnsweringDialogs : public UserDialogs {
public:
    struct Shown {
        MessageKind kind;
        std::string text;
        MessageButtons buttons;
    };

    AnsweringDialogs() = default;
    /// The answers of the first boxes, in order.
    explicit AnsweringDialogs(std::deque<MessageAnswer> scripted) : answers(std::move(scripted)) {}

    MessageAnswer ShowMessage(MessageKind kind, const std::string& text, MessageButtons buttons) override {
        shown.push_back({kind, text, buttons});
        if (onMessage) onMessage(text);
        if (!answers.empty()) {
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == MessageButtons::YesNo    ? MessageAnswer::No
               : buttons == MessageButtons::Cancel ? MessageAnswer::Cancel
                                                   : MessageAnswer::Ok;
    }
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override {
        requests.push_back(request);
        return Next(openAnswers);
    }
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override {
        requests.push_back(request);
        return Next(saveAnswers);
    }

    /// The texts of the boxes shown, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Shown& s : shown) texts.push_back(s.text);
        return texts;
    }

    std::deque<MessageAnswer> answers;
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::vector<Shown> shown;
    std::vector<FileDialogRequest> requests;
    /// Runs while a box is "open" (after it was recorded, before it is answered).
    std::function<void(const std::string&)> onMessage;

private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& queue) {
        if (queue.empty()) return std::nullopt;
        std::optional<std::string> next = queue.front();
        queue.pop_front();
        return next;
    }
};

}  // namespace vireo::testing
