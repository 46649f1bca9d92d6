#include "logfile/LineSplit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/PScan.h"

namespace vireo::logfile_detail {
namespace {

/// The split made anew by the scanner, without the kept one.
SixFields PlainSplit(std::string_view line, SixFieldSplit split) {
    SixFields v;
    Scan(line, split == SixFieldSplit::CommaFields ? "%P%P%P%P%P%P" : "%s %P%P%P%P%P",
         {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]});
    return v;
}

void ExpectPlain(const std::string& line, SixFieldSplit split) {
    SCOPED_TRACE("line [" + line + "] " + (split == SixFieldSplit::CommaFields ? "comma" : "stamp"));
    SixFields kept;
    SplitSixFields(line, split, kept);
    const SixFields plain = PlainSplit(line, split);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        EXPECT_EQ(kept[k], plain[k]) << "field " << k;
        // Views into this line, not into an earlier one.
        if (!kept[k].empty()) {
            EXPECT_GE(kept[k].data(), line.data());
            EXPECT_LE(kept[k].data() + kept[k].size(), line.data() + line.size());
        }
    }
}

// The kept split against the scanner, in an order that hits and misses the
// kept one: a line split twice, the same characters in another place, a line
// of the same length that differs in one character, lines too long to keep.
TEST(SplitSixFields, GivesWhatTheScannerGives) {
    const std::vector<std::string> lines = {
        "06/15/2005,12:30:00,TEMP,21.5,C,G",
        "06/15/2005,12:30:00,TEMP,21.5,C,G",
        "06/15/2005,12:30:00,TEMP,21.6,C,G",
        "06/15/2005 12:30:00,TEMP,21.5,C,G",
        "06/15/2005 12:30:00 1 2 3",
        "TEMP,06/15/2005,12:30:00,21.5,G",
        "TEMP,06/15/2005 12:30:00,21.5,G",
        "",
        ",,,,,,,,",
        "a b,c d,e",
        "no comma at all",
        " lead,blank",
        "06/15/2005\t12:30:00,TEMP,1,C,G",
        "06/15/2005 12:30:00,T" + std::string(3000, 'x') + ",1,C,G",
        "06/15/2005 12:30:00,T" + std::string(3000, 'x') + ",1,C,G",
        "06/15/2005,12:30:00,TEMP,21.5,C,G",
    };
    for (const std::string& line : lines) {
        ExpectPlain(line, SixFieldSplit::CommaFields);
        ExpectPlain(line, SixFieldSplit::StampFields);
        const std::string copy = line;  // the same characters elsewhere
        ExpectPlain(copy, SixFieldSplit::StampFields);
        ExpectPlain(copy, SixFieldSplit::CommaFields);
    }
}

}  // namespace
}  // namespace vireo::logfile_detail
