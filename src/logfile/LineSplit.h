#pragma once

#include <array>
#include <string_view>

namespace vireo::logfile_detail {

/// The two six-field splits that both the classification of a line and the
/// reading of its record make.
enum class SixFieldSplit {
    CommaFields,  ///< "%P%P%P%P%P%P": the first six comma fields
    StampFields,  ///< "%s %P%P%P%P%P": the word before the first blank, then comma fields
};

using SixFields = std::array<std::string_view, 6>;

/// Splits `line` with the pattern of `split`; the fields are views into `line`.
/// The scanner moves forward only, so the first k fields are also what a pattern
/// of only the first k of these directives gives ("%P%P" or "%P%P%P%P%P").
/// Each thread keeps the last comma split together with a copy of its line, so
/// a line that is classified and then read is split once: the result depends on
/// nothing but the line's characters. When the first comma field holds a blank,
/// the other split follows from the comma split.
void SplitSixFields(std::string_view line, SixFieldSplit split, SixFields& fields);

}  // namespace vireo::logfile_detail
