#pragma once

#include <string>

namespace vireo {

/// Where every operation reports what it did: the window's message list, the
/// command line's standard output, or a test's recorder. The sink does not
/// filter; callers of detail messages test ShowDetails() first.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void AddStatusMessage(const std::string& text) = 0;
    virtual bool ShowDetails() const = 0;
};

}  // namespace vireo
