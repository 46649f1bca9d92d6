#pragma once

#include <string>
#include <vector>

#include "status/StatusSink.h"

namespace vireo::testing {

/// A status sink that keeps every message for the test to compare.
class StatusRecorder : public StatusSink {
public:
    explicit StatusRecorder(bool details = false) : details_(details) {}
    void AddStatusMessage(const std::string& text) override { messages.push_back(text); }
    bool ShowDetails() const override { return details_; }
    void SetDetails(bool on) { details_ = on; }

    std::vector<std::string> messages;

private:
    bool details_;
};

}  // namespace vireo::testing
