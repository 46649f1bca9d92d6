#include "scan/PatternGrammar.h"

#include <limits>

#include "scan/PScan.h"
#include "scan/Regional.h"

namespace vireo {

namespace pattern {

namespace {

struct SubPatternStore {
    SubPatterns patterns;
    bool built = false;
};

SubPatternStore& Store() {
    static SubPatternStore store;
    return store;
}

/// A separator as pattern text: a '%' separator has to be written "%%".
std::string Literal(char separator) { return separator == '%' ? std::string("%%") : std::string(1, separator); }

void Build(SubPatterns& out, char dateSeparator, char timeSeparator) {
    const std::string d = Literal(dateSeparator);
    const std::string t = Literal(timeSeparator);
    out.dateSeparator = dateSeparator;
    out.timeSeparator = timeSeparator;
    out.timeScan = "%w" + t + "%w" + t + "%w";
    out.timePrint = "%02w" + t + "%02w" + t + "%02w";
    out.dateScan = "%w" + d + "%w" + d + "%w";
    out.datePrint = "%02w" + d + "%02w" + d + "%04w";
    out.stampScan = out.dateScan + ' ' + out.timeScan;
    out.stampPrint = out.datePrint + ' ' + out.timePrint;
}

}  // namespace

std::int32_t ReadDigits(std::string_view pattern, std::size_t& index) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    while (index < pattern.size() && IsDigit(pattern[index])) {
        value = value * 10 + (pattern[index] - '0');
        if (value > kMax) value = kMax;
        ++index;
    }
    return static_cast<std::int32_t>(value);
}

const SubPatterns& SubPatternsInForce() {
    SubPatternStore& store = Store();
    if (!store.built) {
        // Reading the settings for the first time may itself rebuild the
        // sub-patterns through SetRegional; building again gives the same.
        const RegionalSettings& settings = Regional();
        Build(store.patterns, settings.dateSeparator, settings.timeSeparator);
        store.built = true;
    }
    return store.patterns;
}

}  // namespace pattern

void RebuildSubPatterns(char dateSeparator, char timeSeparator) {
    pattern::SubPatternStore& store = pattern::Store();
    pattern::Build(store.patterns, dateSeparator, timeSeparator);
    store.built = true;
}

}  // namespace vireo
