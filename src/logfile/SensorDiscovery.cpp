#include "logfile/SensorDiscovery.h"

#include <algorithm>

#include "logfile/FieldWalk.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogValueReader.h"

namespace vireo {
namespace {

/// Position of `word` (upper case) in `text` compared without regard to case.
std::size_t FindUpper(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < word.size() && UpperAscii(text[i + k]) == word[k]) ++k;
        if (k == word.size()) return i;
    }
    return std::string_view::npos;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

bool IsPrnFile(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return false;
    return SameName(path.substr(dot), ".PRN");
}

std::optional<std::vector<std::string>> ParseColumnHeadings(std::string_view line) {
    if (!IsCommentLine(line)) return std::nullopt;
    constexpr std::string_view kDate = "\"DATE\"";
    constexpr std::string_view kTime = "\"TIME\"";
    const std::size_t time = FindUpper(line, kTime);
    if (time == std::string_view::npos || FindUpper(line, kDate) == std::string_view::npos) return std::nullopt;

    std::string rest;
    for (char c : line.substr(time + kTime.size())) {
        if (c != '"') rest.push_back(c);
    }
    const auto first = std::find_if_not(rest.begin(), rest.end(), IsBlankOrControl);
    const auto last = std::find_if_not(rest.rbegin(), rest.rend(), IsBlankOrControl).base();
    rest = first < last ? std::string(first, last) : std::string();

    std::vector<std::string> names;
    std::string name;
    for (std::size_t position = 1; position <= rest.size();) {
        logfile_detail::WalkStep(rest, position, "%s %_", name);
        names.push_back(name);
    }
    return names;
}

void LogSensorCollector::Add(std::string_view name) {
    if (names_.find(name) == names_.end()) names_.emplace(name);
}

bool LogSensorCollector::TakeLine(std::string_view line) {
    if (line.empty()) return true;
    if (IsCommentLine(line)) {
        if (!prnFile_) return true;
        if (auto headings = ParseColumnHeadings(line)) {
            for (const std::string& name : *headings) Add(name);
            return false;
        }
        // A quoted line of a .PRN file that is no heading line is read as a record.
    }
    const LogLineKind kind = ClassifyLogLine(line);
    walk_.Start(kind, line, nullptr, LineValueWalk::Reads::NamesOnly);
    while (walk_.Next(value_)) Add(value_.name);
    return kind != LogLineKind::BlankSeparatedValues;  // only the first line of this kind is read
}

std::vector<std::string> LogSensorCollector::SortedNames() const {
    std::vector<std::string> sorted(names_.begin(), names_.end());
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) { return NameLess(a, b); });
    return sorted;
}

namespace {

/// Discovery's view of a reading: the names of every value, until a .PRN
/// column heading line or the first blank-separated line.
class DiscoveryVisitor : public LogValueVisitor {
public:
    static constexpr bool kNamesOnly = true;

    DiscoveryVisitor(LogSensorCollector& collector, bool prnFile, const DiscoveryControl& control,
                     const LogValueReader& reader)
        : collector_(collector), prnFile_(prnFile), control_(control), reader_(reader) {}

    bool GoOn() {
        if (control_.progress && reader_.BytesConsumed() - reported_ >= kDiscoveryProgressStep) {
            reported_ = reader_.BytesConsumed();
            control_.progress(reported_, reader_.FileSize());
        }
        stopped_ = control_.cancel != nullptr && control_.cancel->load(std::memory_order_relaxed);
        return !stopped_;
    }
    bool Stopped() const noexcept { return stopped_; }

    CommentAction CommentLine(const LogLine&, const std::vector<std::string>* headings) {
        if (!prnFile_) return CommentAction::Skip;
        if (headings == nullptr) return CommentAction::ReadAsRecord;
        for (const std::string& name : *headings) collector_.Add(name);
        return CommentAction::Stop;
    }
    bool Value(const LogRecord& value, const LogLine&) {
        collector_.Add(value.name);
        return true;
    }
    bool LineDone(const LogLine& line) { return line.kind != LogLineKind::BlankSeparatedValues; }

private:
    LogSensorCollector& collector_;
    bool prnFile_;
    const DiscoveryControl& control_;
    const LogValueReader& reader_;
    std::uint64_t reported_ = 0;
    bool stopped_ = false;
};

}  // namespace

bool CollectSensorNames(const std::string& path, bool prnFile, LogSensorCollector& collector,
                        const DiscoveryControl& control) {
    LogValueReader reader(path, prnFile);
    DiscoveryVisitor visitor(collector, prnFile, control, reader);
    reader.Read(visitor);
    if (control.progress) control.progress(reader.BytesConsumed(), reader.FileSize());
    return !visitor.Stopped();
}

std::vector<std::string> ReadSensorNames(const std::string& path, bool prnFile) {
    LogSensorCollector collector(prnFile);
    CollectSensorNames(path, prnFile, collector, {});
    return collector.SortedNames();
}

}  // namespace vireo
