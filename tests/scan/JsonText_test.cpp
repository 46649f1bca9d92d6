#include "scan/JsonText.h"

#include <gtest/gtest.h>

#include <string>

namespace vireo {
namespace {

TEST(JsonString, EscapesQuotesBackslashesAndControlCharactersOnly) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string json;
    } rows[] = {
        {"", "\"\""},
        {"ST01", "\"ST01\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"tab\there\r\n", "\"tab\\u0009here\\u000d\\u000a\""},
        {"nul\0x"s, "\"nul\\u0000x\""},
        {"\x1f\x7f", "\"\\u001f\x7f\""},
        {"gr\xc3\xbc\xc3\x9f", "\"gr\xc3\xbc\xc3\x9f\""},  // UTF-8 goes as it is
    };
    for (const auto& row : rows) {
        EXPECT_EQ(JsonString(row.text), row.json) << row.text;
    }
    std::string json = "[";
    AppendJsonString(json, "x");
    EXPECT_EQ(json, "[\"x\"");
}

}  // namespace
}  // namespace vireo
