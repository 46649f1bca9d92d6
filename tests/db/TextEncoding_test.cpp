#include "db/TextEncoding.h"

#include <gtest/gtest.h>

#include <optional>

namespace vireo::testing {
namespace {

TEST(TextEncoding, EveryByteSurvivesTheWayThereAndBack) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

struct EncodingCase {
    const char* single;
    const char* utf8;
};

TEST(TextEncoding, KnownCharacters) {
    const EncodingCase cases[] = {
        {"abc", "abc"},
        {"\xC4", "\xC3\x84"},          // Ä
        {"\xFF", "\xC3\xBF"},          // ÿ
        {"\x80", "\xE2\x82\xAC"},      // €
        {"\x9F", "\xC5\xB8"},          // Ÿ
        {"\x81", "\xC2\x81"},          // undefined: kept as the control character
        {"M\xFChle", "M\xC3\xBChle"},  // Mühle
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.single);
        EXPECT_EQ(Windows1252ToUtf8(c.single), c.utf8);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.single);
    }
}

TEST(TextEncoding, WhatWindows1252CannotHoldBecomesAQuestionMark) {
    const EncodingCase cases[] = {
        {"a?b",
         "a\xE6\x97\xA5"
         "b"},                      // 日
        {"?", "\xF0\x9F\x98\x80"},  // an emoji
        {"?", "\xC2\x80"},          // U+0080, which no byte stands for
        {"?x", "\xC3x"},            // a sequence cut short
        {"??", "\xC0\x80"},         // overlong form of NUL
        {"?", "\xED\xA0\x80"},      // a surrogate
        {"?", "\xE2\x82"},          // cut at the end of the text
        {"??", "\x80\xBF"},         // stray continuation bytes
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.single);
    }
}

TEST(TextEncoding, ExactConversionRefusesWhatWouldBecomeAQuestionMark) {
    const struct {
        const char* utf8;
        std::optional<std::string> single;
    } cases[] = {
        {"caf\xC3\xA9", "caf\xE9"},    // café
        {"\xE2\x82\xAC 5", "\x80 5"},  // € 5
        {"what?", "what?"},            // a '?' of its own is no loss
        {"", ""},
        {"T\xCE\xA9", std::nullopt},  // TΩ
        {"T\xD0\x96", std::nullopt},  // TЖ
        {"caf\xE9", std::nullopt},    // Windows-1252 bytes are no UTF-8
        {"\xE2\x82", std::nullopt},   // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToWindows1252Exact(c.utf8), c.single);
        if (c.single) {
            EXPECT_EQ(Utf8ToWindows1252(c.utf8), *c.single);
        }
    }
}

}  // namespace
}  // namespace vireo::testing
