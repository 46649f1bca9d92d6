#include "logfile/KeptTimeTag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/Regional.h"

namespace vireo::logfile_detail {
namespace {

struct Texts {
    std::string date;
    std::string time;
};

/// Sets regional settings for one test and puts the earlier ones back.
class RegionalFor {
public:
    explicit RegionalFor(RegionalSettings settings) : before_(Regional()) { SetRegional(settings); }
    ~RegionalFor() { SetRegional(before_); }
    RegionalFor(const RegionalFor&) = delete;
    RegionalFor& operator=(const RegionalFor&) = delete;

private:
    RegionalSettings before_;
};

void ExpectPlain(const Texts& texts) {
    SCOPED_TRACE("date [" + texts.date + "] time [" + texts.time + "]");
    const LogTimeTag kept = ReadKeptTimeTag(texts.date, texts.time);
    const LogTimeTag plain = ReadLogTimeTag(texts.date, texts.time);
    EXPECT_EQ(kept.stamp, plain.stamp);
    EXPECT_EQ(kept.usable, plain.usable);
}

// The kept time tag against the plain reading, in an order that hits and
// misses the kept one: runs of one time, texts that differ only in where the
// date ends and the time begins, the same texts again after others, empty and
// over-long texts.
TEST(ReadKeptTimeTag, GivesWhatThePlainReadingGives) {
    const std::vector<Texts> sequence = {
        {"06/15/2005", "12:30:00"},
        {"06/15/2005", "12:30:00"},
        {"06/15/2005", "12:30:01"},
        {"06/15/2005", "12:30:01"},
        {"06/15/200", "512:30:01"},
        {"06/15/2005", "12:30:01"},
        {"02/30/2005", "12:00:00"},
        {"02/30/2005", "12:00:00"},
        {"", ""},
        {"", ""},
        {"06/15/2005", ""},
        {"06/15/1984", "12:30:00"},
        {"06/15/1984", "12:30:00"},
        {"  06 / 15 / 2005  ", " 12 : 30 : 00 "},
        {"06/15/2005" + std::string(30, ' '), "12:30:00"},  // longer than what is kept
        {"06/15/2005" + std::string(30, ' '), "12:30:00"},
        {"12/31/2052", "23:59:59"},
        {"01/01/2053", "00:00:00"},
        {"06/15/2005", "12:30:00"},
    };
    for (const Texts& texts : sequence) ExpectPlain(texts);
}

RegionalSettings Dots() {
    RegionalSettings settings;
    settings.dateSeparator = '.';
    settings.timeSeparator = '.';
    settings.decimalSeparator = ',';
    return settings;
}

TEST(ReadKeptTimeTag, OtherSeparatorsAreNotAnsweredFromTheKeptTexts) {
    RegionalFor usual{RegionalSettings{}};
    ExpectPlain({"06.15.2005", "12.30.00"});
    ExpectPlain({"06/15/2005", "12:30:00"});
    {
        RegionalFor dots(Dots());
        ExpectPlain({"06/15/2005", "12:30:00"});  // kept with '/' and ':', not a date now
        ExpectPlain({"06.15.2005", "12.30.00"});
        EXPECT_TRUE(ReadKeptTimeTag("06.15.2005", "12.30.00").usable);
    }
    ExpectPlain({"06.15.2005", "12.30.00"});
    EXPECT_TRUE(ReadKeptTimeTag("06/15/2005", "12:30:00").usable);
}

}  // namespace
}  // namespace vireo::logfile_detail
