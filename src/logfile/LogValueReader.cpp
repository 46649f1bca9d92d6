#include "logfile/LogValueReader.h"

#include <utility>

#include "logfile/SensorDiscovery.h"

namespace vireo {
LogValueReader::LogValueReader(std::string path) : LogValueReader(path, IsPrnFile(path)) {}

LogValueReader::LogValueReader(std::string path, bool prnFile, std::size_t bufferSize, std::size_t maxLineText)
    : lines_(std::move(path), bufferSize, maxLineText), prnFile_(prnFile) {}

void LogValueReader::StartAt(const LogReadStart& start) {
    lines_.StartAt(start.offset, start.linesBefore);
    headings_ = start.headings;
    hasHeadings_ = !headings_.empty();
    resume_ = start.clock;
    if (conversion_) conversion_->Resume(resume_);
}

const std::vector<std::string>* LogValueReader::TakeHeadings(std::string_view line) {
    if (!prnFile_) return nullptr;
    auto names = ParseColumnHeadings(line);
    if (!names) return nullptr;
    headings_ = std::move(*names);
    hasHeadings_ = !headings_.empty();
    return &headings_;
}

void LogValueReader::SetTimeZones(const TimeZones& zones) {
    conversion_.reset();
    if (!zones.Converts()) return;
    conversion_.emplace(zones);
    conversion_->Resume(resume_);
    doesNotExist_ = "time that does not exist in " + zones.log.name;
}

void LogValueReader::ConvertTimeTag(LogRecord& value) {
    value.repeatedHour = false;
    value.timeTagRefusal = {};
    if (!value.HasTimeTag()) return;
    const TimeTagConversion::Result converted = conversion_->Convert(value.stamp);
    value.repeatedHour = converted.repeated;
    switch (converted.state) {
        case TimeTagConversion::Result::State::Stored:
            value.stamp = converted.stamp;
            value.timeTag = SecondsToDateTime(converted.stamp);
            break;
        case TimeTagConversion::Result::State::DoesNotExist:
            value.timeTagState = TimeTagState::DoesNotExist;
            value.timeTagRefusal = doesNotExist_;
            break;
        case TimeTagConversion::Result::State::OutsideTimeBase:
            value.timeTagState = TimeTagState::NoUsableDateTime;
            break;
    }
}

bool LogValueReader::Shrank() const {
    const std::uint64_t size = lines_.FileSize();
    return lines_.BytesConsumed() < size && lines_.CurrentFileSize() < size;
}

}  // namespace vireo
