#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "scan/PScan.h"

// Random patterns over random texts: whatever the input, the engines stay
// inside the text, the position only moves forward, and nothing throws.

namespace vireo {
namespace {

std::string RandomText(std::mt19937& random, std::string_view alphabet, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text(length(random), ' ');
    for (char& c : text) c = alphabet[pick(random)];
    return text;
}

TEST(ScanRandom, StaysWithinTheTextForAnyPattern) {
    std::mt19937 random(4620);
    constexpr std::string_view kTextAlphabet = "0123456789+-.eE,:/ \t\r\n\"'%YNabcXYZ\xA0\xFF";
    constexpr std::string_view kPatternAlphabet = "%%%%%*.0123_PpCcIiLlWwEeRrXxMmBbSs\"Vv?NnJjDdTtQq[]Zz,:/ x";
    for (int round = 0; round < 20000; ++round) {
        const std::string text = RandomText(random, kTextAlphabet, 24);
        const std::string pattern = RandomText(random, kPatternAlphabet, 12);
        SCOPED_TRACE(testing::Message() << "text [" << text << "] pattern [" << pattern << "]");
        std::string s1, s2;
        char c = 0;
        std::uint8_t b = 0;
        std::uint16_t w = 0;
        std::int32_t i = 645'539'400;
        float f = 0;
        double d = 0;
        std::size_t start = std::uniform_int_distribution<std::size_t>(0, text.size() + 2)(random);
        std::size_t position = start;
        ScanFrom(text, position, pattern, {&s1, 2, &c, &b, &w, &i, &f, &d, &s2, &i, &w, &s1});
        ASSERT_GE(position, std::max<std::size_t>(std::min(start, text.size() + 1), 1));
        ASSERT_LE(position, text.size() + 1);
        ASSERT_LE(s1.size(), text.size());
        ASSERT_LE(s2.size(), text.size());
    }
}

/// A width of thousands of characters would only make the test slow.
bool HasLongNumber(std::string_view pattern) {
    std::size_t run = 0;
    for (char c : pattern) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run > 3) return true;
    }
    return false;
}

TEST(FormatRandom, AnyPatternFormats) {
    std::mt19937 random(1984);
    constexpr std::string_view kPatternAlphabet = "%%%%%*.09_PpSsFf\"CcBbIiWwLlMmRrXxDdTtJjNn Zz,x";
    for (int round = 0; round < 20000; ++round) {
        const std::string pattern = RandomText(random, kPatternAlphabet, 12);
        if (HasLongNumber(pattern)) continue;
        SCOPED_TRACE(pattern);
        std::string accumulator = round % 2 == 0 ? "" : "acc";
        std::string result;
        AppendPattern(accumulator, pattern, {"a,b", 3, -7, 'q', true, 2.5, -2147483647 - 1, "x"}, result);
        ASSERT_EQ(result, accumulator);
    }
}

}  // namespace
}  // namespace vireo
