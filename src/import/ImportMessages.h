#pragma once

#include <string>

#include "db/DataWriter.h"
#include "scan/Chronos.h"

namespace vireo {

class StatusSink;

/// The time tag as messages show it: the regional short date, a blank and the
/// long time, the time left out at exactly midnight.
std::string TimeTagText(DateTime timeTag);

/// The detail line of a written value: "Inserted timetag data - " or
/// "Updated timetag data - " (or "Kept edited value - " for a row left as it
/// was edited, with the value that was not written), station and sensor as given, the time tag and
/// the value. Empty for a failed write.
std::string WrittenValueText(WriteOutcome outcome, const std::string& station, const std::string& sensor,
                             DateTime timeTag, double value);

/// The line of a value that was not written: the error's text, then station
/// and sensor as given and the time tag.
std::string NotWrittenText(const std::string& error, const std::string& station, const std::string& sensor,
                           DateTime timeTag);

/// Shows one write as soon as it is done: always a line for a value that
/// could not be written, and the detail line of a written value when details
/// are shown.
void ReportWrite(StatusSink& sink, const WriteResult& result, const std::string& station, const std::string& sensor,
                 DateTime timeTag, double value);

}  // namespace vireo
