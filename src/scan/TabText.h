#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vireo {

// Texts in tab-separated records (the positions file, PostgreSQL's COPY text
// format): backslash, tab, line feed and carriage return are written as
// "\\", "\t", "\n" and "\r"; every other byte goes as it is.

/// Appends `text` to `out` escaped.
void AppendTabEscaped(std::string& out, std::string_view text);

/// The text of an escaped field; none when it holds a backslash that starts
/// no escape above (or ends the field).
std::optional<std::string> TabUnescaped(std::string_view field);

}  // namespace vireo
