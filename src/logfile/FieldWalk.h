#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "scan/PScan.h"

namespace vireo::logfile_detail {

/// One step of a walk over the fields of `text` with ScanFrom and `pattern`
/// ("%P" or "%s %_"): stores the field and moves `position` on. The walk goes on
/// while position <= text.size(). A step that cannot move (the text holds a
/// character that ends every field, such as a line feed) ends the walk after it,
/// so a stray control character never stops a reader in its tracks.
inline void WalkStep(std::string_view text, std::size_t& position, std::string_view pattern, std::string& field) {
    const std::size_t before = position;
    ScanFrom(text, position, pattern, {&field});
    if (position <= before) position = text.size() + 1;
}

/// The same, the field as a view into `text`.
inline void WalkStep(std::string_view text, std::size_t& position, std::string_view pattern, std::string_view& field) {
    const std::size_t before = position;
    ScanFrom(text, position, pattern, {&field});
    if (position <= before) position = text.size() + 1;
}

}  // namespace vireo::logfile_detail
