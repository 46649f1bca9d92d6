#pragma once

#include <string>
#include <string_view>

namespace vireo {

/// Appends `text` to `json` as a JSON string: quoted, with '"', '\' and the
/// control characters escaped. The text's bytes go as they are: give UTF-8.
void AppendJsonString(std::string& json, std::string_view text);

/// The same as a string of its own.
std::string JsonString(std::string_view text);

}  // namespace vireo
