#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace vireo {

/// A reference to a caller's variable that one scanner directive stores into,
/// or (for a '*' width or precision) the integer value the directive consumes.
/// The directive decides which alternative it wants:
///   P S " V            std::string* (a copy of the field) or std::string_view*
///                      (the field within the scanned text, valid as long as it)
///   C                  char*
///   B                  std::uint8_t*  (0 or 1)
///   W D                std::uint16_t*
///   I L M J T Q        std::int32_t*
///   E R                float*  (E stores the all-bits-set pattern on failure)
///   X                  double*
///   '*' width/precision std::int32_t (value) or std::int32_t* (its value is read)
/// A reference of another type than the directive wants is a programming
/// error: the element fails and nothing is stored.
using ScanArg = std::variant<std::string*, char*, std::uint8_t*, std::uint16_t*, std::int32_t*, float*, double*,
                             std::int32_t, std::string_view*>;

/// Scans `text` from its first character. True when no element failed while
/// checking was on. Never throws.
bool Scan(std::string_view text, std::string_view pattern, std::initializer_list<ScanArg> args);

/// Scans `text` from the 1-based `position` (below 1 counts as 1); on return
/// `position` is the 1-based position of the first character not consumed
/// (length + 1 when all was consumed).
bool ScanFrom(std::string_view text, std::size_t& position, std::string_view pattern,
              std::initializer_list<ScanArg> args);

/// A value handed to the formatter. Any text form counts as text.
using FormatArg = std::variant<std::int32_t, char, bool, double, std::string_view>;

/// Builds a text from a pattern and values.
std::string FormatPattern(std::string_view pattern, std::initializer_list<FormatArg> args);

/// Appends the formatted text to `accumulator` (the comma form of upper-case
/// directives sees the whole accumulator) and copies the accumulator into
/// `result`.
void AppendPattern(std::string& accumulator, std::string_view pattern, std::initializer_list<FormatArg> args,
                   std::string& result);

/// Rebuilds the six date and time sub-patterns from the regional separators.
/// Called by SetRegional; the first scan or format builds them otherwise.
void RebuildSubPatterns(char dateSeparator, char timeSeparator);

}  // namespace vireo
