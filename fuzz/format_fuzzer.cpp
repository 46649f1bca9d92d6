// FormatPattern / AppendPattern with a fuzzed pattern and values, and the
// formatter and scanner as a pair.
// Properties:
// - a pattern without '%' formats as itself; AppendPattern leaves the
//   accumulator in the result and keeps what the accumulator held before;
// - texts without ',', CR and LF appended as "%P" fields come back unchanged,
//   in order, from a ScanFrom "%P" walk, when none is empty (an empty text
//   appends nothing to an empty accumulator, and an empty last field leaves
//   only a comma at the end, which a walk does not read: import entries
//   always hold "||", so they are never empty);
// - what "%j" (stamps from one day on), "%d", "%t" (up to 65535 hours), "%i"
//   and '"' (a text without line breaks holding at most one kind of quote)
//   print, the scanner's directive of the same letter reads back.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "scan/PScan.h"

namespace {

/// A width or precision of more than five digits would only ask for a huge
/// text; the program's patterns are constants with small widths.
bool HasHugeWidth(std::string_view pattern) {
    std::size_t run = 0;
    for (char c : pattern) {
        run = (c >= '0' && c <= '9') ? run + 1 : 0;
        if (run > 5) return true;
    }
    return false;
}

vireo::FormatArg MakeArgument(FuzzedDataProvider& data, std::vector<std::string>& texts, bool smallNumbers) {
    switch (data.ConsumeIntegralInRange(0, 4)) {
        case 0:
            return smallNumbers ? data.ConsumeIntegralInRange<std::int32_t>(-100000, 100000)
                                : data.ConsumeIntegral<std::int32_t>();
        case 1:
            return static_cast<char>(data.ConsumeIntegral<std::uint8_t>());
        case 2:
            return data.ConsumeBool();
        case 3: {
            const double d = data.ConsumeFloatingPoint<double>();
            return smallNumbers && !(d > -1e5 && d < 1e5) ? 0.0 : d;
        }
        default:
            texts.push_back(data.ConsumeRandomLengthString(32));
            return std::string_view(texts.back());
    }
}

void CheckFieldList(FuzzedDataProvider& data) {
    std::vector<std::string> texts;
    const std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t k = 0; k < count; ++k) {
        std::string text = data.ConsumeRandomLengthString(24);
        std::erase_if(text, [](char c) { return c == ',' || c == '\r' || c == '\n'; });
        if (text.empty()) text = "x";
        texts.push_back(text);
    }
    std::string accumulator, result;
    for (const std::string& text : texts) vireo::AppendPattern(accumulator, "%P", {std::string_view(text)}, result);
    FUZZ_CHECK(result == accumulator);
    std::vector<std::string> back;
    std::string field;
    for (std::size_t position = 1; position <= accumulator.size();) {
        const std::size_t before = position;
        vireo::ScanFrom(accumulator, position, "%P", {&field});
        FUZZ_CHECK(position > before);
        back.push_back(field);
    }
    FUZZ_CHECK(back == texts);
}

void CheckRoundTrips(FuzzedDataProvider& data) {
    const auto stamp = data.ConsumeIntegralInRange<std::int32_t>(86400, 2147483647);
    std::int32_t scanned = -1;
    FUZZ_CHECK(vireo::Scan(vireo::FormatPattern("%j", {stamp}), "%j", {&scanned}));
    FUZZ_CHECK(scanned == stamp);

    const auto day = data.ConsumeIntegral<std::uint16_t>();
    std::uint16_t dayBack = 1;
    const bool dayRead = vireo::Scan(vireo::FormatPattern("%d", {std::int32_t{day}}), "%d", {&dayBack});
    FUZZ_CHECK(dayRead && dayBack == day);

    const auto seconds = data.ConsumeIntegralInRange<std::int32_t>(-(65536 * 3600 - 1), 65536 * 3600 - 1);
    std::int32_t secondsBack = 0;
    const bool timeRead = vireo::Scan(vireo::FormatPattern("%t", {seconds}), "%t", {&secondsBack});
    FUZZ_CHECK(timeRead && secondsBack == seconds);

    const auto integer = data.ConsumeIntegral<std::int32_t>();
    std::int32_t integerBack = 0;
    FUZZ_CHECK(vireo::Scan(vireo::FormatPattern("%i", {integer}), "%i", {&integerBack}) && integerBack == integer);

    std::string text = data.ConsumeRandomLengthString(24);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    const bool bothQuotes = text.find('"') != std::string::npos && text.find('\'') != std::string::npos;
    if (!bothQuotes) {
        std::string textBack;
        vireo::Scan(vireo::FormatPattern("%\"", {std::string_view(text)}), "%\"", {&textBack});
        FUZZ_CHECK(textBack == text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string pattern = data.ConsumeRandomLengthString(64);
    if (!HasHugeWidth(pattern)) {
        const bool smallNumbers = pattern.find('*') != std::string::npos;
        std::vector<std::string> texts;
        texts.reserve(8);  // the views below point into it
        std::vector<vireo::FormatArg> a;
        for (int k = 0; k < 8; ++k) a.push_back(MakeArgument(data, texts, smallNumbers));
        const std::string formatted = vireo::FormatPattern(pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]});
        if (pattern.find('%') == std::string::npos) FUZZ_CHECK(formatted == pattern);

        std::string accumulator = "x", result;
        vireo::AppendPattern(accumulator, pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]}, result);
        FUZZ_CHECK(result == accumulator);
        FUZZ_CHECK(accumulator.size() >= 1 && accumulator[0] == 'x');
    }
    CheckFieldList(data);
    CheckRoundTrips(data);
    return 0;
}
