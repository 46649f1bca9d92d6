#include "db/TextEncoding.h"

#include <array>
#include <cstdint>
#include <optional>

namespace vireo {
namespace {

// The characters of bytes 80..9F; the undefined bytes keep their own code.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char32_t Windows1252CodePoint(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

std::optional<char> Windows1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

/// The conversion of Utf8ToWindows1252; `exact` becomes false at the first
/// character that turned into '?'.
std::string ConvertUtf8(std::string_view text, bool& exact) {
    exact = true;
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07, least = 0x10000;
        }
        std::size_t taken = 1;
        while (length != 0 && taken < length && i + taken < text.size() &&
               (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
            ++taken;
        }
        if (length == 0 || taken < length || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += '?';
            exact = false;
            i += length == 0 ? 1 : taken;  // a broken sequence counts once
            continue;
        }
        const std::optional<char> byte = Windows1252Byte(c);
        if (!byte) exact = false;
        out += byte.value_or('?');
        i += length;
    }
    return out;
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char ch : text) AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(ch)));
    return out;
}

std::string Utf8ToWindows1252(std::string_view text) {
    bool exact = true;
    return ConvertUtf8(text, exact);
}

std::optional<std::string> Utf8ToWindows1252Exact(std::string_view text) {
    bool exact = true;
    std::string out = ConvertUtf8(text, exact);
    if (!exact) return std::nullopt;
    return out;
}

}  // namespace vireo
