#pragma once

#include <string_view>

#include "import/ImportRun.h"
#include "logfile/LogRecord.h"

namespace vireo {

/// What an import does with one value read from a log line.
enum class ValueFate {
    Write,       ///< paired, with a time tag and a number: goes to the data writer
    NoPair,      ///< no pair for its name (nor for its column heading)
    NotANumber,  ///< paired, but its text is no number
    NoTimeTag,   ///< paired, but its line has no usable date and time
    OutOfRange,  ///< paired, but written as a number too large for a double
    /// paired, but its time tag is a time the log's zone does not have (the
    /// hour skipped when daylight saving time begins)
    TimeDoesNotExist,
};

/// A value with its pair (null for NoPair) and its fate.
struct PairedValue {
    const TDBSensor* pair = nullptr;
    ValueFate fate = ValueFate::NoPair;
};

/// The pair of a value (the column heading's pair first, then the name's) and
/// what becomes of it. A paired value that is no number is that before it is
/// one without a time tag.
PairedValue FateOfValue(const LogRecord& value, const SensorPairs& pairs);

/// The name under which a value is paired and shown: its column heading when
/// it has one, else its log sensor name.
inline std::string_view ShownName(const LogRecord& value) {
    return value.headingName.empty() ? value.name : value.headingName;
}

}  // namespace vireo
