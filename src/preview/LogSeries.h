#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scan/Chronos.h"
#include "scan/TimeZone.h"

namespace vireo {

/// One value of a log sensor that has a time tag and a number, with the
/// number of the log line it stands on (0 for a value that comes from no log
/// line, such as a row of TF_DATA1; a line past 4,294,967,295 is kept as that).
/// Two points are equal when their time tag and value are: the line says where
/// a value came from, not what it is.
struct SeriesPoint {
    SeriesPoint() = default;
    SeriesPoint(SecondStamp at, double number, std::uint32_t lineNumber = 0)
        : stamp(at), line(lineNumber), value(number) {}
    SecondStamp stamp = 0;
    std::uint32_t line = 0;  // beside the 32-bit time tag: a point stays 16 bytes
    double value = 0;
    bool operator==(const SeriesPoint& other) const { return stamp == other.stamp && value == other.value; }
};

/// A log line number as a point keeps it.
inline std::uint32_t PointLine(std::uint64_t line) {
    return line > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(line);
}

/// Why a value of a log sensor cannot be imported.
enum class RefusalReason : unsigned char {
    NoUsableTimeTag,   ///< the line holds no real date and time
    NotANumber,        ///< the value text is not written as a number
    NumberOutOfRange,  ///< written as a number too large for a double
    TimeDoesNotExist,  ///< a time the log's time zone does not have (the hour skipped in spring)
};

/// A value that cannot be imported, where it stands in the file and why.
struct RefusedValue {
    std::uint64_t line = 0;  ///< 1 for the file's first line
    RefusalReason reason = RefusalReason::NotANumber;
    std::string valueText;  ///< the value field, cut to kRefusedTextLength characters
    /// The value's own time tag when it has one (hasTimeTag): there it can be
    /// marked on a time axis.
    bool hasTimeTag = false;
    SecondStamp stamp = 0;
    bool operator==(const RefusedValue&) const = default;
};

/// A stretch of time without values, longer than three times the median interval.
struct SeriesGap {
    SecondStamp from = 0;  ///< time tag of the last value before it
    SecondStamp to = 0;    ///< time tag of the first value after it
    bool operator==(const SeriesGap&) const = default;
};

/// The numbers of one series. Times are in time order: a file whose clock
/// stepped back is sorted first (see stepsBack).
struct SeriesStats {
    std::size_t count = 0;  ///< values with a time tag and a number
    SecondStamp first = 0;  ///< earliest time tag (0 when count is 0)
    SecondStamp last = 0;   ///< latest time tag
    double minimum = 0;
    double maximum = 0;
    /// Median of the intervals between successive distinct time tags, in
    /// seconds (the lower of the two middle ones); 0 with fewer than two
    /// distinct time tags.
    std::int64_t medianInterval = 0;
    /// Values whose time tag is earlier than that of the value before them in the file.
    std::size_t stepsBack = 0;
    std::vector<SeriesGap> gaps;
    std::size_t refusedCount = 0;  ///< every refused value, also those beyond the kept list
    /// Earliest and latest time tag of the refused values that have one (all
    /// of them, also those beyond the kept list); refusedTimed is false when
    /// none has. Left as they are by FinishSeries.
    bool refusedTimed = false;
    SecondStamp refusedFirst = 0;
    SecondStamp refusedLast = 0;
    /// The log's own time tags of the first and last value, when the reading
    /// converts them (SeriesReadControl::zones): what the log wrote for them.
    SecondStamp firstWritten = 0;
    SecondStamp lastWritten = 0;
};

/// The values of one log sensor name, in time order.
struct NameSeries {
    std::string name;                   ///< as asked for, or as met first in the file
    std::vector<SeriesPoint> points;    ///< sorted by time tag (stable: file order within one time tag)
    std::vector<RefusedValue> refused;  ///< the first kMaxRefusedKept refused values, in file order
    SeriesStats stats;
};

/// How many refused values of one name are kept with their line numbers.
inline constexpr std::size_t kMaxRefusedKept = 1000;
/// How many characters of a refused value's text are kept.
inline constexpr std::size_t kRefusedTextLength = 40;

/// What a reading of a log file for its series gave.
struct LogSeriesReading {
    std::vector<NameSeries> series;  ///< in the order asked for, or of the log sensor list
    std::uint64_t fileSize = 0;
    std::uint64_t bytesRead = 0;
    bool cancelled = false;  ///< the reading was stopped: the series hold what was read until then
};

/// How a reading reports and is stopped. Both may be left empty.
struct SeriesReadControl {
    /// Called from the reading thread every kProgressStep bytes and at the end:
    /// bytes read so far, size of the file.
    std::function<void(std::uint64_t, std::uint64_t)> progress;
    /// Tested before each line: true stops the reading.
    const std::atomic<bool>* cancel = nullptr;
    /// The log's time zone and the database's time base: the series are in
    /// the database's base, as an import would store them.
    TimeZones zones;
};

inline constexpr std::uint64_t kProgressStep = 1u << 20;

/// Reads the log file through the one log-value reader and gives the series
/// of the sensor names in `names` (matched without regard to case, against
/// the value's heading name in a .PRN file and its own name, as the import
/// matches a pair), in that order; every name gets a series, also one without
/// values, and a name given twice (in any case) one only. With `names` empty, every name of the file gets one, in the
/// order of the log sensor list, named by its heading name when it has one. Comment lines are skipped, as the import
/// skips them. Throws LogFileError when the file cannot be opened or read.
LogSeriesReading ReadLogSeries(const std::string& path, const std::vector<std::string>& names,
                               const SeriesReadControl& control = {});

/// Sorts the points into time order and works out their numbers (count,
/// first and last time tag, minimum, maximum, median interval, steps back,
/// gaps). `refusedCount` is left as it is.
void FinishSeries(NameSeries& series);

/// The median interval of points in time order (see SeriesStats).
std::int64_t MedianInterval(const std::vector<SeriesPoint>& sortedPoints);

/// The gaps of points in time order: successive time tags further apart than
/// three times `medianInterval` (none when it is 0).
std::vector<SeriesGap> FindGaps(const std::vector<SeriesPoint>& sortedPoints, std::int64_t medianInterval);

/// "no usable time tag", "not a number", "number out of range", "time that
/// does not exist in the log's time zone".
const char* RefusalText(RefusalReason reason);

}  // namespace vireo
