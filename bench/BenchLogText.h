#pragma once

// The pieces of generated log text that the benchmarks share: a fixed-seed
// random sequence, numbers, values with two decimals, dates and times.

#include <charconv>
#include <cstdint>
#include <string>

namespace vireo::bench {

class Random {
public:
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint64_t state_ = 20050615;
};

inline void AppendNumber(std::string& text, long long n, int width = 0) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    for (auto length = end - digits; length < width; ++length) text.push_back('0');
    text.append(digits, end);
}

inline void AppendValue(std::string& text, Random& random) {
    const long long hundredths = static_cast<long long>(random.Below(200000)) - 50000;
    if (hundredths < 0) text.push_back('-');
    const long long magnitude = hundredths < 0 ? -hundredths : hundredths;
    AppendNumber(text, magnitude / 100);
    text.push_back('.');
    AppendNumber(text, magnitude % 100, 2);
}

/// "MM/DD/YYYY" of minute `minute` after 2005-01-01 00:00.
inline void AppendDate(std::string& text, long long minute) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long long day = minute / 1440;
    int year = 2005;
    for (;;) {
        const int length = (year % 4 == 0) ? 366 : 365;
        if (day < length) break;
        day -= length;
        ++year;
    }
    int month = 0;
    for (;; ++month) {
        const int length = kDays[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
        if (day < length) break;
        day -= length;
    }
    AppendNumber(text, month + 1, 2);
    text.push_back('/');
    AppendNumber(text, day + 1, 2);
    text.push_back('/');
    AppendNumber(text, year, 4);
}

inline void AppendTime(std::string& text, long long minute) {
    AppendNumber(text, minute % 1440 / 60, 2);
    text.push_back(':');
    AppendNumber(text, minute % 60, 2);
    text.append(":00");
}

}  // namespace vireo::bench
