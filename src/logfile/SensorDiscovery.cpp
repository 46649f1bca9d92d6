#include "logfile/SensorDiscovery.h"

#include <algorithm>
#include <charconv>

#include "logfile/FieldWalk.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "scan/PScan.h"

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

void AppendDecimal(std::string& text, std::size_t number) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, number);
    text.append(digits, written.ptr);
}

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

void LogSensorCollector::Add(const std::string& name) {
    if (names_.find(name) == names_.end()) names_.insert(name);
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
    std::string* f = fields_;
    std::size_t position = 1;
    switch (ClassifyLogLine(line)) {
        case LogLineKind::NotARecord:
            return true;
        case LogLineKind::NameDateTime:
            Scan(line, "%P%P%P%P%P", {&f[0], &f[1], &f[2], &f[3], &f[4]});
            Add(f[0]);
            return true;
        case LogLineKind::NameStamp:
            Scan(line, "%P%P%P%P", {&f[0], &f[1], &f[2], &f[3]});
            Add(f[0]);
            return true;
        case LogLineKind::DateTimeName:
            Scan(line, "%P%P%P%P%P%P", {&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]});
            Add(f[2]);
            return true;
        case LogLineKind::StampName:
            Scan(line, "%P%P%P%P%P", {&f[0], &f[1], &f[2], &f[3], &f[4]});
            Add(f[1]);
            return true;
        case LogLineKind::DateTimeLabelValues: {
            Scan(line, "%P%P%P%S", {&f[0], &f[1], &f[2], &f[3]});
            for (std::size_t counter = 1; position <= f[3].size(); ++counter) {
                logfile_detail::WalkStep(f[3], position, "%P", f[4]);
                name_.assign(f[2]);
                name_.push_back(':');
                AppendDecimal(name_, counter);
                Add(name_);
            }
            return true;
        }
        case LogLineKind::BlankSeparatedValues: {
            Scan(line, "%s %_%s %_%s", {&f[0], &f[1], &f[2]});
            for (std::size_t counter = 1; position <= f[2].size(); ++counter) {
                logfile_detail::WalkStep(f[2], position, "%s %_", f[4]);
                name_.assign("0:");
                AppendDecimal(name_, counter);
                Add(name_);
            }
            return false;  // only the first line of this kind is read
        }
    }
    return true;
}

std::vector<std::string> LogSensorCollector::SortedNames() const {
    std::vector<std::string> sorted(names_.begin(), names_.end());
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) { return NameLess(a, b); });
    return sorted;
}

std::vector<std::string> ReadSensorNames(const std::string& path, bool prnFile) {
    LogLineReader reader(path);
    LogSensorCollector collector(prnFile);
    std::string_view line;
    while (reader.ReadLine(line)) {
        if (!collector.TakeLine(line)) break;
    }
    return collector.SortedNames();
}

}  // namespace vireo
