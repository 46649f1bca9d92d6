#pragma once

#include "scan/Chronos.h"
#include "scan/Regional.h"

namespace vireo::testing {

/// Puts regional settings in force for one test and restores the earlier ones
/// when it goes, also when the test fails.
class RegionalScope {
public:
    explicit RegionalScope(const RegionalSettings& settings) { SetRegional(settings); }
    /// The settings in force, with these date and time separators.
    RegionalScope(char dateSeparator, char timeSeparator) {
        RegionalSettings settings = saved_;
        settings.dateSeparator = dateSeparator;
        settings.timeSeparator = timeSeparator;
        SetRegional(settings);
    }
    ~RegionalScope() { SetRegional(saved_); }
    RegionalScope(const RegionalScope&) = delete;
    RegionalScope& operator=(const RegionalScope&) = delete;

private:
    RegionalSettings saved_ = Regional();
};

/// Makes the clock read `now` for one test; the real clock is back when it goes.
class ClockScope {
public:
    explicit ClockScope(SecondStamp now) {
        SetClockForTesting([now] { return now; });
    }
    ~ClockScope() { SetClockForTesting({}); }
    ClockScope(const ClockScope&) = delete;
    ClockScope& operator=(const ClockScope&) = delete;
};

}  // namespace vireo::testing
