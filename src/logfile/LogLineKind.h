#pragma once

#include <string_view>

namespace vireo {

/// The kind of one log line. The values are stored and compared as numbers 0..6.
enum class LogLineKind : int {
    NotARecord = 0,            ///< fits none of the layouts below
    NameDateTime = 1,          ///< name,date,time,value,flag
    NameStamp = 2,             ///< name,date time,value,flag
    DateTimeName = 3,          ///< date,time,name,value,fifth field,flag
    StampName = 4,             ///< date time,name,value,fifth field,flag
    DateTimeLabelValues = 5,   ///< date,time,label,value,value,...
    BlankSeparatedValues = 6,  ///< date time value value ... (separated by blanks)
};

/// True when the first character of the line is '"', '\'', ':' or ';' (false for
/// an empty line). Such lines are comment or heading lines, never read as records
/// (a .PRN file's column heading line is one of them).
bool IsCommentLine(std::string_view line);

/// Decides the kind of one line (that is not a comment line) by its own content.
/// No state, no side effect.
LogLineKind ClassifyLogLine(std::string_view line);

/// True for the kinds that hold one value per line (NameDateTime .. StampName).
constexpr bool IsOneValueKind(LogLineKind kind) {
    return kind >= LogLineKind::NameDateTime && kind <= LogLineKind::StampName;
}

/// True for the kinds that hold several values per line.
constexpr bool IsMultiValueKind(LogLineKind kind) {
    return kind == LogLineKind::DateTimeLabelValues || kind == LogLineKind::BlankSeparatedValues;
}

}  // namespace vireo
