#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/AsciiCase.h"

namespace vireo {

/// A statement with named parameters (":NAME") turned into the ODBC form,
/// where every parameter is a '?'.
struct MarkedStatement {
    std::string text;
    /// The name of each '?' in order; a name used twice appears twice.
    std::vector<std::string> markers;
};

/// Replaces every ":NAME" (NAME of letters, digits and '_') by '?'. A colon
/// inside a quoted literal ('...' or "...") or followed by another colon
/// (the "::" cast) is left alone, as is one not followed by a name.
MarkedStatement MarkParameters(std::string_view sql);

}  // namespace vireo
