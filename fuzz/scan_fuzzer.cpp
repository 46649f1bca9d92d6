// Scan / ScanFrom with a fuzzed pattern, text and start position.
// Properties:
// - the position never moves backwards: from a start p in 1..length+1 the
//   position reached is in p..length+1; a start below 1 counts as 1, one beyond
//   length+1 comes back as length+1;
// - every text a directive stores is a piece of the scanned text;
// - Scan is ScanFrom from position 1 (same result, same values);
// - walking a text without line breaks with "%P" gives the comma fields: joined
//   with ',' they are the text (less one comma at its very end).

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "scan/PScan.h"

namespace {

constexpr std::size_t kSlots = 10;

/// Storage for the variables one scan writes into.
struct Variables {
    std::array<std::string, kSlots> texts;
    std::array<char, kSlots> characters{};
    std::array<std::uint8_t, kSlots> booleans{};
    std::array<std::uint16_t, kSlots> words{};
    std::array<std::int32_t, kSlots> integers{};
    std::array<float, kSlots> singles{};
    std::array<double, kSlots> doubles{};

    bool operator==(const Variables& other) const {
        for (std::size_t k = 0; k < kSlots; ++k) {
            if (texts[k] != other.texts[k] || characters[k] != other.characters[k] ||
                booleans[k] != other.booleans[k] || words[k] != other.words[k] || integers[k] != other.integers[k] ||
                std::memcmp(&singles[k], &other.singles[k], sizeof(float)) != 0 ||
                std::memcmp(&doubles[k], &other.doubles[k], sizeof(double)) != 0)
                return false;
        }
        return true;
    }
};

/// The argument of each slot, chosen from the directives of the pattern so
/// that most directives find the type they want; slot k points into `v` at k.
std::array<vireo::ScanArg, kSlots> ArgumentsFor(std::string_view pattern, Variables& v, FuzzedDataProvider& data) {
    std::array<vireo::ScanArg, kSlots> args;
    for (std::size_t k = 0; k < kSlots; ++k) args[k] = &v.texts[k];
    std::size_t slot = 0;
    const auto countArgument = [&] {
        if (slot < kSlots) args[slot++] = data.ConsumeIntegralInRange<std::int32_t>(-4, 40);
    };
    for (std::size_t i = 0; i < pattern.size() && slot < kSlots; ++i) {
        if (pattern[i] != '%') continue;
        ++i;
        if (i < pattern.size() && pattern[i] == '%') continue;
        if (i < pattern.size() && pattern[i] == '*') countArgument(), ++i;
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++i;
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            if (i < pattern.size() && pattern[i] == '*') countArgument(), ++i;
            while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++i;
        }
        if (i >= pattern.size() || slot >= kSlots) break;
        const char c = static_cast<char>(pattern[i] >= 'a' && pattern[i] <= 'z' ? pattern[i] - 32 : pattern[i]);
        const std::size_t k = slot;
        switch (c) {
            case 'P':
            case 'S':
            case '"':
            case 'V':
                args[slot++] = &v.texts[k];
                break;
            case 'C':
                args[slot++] = &v.characters[k];
                break;
            case 'B':
                args[slot++] = &v.booleans[k];
                break;
            case 'W':
            case 'D':
                args[slot++] = &v.words[k];
                break;
            case 'I':
            case 'L':
            case 'M':
            case 'J':
            case 'T':
            case 'Q':
                args[slot++] = &v.integers[k];
                break;
            case 'E':
            case 'R':
                args[slot++] = &v.singles[k];
                break;
            case 'X':
                args[slot++] = &v.doubles[k];
                break;
            default:
                break;
        }
    }
    return args;
}

bool ScanWith(std::string_view text, std::size_t* position, std::string_view pattern,
              const std::array<vireo::ScanArg, kSlots>& a) {
    if (position == nullptr)
        return vireo::Scan(text, pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]});
    return vireo::ScanFrom(text, *position, pattern, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]});
}

/// The same argument list pointing into another set of variables.
std::array<vireo::ScanArg, kSlots> Rebase(const std::array<vireo::ScanArg, kSlots>& args, const Variables& from,
                                          Variables& to) {
    std::array<vireo::ScanArg, kSlots> rebased = args;
    const auto move = [&](auto* pointer, const auto& fromArray, auto& toArray) {
        const auto index = static_cast<std::size_t>(pointer - fromArray.data());
        return &toArray[index];
    };
    for (auto& arg : rebased) {
        std::visit(
            [&](auto value) {
                using T = decltype(value);
                if constexpr (std::is_same_v<T, std::string*>)
                    arg = move(value, from.texts, to.texts);
                else if constexpr (std::is_same_v<T, char*>)
                    arg = move(value, from.characters, to.characters);
                else if constexpr (std::is_same_v<T, std::uint8_t*>)
                    arg = move(value, from.booleans, to.booleans);
                else if constexpr (std::is_same_v<T, std::uint16_t*>)
                    arg = move(value, from.words, to.words);
                else if constexpr (std::is_same_v<T, std::int32_t*>)
                    arg = move(value, from.integers, to.integers);
                else if constexpr (std::is_same_v<T, float*>)
                    arg = move(value, from.singles, to.singles);
                else if constexpr (std::is_same_v<T, double*>)
                    arg = move(value, from.doubles, to.doubles);
            },
            arg);
    }
    return rebased;
}

void CheckPlainWalk(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos) return;
    std::string joined;
    std::string field;
    std::size_t position = 1;
    std::size_t steps = 0;
    while (position <= text.size()) {
        const std::size_t before = position;
        vireo::ScanFrom(text, position, "%P", {&field});
        FUZZ_CHECK(position > before);  // without line breaks every step moves on
        if (steps++ > 0) joined += ',';
        joined += field;
    }
    std::string_view expected = text;
    if (!expected.empty() && expected.back() == ',') expected.remove_suffix(1);
    FUZZ_CHECK(joined == expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::size_t start = data.ConsumeIntegralInRange<std::size_t>(0, 80);
    const std::int32_t base = data.ConsumeIntegral<std::int32_t>();
    const std::string pattern = data.ConsumeRandomLengthString(64);
    Variables v;
    v.integers.fill(base);  // the base of a Q directive
    const auto args = ArgumentsFor(pattern, v, data);
    const std::string text = data.ConsumeRemainingBytesAsString();
    Variables initial = v;

    std::size_t position = start;
    ScanWith(text, &position, pattern, args);
    const std::size_t first = start < 1 ? 1 : start;
    if (first <= text.size() + 1) {
        FUZZ_CHECK(position >= first);
        FUZZ_CHECK(position <= text.size() + 1);
    } else {
        FUZZ_CHECK(position == text.size() + 1);
    }
    for (const std::string& stored : v.texts) FUZZ_CHECK(stored.empty() || text.find(stored) != std::string::npos);

    // Scan from the start equals ScanFrom from position 1, values included.
    Variables a = initial, b = initial;
    std::size_t one = 1;
    const bool scanResult = ScanWith(text, nullptr, pattern, Rebase(args, v, a));
    const bool fromResult = ScanWith(text, &one, pattern, Rebase(args, v, b));
    FUZZ_CHECK(scanResult == fromResult);
    FUZZ_CHECK(a == b);

    CheckPlainWalk(text);
    return 0;
}
