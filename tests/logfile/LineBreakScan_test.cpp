#include "logfile/LineBreakScan.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace vireo::logfile_detail {
namespace {

// The 16-byte scan against the plain one, for every start in buffers of every
// length up to a few blocks, the buffer ending where its allocation ends (so a
// read past it is caught by the address sanitizer).
TEST(FirstLineBreak, FindsWhatThePlainScanFinds) {
    const char alphabet[] = {'a', '\r', '\n', ' ', ',', '\x1a', '\x80', '\0', '\x8d', '\x0a'};
    std::mt19937 random(20051215);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<int> breakRate(0, 40);
    for (std::size_t length = 0; length <= 80; ++length) {
        for (int round = 0; round < 20; ++round) {
            auto buffer = std::make_unique<char[]>(length == 0 ? 1 : length);
            const int rate = breakRate(random);
            for (std::size_t k = 0; k < length; ++k) {
                // Mostly text, some line breaks: both long runs and dense breaks.
                buffer[k] = std::uniform_int_distribution<int>(0, 40)(random) < rate ? alphabet[pick(random)] : 'x';
            }
            for (std::size_t from = 0; from <= length; ++from) {
                ASSERT_EQ(FirstLineBreak(buffer.get(), from, length), FirstLineBreakPlain(buffer.get(), from, length))
                    << "length " << length << ", from " << from << ", text [" << std::string(buffer.get(), length)
                    << "]";
            }
        }
    }
}

struct BreakRow {
    std::string text;
    std::size_t from;
    std::size_t found;
};

TEST(FirstLineBreak, Rows) {
    const BreakRow rows[] = {
        {"", 0, 0},
        {"abc", 0, 3},
        {"abc\n", 0, 3},
        {"a\rb\r\nc\n", 2, 3},
        {std::string(31, 'x') + "\n", 0, 31},
        {std::string(31, 'x') + "\r" + std::string(20, 'y'), 5, 31},
        {std::string(40, 'x') + "\n", 35, 40},  // the last block overlaps the one before
        {"\n" + std::string(40, 'x'), 1, 41},
    };
    for (const BreakRow& row : rows) {
        SCOPED_TRACE("[" + row.text + "] from " + std::to_string(row.from));
        EXPECT_EQ(FirstLineBreak(row.text.data(), row.from, row.text.size()), row.found);
        EXPECT_EQ(FirstLineBreakPlain(row.text.data(), row.from, row.text.size()), row.found);
    }
}

}  // namespace
}  // namespace vireo::logfile_detail
