// What the log file reading does when the file misbehaves: it vanishes, turns
// unreadable, shrinks or grows while it is read, is 2 GiB large, is a pipe
// (refused), or holds hostile lines. Every case ends with the lines that are there
// read, a clear error naming the file, and memory that stays flat.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogRecord.h"
#include "logfile/SensorDiscovery.h"
#include "support/FaultInjection.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

using namespace std::string_literals;

constexpr const char* kRecords = "TEMP,06/15/2005,12:30:00,21.5,G\r\nBATT,06/15/2005,12:30:00,13.2,G\r\n";
const std::vector<std::string> kRecordNames{"BATT", "TEMP"};

constexpr std::uint64_t kTwoGiB = std::uint64_t{2} << 30;
constexpr std::uint64_t kManyLinesBytes = std::uint64_t{256} << 20;
/// How much the peak resident memory may grow while a 2 GiB file is read:
/// the read buffer, at most one gathered line and the allocator's slack.
constexpr std::int64_t kFlatMemoryKiB = 96 * 1024;

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const LogFileError& error) {
        return error.what();
    }
    return "(no error)";
}

std::vector<std::string> ReadAll(LogLineReader& reader) {
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.ReadLine(line)) lines.emplace_back(line);
    return lines;
}

TEST(FaultLogFile, FileGoneOrFolderAfterDiscoveryGivesTheSystemsWords) {
    testing::TempDir folder;
    const std::string path = folder.Write("data.log", kRecords);
    ASSERT_EQ(ReadSensorNames(path, false), kRecordNames);

    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(ErrorOf([&] { ReadSensorNames(path, false); }), path + ": No such file or directory");

    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    EXPECT_EQ(ErrorOf([&] { ReadSensorNames(path, false); }), path + ": Is a directory");
}

TEST(FaultLogFile, FileWithoutReadPermissionGivesTheSystemsWords) {
    // Root reads any file, so the reading runs in a child that has become an
    // ordinary user.
    testing::TempDir folder;
    const std::string path = folder.Write("data.log", kRecords);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EXIT(
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
            std::fprintf(stderr, "[%s]\n", ErrorOf([&] { ReadSensorNames(path, false); }).c_str());
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0), "\\[" + path + ": Permission denied\\]");
}

TEST(FaultLogFile, FileRemovedWhileReadIsReadToItsEnd) {
    testing::TempDir folder;
    std::string bytes;
    for (int i = 0; i < 200; ++i) bytes += kRecords;
    const std::string path = folder.Write("data.log", bytes);
    LogLineReader reader(path, 64);  // a small buffer: most lines are read after the removal
    std::string_view line;
    ASSERT_TRUE(reader.ReadLine(line));
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(ReadAll(reader).size(), 399u);
    EXPECT_EQ(reader.BytesConsumed(), bytes.size());
}

TEST(FaultLogFile, FileThatShrinksOrGrowsWhileReadIsReadToItsNewEnd) {
    testing::TempDir folder;
    const std::string line = "TEMP,06/15/2005,12:30:00,21.5,G";
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes += line + "\r\n";
    const std::string path = folder.Write("data.log", bytes);
    std::string_view text;

    {
        SCOPED_TRACE("shrinks to 10 lines and a half");
        LogLineReader reader(path, 64);
        ASSERT_TRUE(reader.ReadLine(text));
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(10 * (line.size() + 2) + 10)), 0);
        std::vector<std::string> rest = ReadAll(reader);
        // What was buffered before the cut is still read; the last line is what
        // is left of a cut line, and nothing is read past the new end.
        ASSERT_FALSE(rest.empty());
        EXPECT_LE(rest.size(), 10u);
        EXPECT_EQ(rest.back(), line.substr(0, 10));
        EXPECT_EQ(reader.BytesConsumed(), 10 * (line.size() + 2) + 10);
        EXPECT_EQ(reader.FileSize(), bytes.size()) << "the size when the file was opened";
    }
    {
        SCOPED_TRACE("grows by 3 lines");
        testing::WriteFile(path, bytes);
        LogLineReader reader(path, 64);
        ASSERT_TRUE(reader.ReadLine(text));
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        const std::string more = "BATT,06/15/2005,12:30:00,13.2,G\r\n";
        for (int i = 0; i < 3; ++i) ASSERT_EQ(::write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
        ::close(fd);
        std::vector<std::string> rest = ReadAll(reader);
        ASSERT_EQ(rest.size(), 102u);
        EXPECT_EQ(rest.back(), "BATT,06/15/2005,12:30:00,13.2,G");
        EXPECT_EQ(reader.BytesConsumed(), bytes.size() + 3 * more.size());
    }
}

