#include "settings/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vireo {
namespace {

TEST(Base64, MatchesTheStandardTestVectors) {
    struct Row {
        const char* bytes;
        const char* text;
    };
    const std::vector<Row> rows = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(Base64Encode(row.bytes), row.text);
        EXPECT_EQ(Base64Decode(row.text), std::string(row.bytes));
    }
}

TEST(Base64, CarriesEveryByteValue) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    for (std::size_t length = 0; length <= bytes.size(); length += 37) {
        const std::string part = bytes.substr(bytes.size() - length);
        const std::string text = Base64Encode(part);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        EXPECT_EQ(Base64Decode(text), part);
    }
    EXPECT_EQ(Base64Encode("\xFB\xFF\xBF"), "+/+/");
}

TEST(Base64, RejectsWhatIsNotBase64) {
    for (const char* text : {"Zg=", "Zg", "Z", "Zm9v!A==", "Zm=v", "Zg==Zg==", "====", "A===", "Zm9vYmFy\n",
                             "Zm9v YmFy", "Zh==", "Zm9=", "Zm9v-_==", "\xC3\xA9\xC3\xA9"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Base64Decode(text), std::nullopt);
    }
    EXPECT_EQ(Base64Decode("AA=="), std::string(1, '\0'));
}

}  // namespace
}  // namespace vireo
