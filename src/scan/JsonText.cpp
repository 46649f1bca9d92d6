#include "scan/JsonText.h"

namespace vireo {

void AppendJsonString(std::string& json, std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    json.push_back('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json.push_back('\\');
            json.push_back(c);
        } else if (byte < 0x20) {
            json += "\\u00";
            json.push_back(kHex[byte >> 4]);
            json.push_back(kHex[byte & 0xf]);
        } else {
            json.push_back(c);
        }
    }
    json.push_back('"');
}

std::string JsonString(std::string_view text) {
    std::string json;
    AppendJsonString(json, text);
    return json;
}

}  // namespace vireo
