#include "logfile/LogLineReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace vireo {
namespace {

using namespace std::string_literals;

std::vector<std::string> ReadAll(LogLineReader& reader) {
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.ReadLine(line)) lines.emplace_back(line);
    return lines;
}

struct ReaderRow {
    const char* what;
    std::string bytes;
    std::vector<std::string> lines;
};

const std::string kLong(100000, 'x');

const std::vector<ReaderRow> kReaderRows = {
    {"empty file", "", {}},
    {"last line without line end", "a", {"a"}},
    {"line feed ends a line", "a\nb\n", {"a", "b"}},
    {"CR LF ends a line", "a\r\nb\r\n", {"a", "b"}},
    {"a lone CR ends a line", "a\rb\n", {"a", "b"}},
    {"lone CRs end lines", "a\rb\rc\nd", {"a", "b", "c", "d"}},
    {"CR only line ends", "TEMP,1\rTEMP,2\rTEMP,3\r", {"TEMP,1", "TEMP,2", "TEMP,3"}},
    {"CR only, last line without line end", "a\rb", {"a", "b"}},
    {"CR at the end of the file", "a\r", {"a"}},
    {"empty lines are lines", "\n\r\n\n", {"", "", ""}},
    {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
    {"CR CR LF is an empty line between", "a\r\r\nb", {"a", "", "b"}},
    {"every line end mixed", "a\rb\nc\r\nd\r\re\n\nf", {"a", "b", "c", "d", "", "e", "", "f"}},
    {"CR then control-Z", "a\r\x1a\nb", {"a"}},
    {"control-Z ends the text",
     "a\x1a"
     "b\nc\n",
     {"a"}},
    {"control-Z at a line start",
     "a\nb\r\n\x1a"
     "c\n",
     {"a", "b"}},
    {"control-Z alone", "\x1a", {}},
    {"bytes above 127 and NUL are kept",
     "\xe9t\xe9\xff\n"
     "a\0b\n"s,
     {"\xe9t\xe9\xff", "a\0b"s}},
    {"line longer than any buffer",
     kLong + "\n" + kLong + "\r" + std::string(5000, 'y') + "\nz",
     {kLong, kLong, std::string(5000, 'y'), "z"}},
    {"long lines with CR only line ends", kLong + "\r" + kLong + "\r\n" + kLong + "\r", {kLong, kLong, kLong}},
};

TEST(LogLineReader, SplitsLinesWithEveryBufferSize) {
    testing::TempDir folder;
    for (const ReaderRow& row : kReaderRows) {
        const std::string path = folder.Write("rows.log", row.bytes);
        for (std::size_t bufferSize : {1u, 2u, 3u, 5u, 64u, 1u << 20}) {
            SCOPED_TRACE(std::string(row.what) + ", buffer " + std::to_string(bufferSize));
            LogLineReader reader(path, bufferSize);
            EXPECT_EQ(ReadAll(reader), row.lines);
            std::string_view line;
            EXPECT_FALSE(reader.ReadLine(line)) << "stays at the end";

            const std::size_t textBytes = std::min(row.bytes.find('\x1a'), row.bytes.size());
            EXPECT_EQ(reader.BytesConsumed(), textBytes);
            std::size_t characters = 0;
            for (const std::string& l : row.lines) characters += l.size();
            EXPECT_EQ(reader.CharactersRead(), characters);
            EXPECT_EQ(reader.LinesRead(), row.lines.size());
            EXPECT_EQ(reader.FileSize(), row.bytes.size());
        }
    }
}

TEST(LogLineReader, ReportsProgressLineByLine) {
    testing::TempDir folder;
    LogLineReader reader(folder.Write("p.log", "abc\r\nde\nf"), 4);
    std::string_view line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(reader.BytesConsumed(), 5u);
    EXPECT_EQ(reader.CharactersRead(), 3u);
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(reader.BytesConsumed(), 8u);
    EXPECT_EQ(reader.CharactersRead(), 5u);
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "f");
    EXPECT_EQ(reader.BytesConsumed(), 9u);
}

TEST(LogLineReader, CarriageReturnLastInTheBufferAndItsLineFeedAreOneLineEnd) {
    // With a buffer of 4 the CR of "abc\r" is the last byte read, its LF the
    // first of the next read.
    testing::TempDir folder;
    LogLineReader reader(folder.Write("p.log", "abc\r\nde\r\rf"), 4);
    std::string_view line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "abc");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "de");
    EXPECT_EQ(reader.BytesConsumed(), 8u) << "the LF after abc's CR belongs to that line";
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "f");
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_EQ(reader.LinesRead(), 4u);
    EXPECT_EQ(reader.BytesConsumed(), 10u);
}

TEST(LogLineReader, MissingFileThrowsWithSystemMessageAndPath) {
    testing::TempDir folder;
    const std::string path = (folder.path() / "none.log").string();
    try {
        LogLineReader reader(path);
        FAIL() << "no error";
    } catch (const LogFileError& e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(e.systemMessage(), "No such file or directory");
        EXPECT_EQ(std::string(e.what()), path + ": No such file or directory");
    }
}

TEST(LogLineReader, AFolderOrAFifoIsRefusedWhenOpenedWithoutWaiting) {
    testing::TempDir folder;
    const std::string fifo = folder.File("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> rows[] = {
        {folder.path().string(), "Is a directory"},
        {fifo, "not a regular file"},  // no writer: an open that waited would never end
    };
    for (const auto& [path, why] : rows) {
        try {
            LogLineReader reader(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const LogFileError& e) {
            EXPECT_EQ(std::string(e.what()), path + ": " + why);
        }
    }
}

}  // namespace
}  // namespace vireo