TEST(FaultLogFile, SparseFileOf2GiBIsReadWithFlatMemory) {
    // 2 GiB of NUL bytes without a line end, then records: the first line is
    // 2 GiB long. Its text is not kept; the records after it are read.
    testing::SmallDisk disk;  // a tmpfs gives the NUL bytes of a hole fast; ext4 here takes seconds
    const std::string path = disk.File("huge.log");
    testing::WriteSparseFile(path, kTwoGiB, "\n"s + kRecords);

    testing::ResetPeakMemory();
    const std::int64_t before = testing::PeakMemoryKiB();
    LogLineReader reader(path);
    std::string_view line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_TRUE(line.empty());
    EXPECT_TRUE(reader.LineCut());
    EXPECT_EQ(reader.BytesConsumed(), kTwoGiB + 1);
    EXPECT_EQ(ReadAll(reader),
              (std::vector<std::string>{"TEMP,06/15/2005,12:30:00,21.5,G", "BATT,06/15/2005,12:30:00,13.2,G"}));
    EXPECT_FALSE(reader.LineCut());
    EXPECT_EQ(reader.BytesConsumed(), reader.FileSize());
    EXPECT_LT(testing::PeakMemoryKiB() - before, kFlatMemoryKiB);

    testing::ResetPeakMemory();
    EXPECT_EQ(ReadSensorNames(path, false), kRecordNames);
    EXPECT_LT(testing::PeakMemoryKiB() - before, kFlatMemoryKiB);
}

TEST(FaultLogFile, FileOfManyShortLinesIsReadWithFlatMemoryAndAStreamIsRefused) {
    // 256 MiB of 4 KiB comment lines, then the records: more lines than the
    // memory bound would hold were they kept.
    testing::TempDir folder;
    const std::string comment = "\"" + std::string(4093, 'c') + "\r\n";
    const std::string path = folder.File("many.log");
    testing::WriteRepeatedLines(path, comment, kManyLinesBytes, kRecords);
    testing::ResetPeakMemory();
    const std::int64_t before = testing::PeakMemoryKiB();
    EXPECT_EQ(ReadSensorNames(path, false), kRecordNames);
    EXPECT_LT(testing::PeakMemoryKiB() - before, kFlatMemoryKiB);

    // The same lines through a FIFO, as a program streaming a log would send
    // them: no log file, refused at once, nothing taken from the pipe.
    testing::StreamedFile stream(folder.File("stream.log"), [&](std::string& chunk) {
        chunk = comment;
        return true;
    });
    EXPECT_EQ(ErrorOf([&] { ReadSensorNames(stream.Path(), false); }), stream.Path() + ": not a regular file");
    EXPECT_EQ(stream.BytesWritten(), 0u);
}

TEST(FaultLogFile, LineLongerThanTheLimitReadsAsEmptyAndIsMarkedCut) {
    testing::TempDir folder;
    const std::string path = folder.Write(
        "long.log", std::string(100, 'x') + "\r" + std::string(50, 'y') + "\nshort\n" + std::string(40, 'z') + "\n");
    for (std::size_t bufferSize : {8u, 64u, 1u << 20}) {
        SCOPED_TRACE("buffer " + std::to_string(bufferSize));
        LogLineReader reader(path, bufferSize, 40);
        std::string_view line;
        ASSERT_TRUE(reader.ReadLine(line));
        EXPECT_EQ(line, "");
        EXPECT_TRUE(reader.LineCut());
        ASSERT_TRUE(reader.ReadLine(line)) << "a lone carriage return ends a line";
        EXPECT_EQ(line, "");
        EXPECT_TRUE(reader.LineCut());
        ASSERT_TRUE(reader.ReadLine(line));
        EXPECT_EQ(line, "short");
        EXPECT_FALSE(reader.LineCut());
        ASSERT_TRUE(reader.ReadLine(line));
        EXPECT_EQ(line, std::string(40, 'z')) << "a text of exactly the limit is kept";
        EXPECT_FALSE(reader.LineCut());
        EXPECT_FALSE(reader.ReadLine(line));
        EXPECT_EQ(reader.LinesRead(), 4u);
        EXPECT_EQ(reader.BytesConsumed(), 199u);
    }
}

// Hostile lines ---------------------------------------------------------------

