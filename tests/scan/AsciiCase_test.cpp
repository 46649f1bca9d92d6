#include "scan/AsciiCase.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <clocale>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vireo {
namespace {

struct CaseRow {
    std::string_view a;
    std::string_view b;
    bool same;  // SameName(a, b)
    bool less;  // NameLess(a, b)
    std::string_view upperA;
};

// Only the 26 ASCII letters change case; the bytes between 'Z' and 'a' and
// every byte above 127 (Windows-1252 letters too) stay as they are.
const CaseRow kRows[] = {
    {"", "", true, false, ""},
    {"", "a", false, true, ""},
    {"Temp", "tEMP", true, false, "TEMP"},
    {"temp", "Temp ", false, true, "TEMP"},
    {"st01_temp-x", "ST01_TEMP-X", true, false, "ST01_TEMP-X"},
    {"_x", "A", false, true, "_X"},
    {"[", "a", false, true, "["},
    {"`", "a", false, true, "`"},
    {"{", "Z", false, false, "{"},
    {"a1", "A", false, false, "A1"},
    {"B2", "b", false, false, "B2"},
    {"b", "B2", false, true, "B"},
    {"\xe9", "\xc9", false, false, "\xe9"},
    {"m\xfchle \xe9", "M\xfcHLE \xe9", true, false, "M\xfcHLE \xe9"},
    {"z", "\x80", false, true, "Z"},
    {"@", "`", false, true, "@"},
};

TEST(AsciiCase, TableOfNames) {
    for (const CaseRow& row : kRows) {
        SCOPED_TRACE(std::string(row.a) + " | " + std::string(row.b));
        EXPECT_EQ(SameName(row.a, row.b), row.same);
        EXPECT_EQ(SameName(row.b, row.a), row.same);
        EXPECT_EQ(NameLess(row.a, row.b), row.less);
        EXPECT_EQ(UpperCaseName(row.a), row.upperA);
        if (row.same) {
            EXPECT_FALSE(NameLess(row.b, row.a));
            EXPECT_EQ(NameHash{}(row.a), NameHash{}(row.b));
        }
    }
}

// The order is that of the C library's strcasecmp in the "C" locale.
TEST(AsciiCase, OrdersAsStrcasecmp) {
    const char* saved = std::setlocale(LC_CTYPE, nullptr);
    const std::string restore = saved ? saved : "C";
    std::setlocale(LC_CTYPE, "C");
    std::vector<std::string> names = {"",     "a",    "A",     "ab",    "aB",   "b",     "_", "[",    "`",    "{",
                                      "@",    "Z",    "z1",    "Z1",    "0",    " ",     "~", "\x7f", "\x80", "\xe9",
                                      "\xc9", "\xff", "a\xff", "A\x80", "temp", "TEMP2", "t", "te"};
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            const int c = ::strcasecmp(a.c_str(), b.c_str());
            EXPECT_EQ(NameLess(a, b), c < 0) << a << " | " << b;
            EXPECT_EQ(SameName(a, b), c == 0) << a << " | " << b;
        }
    }
    std::setlocale(LC_CTYPE, restore.c_str());
}

TEST(AsciiCase, HashedSetsAndMapsMatchWithoutRegardToCase) {
    std::unordered_set<std::string, NameHash, NameEqual> names;
    for (const char* name : {"Temp", "TEMP", "temp", "Wind", "w\xe9nd", "W\xc9ND"}) names.insert(name);
    EXPECT_EQ(names.size(), 4u);

    std::unordered_map<std::string, int, NameHash, NameEqual> first;
    first.emplace("Temp", 1);
    first.emplace("TEMP", 2);  // the first name wins
    const std::string_view asked = "tEmP";
    const auto found = first.find(asked);
    ASSERT_NE(found, first.end());
    EXPECT_EQ(found->first, "Temp");
    EXPECT_EQ(found->second, 1);
    EXPECT_EQ(first.find(std::string_view("Temp ")), first.end());
}

TEST(AsciiCase, SingleBytes) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const bool lower = c >= 'a' && c <= 'z';
        const bool upper = c >= 'A' && c <= 'Z';
        EXPECT_EQ(UpperAscii(ch), lower ? static_cast<char>(c - 32) : ch) << c;
        for (int d = 0; d < 256; ++d) {
            const char other = static_cast<char>(d);
            const bool same = c == d || (lower && d == c - 32) || (upper && d == c + 32);
            ASSERT_EQ(SameName(std::string_view(&ch, 1), std::string_view(&other, 1)), same) << c << ' ' << d;
        }
    }
}

}  // namespace
}  // namespace vireo
