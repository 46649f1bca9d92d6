#include "import/ImportMessages.h"

#include "scan/Regional.h"
#include "status/StatusSink.h"

namespace vireo {

std::string TimeTagText(DateTime timeTag) {
    const CalendarStamp s = SplitDateTime(timeTag);
    return DateTimeText(s.year, s.month, s.day, s.hours, s.minutes, s.seconds);
}

std::string WrittenValueText(WriteOutcome outcome, const std::string& station, const std::string& sensor,
                             DateTime timeTag, double value) {
    const char* verb = nullptr;
    switch (outcome) {
        case WriteOutcome::Inserted:
            verb = "Inserted timetag data - ";
            break;
        case WriteOutcome::Updated:
            verb = "Updated timetag data - ";
            break;
        case WriteOutcome::Kept:
            verb = "Kept edited value - ";
            break;
        case WriteOutcome::Failed:
            return {};
    }
    return verb + station + "." + sensor + " @ " + TimeTagText(timeTag) + " - " + NumberText(value);
}

std::string NotWrittenText(const std::string& error, const std::string& station, const std::string& sensor,
                           DateTime timeTag) {
    return error + " - " + station + "." + sensor + " @ " + TimeTagText(timeTag);
}

void ReportWrite(StatusSink& sink, const WriteResult& result, const std::string& station, const std::string& sensor,
                 DateTime timeTag, double value) {
    if (!result.Written()) {
        sink.AddStatusMessage(NotWrittenText(result.error ? result.error->what() : "", station, sensor, timeTag));
    } else if (sink.ShowDetails()) {
        sink.AddStatusMessage(WrittenValueText(result.outcome, station, sensor, timeTag, value));
    }
}

}  // namespace vireo
