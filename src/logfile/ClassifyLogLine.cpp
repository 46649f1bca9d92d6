#include <string_view>

#include "logfile/LineSplit.h"
#include "logfile/LogLineKind.h"

namespace vireo {
namespace {

using logfile_detail::SixFields;
using logfile_detail::SixFieldSplit;
using logfile_detail::SplitSixFields;

/// The fields tested are short: a plain loop beats a call of memchr.
bool Holds(std::string_view text, char c) {
    for (const char x : text) {
        if (x == c) return true;
    }
    return false;
}

}  // namespace

bool IsCommentLine(std::string_view line) {
    if (line.empty()) return false;
    const char c = line.front();
    return c == '"' || c == '\'' || c == ':' || c == ';';
}

LogLineKind ClassifyLogLine(std::string_view line) {
    // The first two comma fields ("%P%P") are the first two of the six-field
    // split, which the record reading of such a line then finds made already.
    SixFields v;
    SplitSixFields(line, SixFieldSplit::CommaFields, v);
    const std::string_view first = v[0];
    if (!Holds(first, '/')) {
        if (Holds(v[1], ' ')) return LogLineKind::NameStamp;
        if (!v[1].empty()) return LogLineKind::NameDateTime;
        return LogLineKind::NotARecord;
    }

    const std::size_t blank = first.find(' ');
    LogLineKind found;
    if (blank != std::string_view::npos) {
        if (first.find(' ', blank + 1) != std::string_view::npos) return LogLineKind::BlankSeparatedValues;
        SplitSixFields(line, SixFieldSplit::StampFields, v);  // "%s %P%P%P%P%P"
        found = LogLineKind::StampName;
    } else {
        found = LogLineKind::DateTimeName;  // the six comma fields split above
    }
    // Only the sixth value is searched for a flag letter; case matters.
    const bool flagged = Holds(v[5], 'G') || Holds(v[5], 'B') || Holds(v[5], 'U');
    if (!flagged && !v[3].empty()) return LogLineKind::DateTimeLabelValues;
    if (v[3].empty() && v[4].empty() && v[5].empty()) return LogLineKind::DateTimeName;
    return found;
}

}  // namespace vireo
