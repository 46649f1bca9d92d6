// vireo-import values: every value an import run would write from a log file if
// every sensor name were paired, in file order: name, time tag, value.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "cli/LogFileArgument.h"
#include "cli/ZoneOptions.h"
#include "logfile/LogNumber.h"
#include "logfile/LogValueReader.h"
#include "scan/Chronos.h"

namespace vireo::cli {
namespace {

constexpr const char* kName = "vireo-import values";

void PrintUsage(std::ostream& out) { out << "usage: " << kName << " LOGFILE\n"; }

void PrintHelp(std::ostream& out) {
    PrintUsage(out);
    out << "\n"
           "Reads the log file as an import run does and prints every value it would write\n"
           "if every sensor name were paired, in file order, one per line:\n"
           "  NAME<tab>YYYY-MM-DD HH:MM:SS<tab>VALUE\n"
           "Values that are not numbers (or too large for a double) and records without\n"
           "a real date and time are left out, as the import leaves them out.\n"
           "In a .PRN file, a value named by a column heading is printed with that name.\n"
           "Time tags are printed in the database's time base:\n\n"
        << kZoneHelp;
}

/// Copies a text; the short ones (names, time tags) without a call of memcpy.
void CopyText(char* to, std::string_view text) {
    const char* const from = text.data();
    const std::size_t size = text.size();
    // Two overlapping moves cover any size between one width and twice it.
    const auto overlapping = [&](auto word) {
        constexpr std::size_t width = sizeof word;
        decltype(word) head;
        decltype(word) tail;
        std::memcpy(&head, from, width);
        std::memcpy(&tail, from + size - width, width);
        std::memcpy(to, &head, width);
        std::memcpy(to + size - width, &tail, width);
    };
    if (size >= 16 && size <= 32) {
        struct Sixteen {
            char bytes[16];
        };
        overlapping(Sixteen{});
    } else if (size >= 8 && size < 16) {
        overlapping(std::uint64_t{});
    } else if (size >= 4 && size < 8) {
        overlapping(std::uint32_t{});
    } else if (size > 0 && size < 4) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    } else if (size > 32) {
        std::memcpy(to, from, size);
    }
}

/// Collects output and hands it to the stream in large pieces; what was
/// collected is handed over also when reading ends with an error.
class OutputBuffer {
public:
    explicit OutputBuffer(std::ostream& out) : out_(out), buffer_(std::make_unique_for_overwrite<char[]>(kSize)) {}
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer() {
        try {
            Flush();
        } catch (...) {
        }
    }

    void Append(std::string_view piece) {
        if (piece.size() > kSize - used_) {
            Flush();
            if (piece.size() > kSize) {
                out_.write(piece.data(), static_cast<std::streamsize>(piece.size()));
                return;
            }
        }
        CopyText(buffer_.get() + used_, piece);
        used_ += piece.size();
    }
    void Append(char c) {
        if (used_ == kSize) Flush();
        buffer_[used_++] = c;
    }
    /// Room for `size` characters; Commit gives the end of what was written there.
    char* Room(std::size_t size) {
        if (size > kSize - used_) Flush();
        return buffer_.get() + used_;
    }
    void Commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

