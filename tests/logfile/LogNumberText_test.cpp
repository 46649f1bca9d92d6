#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

#include "logfile/LogNumber.h"

// WriteLogNumber takes a shortcut through the digits of the value text; what it
// writes must be exactly what std::to_chars writes for the value.

namespace vireo {
namespace {

std::string ToChars(double value) {
    char text[kLogNumberTextSize];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string Written(std::string_view text, double value) {
    char out[kLogNumberTextSize];
    return std::string(out, WriteLogNumber(out, text, value));
}

void CheckText(const std::string& text) {
    double value = 0;
    if (!ParseLogNumber(text, value)) return;
    ASSERT_EQ(Written(text, value), ToChars(value)) << "text [" << text << "]";
}

TEST(WriteLogNumber, WritesWhatToCharsWrites) {
    const char* const texts[] = {"21.5",
                                 "-21.50",
                                 "  +007.250",
                                 "0",
                                 "-0",
                                 "0.000",
                                 "-.5",
                                 ".5",
                                 "7.",
                                 "100",
                                 "1500000",
                                 "15000000",
                                 "123456789012345",
                                 "1234567890123456",
                                 "0.001",
                                 "0.0001",
                                 "-0.00012",
                                 "1000000000000000000000000",
                                 "0.1",
                                 "0.30000000000000004",
                                 "999999999999999",
                                 "9999999999999999",
                                 "1e5",
                                 "1.5E2",
                                 "E5",
                                 ".",
                                 "-.",
                                 "0.000000000000000000000001",
                                 "12345678901234567890123",
                                 "3.141592653589793",
                                 "100.000000000000000001"};
    for (const char* text : texts) CheckText(text);
}

TEST(WriteLogNumber, RandomDecimalTexts) {
    std::mt19937 random(4620);
    const auto digits = [&](std::size_t most) {
        std::string text(std::uniform_int_distribution<std::size_t>(0, most)(random), '0');
        for (char& c : text) c = static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int round = 0; round < 200000; ++round) {
        std::string text;
        if (random() % 4 == 0) text += "-";
        text += std::string(random() % 3 == 0 ? random() % 4 : 0, '0');
        text += digits(random() % 2 == 0 ? 6 : 20);
        if (random() % 2 == 0) {
            text += '.';
            text += std::string(random() % 3 == 0 ? random() % 8 : 0, '0');
            text += digits(random() % 2 == 0 ? 6 : 20);
            text += std::string(random() % 3 == 0 ? random() % 4 : 0, '0');
        }
        if (random() % 8 == 0) text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
        CheckText(text);
    }
}

}  // namespace
}  // namespace vireo
