#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vireo {

/// The program's text is single-byte Windows-1252, like the log files; a
/// database that speaks UTF-8 gets and gives its text through these two.

/// The character of a byte, and the byte of a character (nothing when
/// Windows-1252 has none for it); the undefined bytes are their own controls.
char32_t Windows1252CodePoint(unsigned char byte);
std::optional<char> Windows1252Byte(char32_t c);

/// Every byte becomes its character; the five bytes that Windows-1252 leaves
/// undefined (81, 8D, 8F, 90, 9D) become the control characters of the same
/// code, so any byte string survives the way there and back.
std::string Windows1252ToUtf8(std::string_view text);

/// A character that Windows-1252 cannot hold, and a byte that is not part of
/// a well-formed UTF-8 sequence, become '?'.
std::string Utf8ToWindows1252(std::string_view text);

/// The same conversion, or nothing when some character became '?' on the
/// way: a character that Windows-1252 cannot hold, or a broken sequence.
std::optional<std::string> Utf8ToWindows1252Exact(std::string_view text);

}  // namespace vireo