    void Flush() {
        out_.write(buffer_.get(), static_cast<std::streamsize>(used_));
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = 1 << 16;
    std::ostream& out_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

/// Writes "YYYY-MM-DD HH:MM:SS" of a stamp. The values of a file come in runs
/// of one time, so the text of the last stamp is kept.
class TimeTagText {
public:
    std::string_view Of(SecondStamp stamp) {
        if (text_.empty() || DayOf(stamp) != DayOf(stamp_)) {
            const CalendarStamp parts = SplitStamp(stamp);
            text_.clear();
            AppendPadded(text_, parts.year, 4);
            text_.push_back('-');
            AppendPadded(text_, parts.month, 2);
            text_.push_back('-');
            AppendPadded(text_, parts.day, 2);
            text_.push_back(' ');
            AppendPadded(text_, parts.hours, 2);
            text_.push_back(':');
            AppendPadded(text_, parts.minutes, 2);
            text_.push_back(':');
            AppendPadded(text_, parts.seconds, 2);
        } else if (stamp != stamp_) {
            // The same day: only the time, the last 8 characters, changes.
            const std::int64_t rest = static_cast<std::int64_t>(stamp) - DayOf(stamp) * kSecondsPerDay;
            char* const time = text_.data() + text_.size() - 8;
            const auto two = [](char* at, std::int64_t number) {
                at[0] = static_cast<char>('0' + number / 10);
                at[1] = static_cast<char>('0' + number % 10);
            };
            two(time, rest / 3600);
            two(time + 3, rest % 3600 / 60);
            two(time + 6, rest % 60);
        }
        stamp_ = stamp;
        return text_;
    }

private:
    static constexpr std::int64_t kSecondsPerDay = 86400;

    /// The day of a stamp, counted as SplitStamp counts it (rounded down).
    static std::int64_t DayOf(SecondStamp stamp) {
        const std::int64_t seconds = stamp;
        return seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
    }

    /// The number in decimal digits, with zeros in front up to `width`.
    static void AppendPadded(std::string& text, int number, int width) {
        if (number >= 0 && number < 10000) {  // the usual case, without to_chars
            char digits[4] = {static_cast<char>('0' + number / 1000), static_cast<char>('0' + number / 100 % 10),
                              static_cast<char>('0' + number / 10 % 10), static_cast<char>('0' + number % 10)};
            const int length = number >= 1000 ? 4 : number >= 100 ? 3 : number >= 10 ? 2 : 1;
            const int shown = length > width ? length : width;
            text.append(digits + 4 - shown, static_cast<std::size_t>(shown));
            return;
        }
        char digits[16];
        const auto written = std::to_chars(digits, digits + sizeof digits, number);
        for (auto length = written.ptr - digits; length < width; ++length) text.push_back('0');
        text.append(digits, written.ptr);
    }

    SecondStamp stamp_ = 0;
    std::string text_;
};

class ValuePrinter {
public:
    explicit ValuePrinter(std::ostream& out) : output_(out) {}

    void Print(const LogRecord& record) {
        output_.Append(record.headingName.empty() ? record.name : record.headingName);
        output_.Append('\t');
        output_.Append(timeTag_.Of(record.stamp));
        output_.Append('\t');
        char* const room = output_.Room(kLogNumberTextSize + 1);
        char* const end = WriteLogNumber(room, record.valueText, record.value);
        *end = '\n';
        output_.Commit(end + 1);
    }

private:
    OutputBuffer output_;
    TimeTagText timeTag_;
};

/// Prints every value with a number and a time tag, as the import writes them.
class PrintedValues : public LogValueVisitor {
public:
    explicit PrintedValues(std::ostream& out) : printer_(out) {}

    bool Value(const LogRecord& value, const LogLine&) {
        if (value.IsNumber() && value.HasTimeTag()) printer_.Print(value);
        return true;
    }

private:
    ValuePrinter printer_;
};

void PrintValues(const std::string& path, const TimeZones& zones, std::ostream& out) {
    LogValueReader reader(path);
    reader.SetTimeZones(zones);
    PrintedValues printed(out);
    reader.Read(printed);
}

int RunValues(CommandContext& context) {
    const std::optional<TimeZones> zones = TakeZoneOptions(context.args, kName, context.err);
    if (!zones) return 2;
    std::string path;
    if (int status = TakeLogFileArgument(context, kName, PrintUsage, PrintHelp, path); status >= 0) return status;
    // A file that cannot be read throws LogFileError; the dispatcher prints its text.
    PrintValues(path, *zones, context.out);
    return 0;
}

const Registrar reg{"values", "print every value an import would write from a log file", &RunValues};

}  // namespace
}  // namespace vireo::cli
