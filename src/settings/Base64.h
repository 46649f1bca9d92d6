#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vireo {

/// Base64 as defined for MIME (A-Z, a-z, 0-9, '+', '/', '=' padding), without
/// line breaks.
std::string Base64Encode(std::string_view bytes);

/// The bytes of a Base64 text; nothing when the text is not valid Base64 (a
/// length that is not a multiple of 4, a character outside the alphabet,
/// padding anywhere but at the end, or padding bits that are not zero).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace vireo