const std::string kMillionCommas(1'000'000, ',');
const std::string kMillionBlanks(1'000'000, ' ');
const std::string kLongName(100'000, 'N');

struct HostileDiscoveryRow {
    const char* what;
    std::string line;
    std::vector<std::string> names;  // in list order, with TEMP of the good line after it
};

TEST(FaultLogFile, DiscoveryTakesHostileLinesAndGoesOn) {
    const std::vector<HostileDiscoveryRow> rows = {
        {"a million commas", kMillionCommas, {"TEMP"}},
        {"a record and a million commas", "BATT,06/15/2005,12:30:00,13.2,G" + kMillionCommas, {"BATT", "TEMP"}},
        {"a million blanks", kMillionBlanks, {"TEMP"}},
        {"NUL bytes in the name", "TE\0MP,06/15/2005,12:30:00,21.5,G"s, {"TE\0MP"s, "TEMP"}},
        {"a line of NUL bytes", std::string(1000, '\0'), {"TEMP"}},
        {"a name of 100,000 characters", kLongName + ",06/15/2005,12:30:00,21.5,G", {kLongName, "TEMP"}},
        // The first blank-separated line is the last line discovery reads.
        {"values a million blanks apart",
         "06/15/2005 12:30:00" + kMillionBlanks + "3.5" + kMillionBlanks + "4.5",
         {"0:1", "0:2"}},
    };
    testing::TempDir folder;
    for (const HostileDiscoveryRow& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path = folder.Write("hostile.log", row.line + "\r\nTEMP,06/15/2005,12:30:00,21.5,G\r\n");
        EXPECT_EQ(ReadSensorNames(path, false), row.names);
    }
}

struct WalkedValue {
    std::string name;
    double value;
};

/// Every numeric value of a multi-value line, walked to its end; `taken` is
/// the number of values taken, numeric or not.
std::vector<WalkedValue> NumbersOf(std::string_view line, std::size_t& taken) {
    LogRecord record;
    ValueCursor cursor;
    std::vector<WalkedValue> numbers;
    const LogLineKind kind = ClassifyLogLine(line);
    taken = 0;
    while (NextLogValue(kind, line, cursor, record)) {
        ++taken;
        if (record.IsNumber()) numbers.push_back({std::string(record.name), record.value});
        EXPECT_TRUE(record.HasTimeTag());
    }
    return numbers;
}

TEST(FaultLogFile, MillionFieldLinesAreWalkedToTheirLastValue) {
    std::size_t taken = 0;
    const std::string commas = "06/15/2005,12:30:00,ST01,1.5" + kMillionCommas + "2.5";
    ASSERT_EQ(ClassifyLogLine(commas), LogLineKind::DateTimeLabelValues);
    std::vector<WalkedValue> numbers = NumbersOf(commas, taken);
    EXPECT_EQ(taken, 1'000'001u);
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_EQ(numbers[0].name, "ST01:1");
    EXPECT_EQ(numbers[0].value, 1.5);
    EXPECT_EQ(numbers[1].name, "ST01:1000001");
    EXPECT_EQ(numbers[1].value, 2.5);

    const std::string blanks = "06/15/2005 12:30:00" + kMillionBlanks + "3.5" + kMillionBlanks + "4.5";
    ASSERT_EQ(ClassifyLogLine(blanks), LogLineKind::BlankSeparatedValues);
    numbers = NumbersOf(blanks, taken);
    EXPECT_EQ(taken, 2u) << "a run of blanks separates two values";
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_EQ(numbers[0].name, "0:1");
    EXPECT_EQ(numbers[0].value, 3.5);
    EXPECT_EQ(numbers[1].name, "0:2");
    EXPECT_EQ(numbers[1].value, 4.5);
}

struct HostileRecordRow {
    const char* what;
    std::string line;
    std::string name;
    bool isNumber;
    bool hasTimeTag;
    double value;
};

TEST(FaultLogFile, NulBytesNeverTurnIntoAnotherValueOrName) {
    const std::vector<HostileRecordRow> rows = {
        {"NUL inside the value", "TEMP,06/15/2005,12:30:00,21\0.5,G"s, "TEMP", false, true, 0},
        {"NUL after the value", "TEMP,06/15/2005,12:30:00,21.5\0,G"s, "TEMP", false, true, 0},
        {"NUL inside the date", "TEMP,06/15/2005\0,12:30:00,21.5,G"s, "TEMP", true, false, 21.5},
        {"NUL inside the name", "TE\0MP,06/15/2005,12:30:00,21.5,G"s, "TE\0MP"s, true, true, 21.5},
        {"a million commas after the record", "TEMP,06/15/2005,12:30:00,21.5,G" + kMillionCommas, "TEMP", true, true,
         21.5},
        {"a name of 100,000 characters", kLongName + ",06/15/2005,12:30:00,21.5,G", kLongName, true, true, 21.5},
    };
    for (const HostileRecordRow& row : rows) {
        SCOPED_TRACE(row.what);
        const LogLineKind kind = ClassifyLogLine(row.line);
        ASSERT_EQ(kind, LogLineKind::NameDateTime);
        LogRecord record;
        ParseLogRecord(kind, row.line, record);
        EXPECT_EQ(record.IsNumber(), row.isNumber);
        EXPECT_EQ(record.name, row.name);
        EXPECT_EQ(record.HasTimeTag(), row.hasTimeTag);
        if (row.isNumber) {
            EXPECT_EQ(record.value, row.value);
        }
    }
}

}  // namespace
}  // namespace vireo
