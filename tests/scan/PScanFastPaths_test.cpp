#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scan/Chronos.h"
#include "scan/PScan.h"
#include "scan/Regional.h"
#include "support/TestScopes.h"

// The quick ways through the scanner: runs of "%P" (16 characters looked at
// at once, so fields that end on either side of such a stretch matter), views
// as text references, the one-field walk and the usual shape of a date and time.
// Each must give what the directives give one by one.

namespace vireo {
namespace {

using testing::RegionalScope;

/// The comma fields of `text` as "%P" reads them, one character at a time: a
/// field ends at ',', carriage return, line feed or the end; the upper-case
/// form steps over a ','.
std::vector<std::string> PlainFields(std::string_view text, std::string_view letters, std::size_t& position) {
    std::vector<std::string> fields;
    for (const char letter : letters) {
        const std::size_t start = position;
        while (position < text.size() && text[position] != ',' && text[position] != '\r' && text[position] != '\n') {
            ++position;
        }
        fields.emplace_back(text.substr(start, position - start));
        if (letter == 'P' && position < text.size() && text[position] == ',') ++position;
    }
    return fields;
}

/// Texts whose field ends fall on and around the 16-character stretches.
std::vector<std::string> BoundaryTexts() {
    std::vector<std::string> texts;
    std::mt19937 random(4620);
    for (std::size_t length : {0u, 1u, 2u, 14u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 48u, 49u, 70u}) {
        for (int round = 0; round < 40; ++round) {
            std::string text(length, 'x');
            for (char& c : text) c = "abc,,\r\n\0 9"[random() % 10];
            texts.push_back(text);
        }
        for (std::size_t stop = 0; stop < length; ++stop) {
            std::string text(length, 'x');
            text[stop] = ',';
            texts.push_back(text);
        }
    }
    return texts;
}

TEST(ScanPlainRun, CopiesAndViewsHoldTheFieldsOfEachDirective) {
    for (const std::string& text : BoundaryTexts()) {
        SCOPED_TRACE(::testing::Message() << "text of " << text.size() << " [" << text << "]");
        for (const std::string_view letters : {"PPPPPP", "pPpPpP", "PPP"}) {
            std::string pattern;
            for (const char letter : letters) pattern += std::string("%") + letter;
            std::size_t end = 0;
            const std::vector<std::string> expected = PlainFields(text, letters, end);

            std::vector<std::string> copies(6, "~");
            std::vector<std::string_view> views(6, "~");
            std::size_t position = 1;
            EXPECT_TRUE(ScanFrom(text, position, pattern,
                                 {&copies[0], &copies[1], &copies[2], &copies[3], &copies[4], &copies[5]}));
            EXPECT_EQ(position, end + 1);
            EXPECT_TRUE(Scan(text, pattern, {&views[0], &views[1], &views[2], &views[3], &views[4], &views[5]}));
            for (std::size_t k = 0; k < letters.size(); ++k) {
                EXPECT_EQ(copies[k], expected[k]) << "field " << k;
                EXPECT_EQ(views[k], expected[k]) << "field " << k;
                // A view lies within the text.
                EXPECT_TRUE(views[k].data() >= text.data() &&
                            views[k].data() + views[k].size() <= text.data() + text.size());
            }
        }
    }
}

TEST(ScanPlainRun, AWalkOneFieldAtATimeGivesTheSameFields) {
    for (const std::string& text : BoundaryTexts()) {
        SCOPED_TRACE(::testing::Message() << "text of " << text.size() << " [" << text << "]");
        std::size_t expectedPosition = 0;
        std::size_t position = 1;
        for (int step = 0; step < 80 && position <= text.size(); ++step) {
            const char letter = step % 3 == 2 ? 'p' : 'P';
            const std::vector<std::string> expected = PlainFields(text, std::string(1, letter), expectedPosition);
            std::string_view field = "~";
            EXPECT_TRUE(ScanFrom(text, position, std::string("%") + letter, {&field}));
            EXPECT_EQ(field, expected[0]);
            EXPECT_EQ(position, expectedPosition + 1);
            if (field.empty() && position <= text.size() && text[position - 1] != ',') break;  // stuck at a line end
        }
    }
}

TEST(ScanPlainRun, ReferencesOfEveryKindInOneRun) {
    std::string copy = "~";
    std::string_view view = "~";
    std::int32_t number = 7;
    std::string last = "~";
    // A wrong reference fails the scan and is passed over; the others still get their fields.
    EXPECT_FALSE(Scan("a,b,c,d", "%P%P%P%P", {&copy, &view, &number, &last}));
    EXPECT_EQ(copy, "a");
    EXPECT_EQ(view, "b");
    EXPECT_EQ(number, 7);
    EXPECT_EQ(last, "d");
    // A null view reads its field and stores nothing.
    EXPECT_TRUE(Scan("a,b", "%P%P", {static_cast<std::string_view*>(nullptr), &view}));
    EXPECT_EQ(view, "b");
    // The one-field walk fails on a wrong reference too, and still moves on.
    std::size_t position = 1;
    EXPECT_FALSE(ScanFrom("ab,c", position, "%P", {&number}));
    EXPECT_EQ(position, 4u);
    EXPECT_TRUE(ScanFrom("ab,c", position, "%P", {}));
    EXPECT_EQ(position, 5u);
    position = 9;  // beyond the text: held to its end
    EXPECT_TRUE(ScanFrom("ab,c", position, "%p", {&view}));
    EXPECT_EQ(view, "");
    EXPECT_EQ(position, 5u);
}

TEST(ScanPlainRun, ViewsOfTheOtherTextDirectives) {
    std::string_view word;
    std::string_view rest;
    std::string_view quoted;
    std::string_view value;
    EXPECT_TRUE(Scan("06/15/2005 12:30:00,x", "%s %S", {&word, &rest}));
    EXPECT_EQ(word, "06/15/2005");
    EXPECT_EQ(rest, "12:30:00,x");
    EXPECT_TRUE(Scan("\"a,b\",\"c,d\"x,e", "%\",%V\"", {&quoted, &value}));
    EXPECT_EQ(quoted, "a,b");
    EXPECT_EQ(value, "\"c,d\"x");
}

struct StampRow {
    char dateSeparator;
    char timeSeparator;
    const char* text;
    std::int32_t stamp;
    bool result;
    std::size_t position;
};

TEST(ScanStamp, TheUsualShapeReadsAsAnyOther) {
    const std::int32_t noonHalf = StampOf(2005, 6, 15, 12, 30, 0);
    const std::vector<StampRow> rows = {
        {'/', ':', "06/15/2005 12:30:00", noonHalf, true, 20},
        {'/', ':', "06/15/2005 12:30:00,5", noonHalf, true, 20},
        {'/', ':', "06/15/2005 12:30:001", noonHalf + 1, true, 21},  // a third digit of the seconds
        {'/', ':', "06/15/2005 12:30:0", noonHalf, true, 19},
        {'/', ':', "06/15/2005 12:30-00", noonHalf, false, 20},
        {'/', ':', "06/15/2005\t12:30:00", noonHalf, false, 20},
        {'/', ':', "06/15/20051 12:30:00", StampOf(20051, 6, 15, 12, 30, 0), true, 21},
        {'.', '.', "06.15.2005 12.30.00", noonHalf, true, 20},
        {'x', 'h', "06X15x2005 12H30h00", noonHalf, true, 20},  // a letter matches in either case
        {'%', '%', "06%15%2005 12%30%00", noonHalf, true, 20},
    };
    for (const StampRow& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "text [" << row.text << "] separators " << row.dateSeparator << row.timeSeparator);
        const RegionalScope separators(row.dateSeparator, row.timeSeparator);
        std::int32_t stamp = 99;
        std::size_t position = 1;
        EXPECT_EQ(ScanFrom(row.text, position, "%j", {&stamp}), row.result);
        EXPECT_EQ(stamp, row.stamp);
        EXPECT_EQ(position, row.position);
    }
}

}  // namespace
}  // namespace vireo
