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
}

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
