#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "logfile/LogValueReader.h"
#include "scan/AsciiCase.h"

namespace vireo {

/// True when the file's extension, in upper case, is exactly ".PRN": such a file
/// may carry a column heading line.
bool IsPrnFile(std::string_view path);

/// A column heading line of a .PRN file: a comment line holding "DATE" and
/// "TIME" (each in double quotes, any case). Gives the names that follow the
/// closing quote of the TIME heading, as blank-separated words, after every
/// double quote has been removed and blanks and control characters have been cut
/// off both ends (so a name never holds a blank). Nullopt for any other line; an
/// empty list for a heading line with nothing after TIME.
std::optional<std::vector<std::string>> ParseColumnHeadings(std::string_view line);

/// Takes the sensor names of a log file's lines, one line at a time, in file
/// order. Names equal without regard to case are kept once, in the spelling met
/// first.
class LogSensorCollector {
public:
    explicit LogSensorCollector(bool prnFile) : prnFile_(prnFile) {}

    /// Takes the names of one line (without its line end). False when discovery
    /// ends with this line: after a .PRN column heading line or the first
    /// blank-separated line.
    bool TakeLine(std::string_view line);

    /// The names found, in the order of the log sensor list (NameLess).
    std::vector<std::string> SortedNames() const;

    /// Takes one name (kept once, in the spelling met first).
    void Add(std::string_view name);

private:
    bool prnFile_;
    std::unordered_set<std::string, NameHash, NameEqual> names_;
    LineValueWalk walk_;
    LogRecord value_;
};

/// How a discovery reports and is stopped. Both may be left empty.
struct DiscoveryControl {
    /// Called from the reading thread every kDiscoveryProgressStep bytes and at
    /// the end: bytes read so far, size of the file.
    std::function<void(std::uint64_t, std::uint64_t)> progress;
    /// Tested before each line: true stops the reading.
    const std::atomic<bool>* cancel = nullptr;
};

inline constexpr std::uint64_t kDiscoveryProgressStep = 1u << 20;

/// Discovery into `collector`, which keeps the names found before a failure or
/// a stop. False when `control` stopped the reading before the file's end.
/// Throws LogFileError when the file cannot be opened or read.
bool CollectSensorNames(const std::string& path, bool prnFile, LogSensorCollector& collector,
                        const DiscoveryControl& control);

/// Discovery: reads the log file from top to bottom and gives every distinct
/// sensor name in the order of the log sensor list. Comment lines are skipped,
/// except that in a .PRN file (`prnFile`) a column heading line gives its names and
/// ends the reading. Throws LogFileError when the file cannot be opened or read.
std::vector<std::string> ReadSensorNames(const std::string& path, bool prnFile);

}  // namespace vireo
