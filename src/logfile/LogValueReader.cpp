#include "logfile/LogValueReader.h"

#include <utility>

#include "logfile/LogNumber.h"
#include "logfile/SensorDiscovery.h"

namespace vireo {
namespace {

ValueState StateOf(bool isNumber, std::string_view valueText) {
    if (isNumber) return ValueState::Number;
    return IsLogNumberOutOfRange(valueText) ? ValueState::OutOfDoubleRange : ValueState::NotANumber;
}

void Take(const LogValueView& view, bool isNumber, LogValue& value) {
    value.name = view.name;
    value.headingName = view.headingName;
    value.dateText = view.dateText;
    value.timeText = view.timeText;
    value.valueText = view.valueText;
    value.stamp = view.stamp;
    value.timeTag = view.timeTag;
    value.timeTagState = view.hasTimeTag ? TimeTagState::Usable : TimeTagState::NoUsableDateTime;
    value.valueState = StateOf(isNumber, view.valueText);
    value.value = isNumber ? view.value : 0.0;
}

}  // namespace

bool LineValueWalk::TakeOneValue(LogValue& value) {
    const bool isNumber = ParseLogRecord(kind_, line_, view_);
    Take(view_, isNumber, value);
    return true;
}

bool LineValueWalk::TakeNextValue(LogValue& value) {
    const bool isNumber = NextLogValue(kind_, line_, cursor_, view_);
    if (!cursor_.started) {
        kind_ = LogLineKind::NotARecord;  // the line is done: further calls take nothing
        return false;
    }
    Take(view_, isNumber, value);
    return true;
}

bool LineValueWalk::NextName(LogValue& value) {
    value = LogValue{};
    if (oneValueLeft_) {
        oneValueLeft_ = false;
        value.name = logfile_detail::OneValueName(kind_, line_);
        return true;
    }
    if (logfile_detail::NextValueName(kind_, line_, cursor_, value.name)) return true;
    kind_ = LogLineKind::NotARecord;  // the line is done: further calls take nothing
    return false;
}

LogValueReader::LogValueReader(std::string path) : LogValueReader(path, IsPrnFile(path)) {}

LogValueReader::LogValueReader(std::string path, bool prnFile, std::size_t bufferSize, std::size_t maxLineText)
    : lines_(std::move(path), bufferSize, maxLineText), prnFile_(prnFile) {}

const std::vector<std::string>* LogValueReader::TakeHeadings(std::string_view line) {
    if (!prnFile_) return nullptr;
    auto names = ParseColumnHeadings(line);
    if (!names) return nullptr;
    headings_ = std::move(*names);
    hasHeadings_ = !headings_.empty();
    return &headings_;
}

bool LogValueReader::Shrank() const {
    const std::uint64_t size = lines_.FileSize();
    return lines_.BytesConsumed() < size && lines_.CurrentFileSize() < size;
}

}  // namespace vireo
