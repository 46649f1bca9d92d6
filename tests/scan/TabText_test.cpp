#include "scan/TabText.h"

#include <gtest/gtest.h>

#include <string>

namespace vireo {
namespace {

TEST(TabTextTest, EscapesGoBothWays) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"", ""},
        {"plain \xe9", "plain \xe9"},
        {"a\tb", "a\\tb"},
        {"line\nnext\r", "line\\nnext\\r"},
        {"C:\\logs\\N", "C:\\\\logs\\\\N"},  // "\N" would be a null to COPY
    };
    for (const auto& c : cases) {
        std::string out = "x";
        AppendTabEscaped(out, c.text);
        EXPECT_EQ(out, "x" + c.escaped) << c.text;
        EXPECT_EQ(TabUnescaped(c.escaped), c.text) << c.escaped;
    }
}

TEST(TabTextTest, ABackslashThatStartsNoEscapeIsRefused) {
    for (const char* field : {"\\", "ab\\", "\\N", "a\\x"}) EXPECT_EQ(TabUnescaped(field), std::nullopt) << field;
}

}  // namespace
}  // namespace vireo
