#include <string>

#include "logfile/LogLineKind.h"
#include "scan/PScan.h"

namespace vireo {
namespace {

bool Holds(const std::string& text, char c) { return text.find(c) != std::string::npos; }

/// The fields of one classification, kept per thread so that classifying a line
/// allocates nothing once the texts have grown to the file's field sizes.
struct ClassifyFields {
    std::string first;
    std::string values[6];
};

ClassifyFields& Fields() {
    thread_local ClassifyFields fields;
    return fields;
}

}  // namespace

bool IsCommentLine(std::string_view line) {
    if (line.empty()) return false;
    const char c = line.front();
    return c == '"' || c == '\'' || c == ':' || c == ';';
}

LogLineKind ClassifyLogLine(std::string_view line) {
    ClassifyFields& f = Fields();
    std::string* v = f.values;
    // The first field is the first "%P" field; the second one is only looked at
    // when the first holds no '/', but taking both at once costs nothing more.
    Scan(line, "%P%P", {&f.first, &v[1]});
    if (!Holds(f.first, '/')) {
        if (Holds(v[1], ' ')) return LogLineKind::NameStamp;
        if (!v[1].empty()) return LogLineKind::NameDateTime;
        return LogLineKind::NotARecord;
    }

    const std::size_t blank = f.first.find(' ');
    LogLineKind found;
    if (blank != std::string::npos) {
        if (f.first.find(' ', blank + 1) != std::string::npos) return LogLineKind::BlankSeparatedValues;
        Scan(line, "%s %P%P%P%P%P", {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]});
        found = LogLineKind::StampName;
    } else {
        Scan(line, "%P%P%P%P%P%P", {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]});
        found = LogLineKind::DateTimeName;
    }
    // Only the sixth value is searched for a flag letter; case matters.
    const bool flagged = Holds(v[5], 'G') || Holds(v[5], 'B') || Holds(v[5], 'U');
    if (!flagged && !v[3].empty()) return LogLineKind::DateTimeLabelValues;
    if (v[3].empty() && v[4].empty() && v[5].empty()) return LogLineKind::DateTimeName;
    return found;
}

}  // namespace vireo
