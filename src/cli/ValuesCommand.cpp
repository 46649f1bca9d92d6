// vireo-import values: every value an import run would write from a log file if
// every sensor name were paired, in file order: name, time tag, value.

#include <charconv>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogRecord.h"
#include "logfile/SensorDiscovery.h"
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
           "Values that are not numbers and records without a usable date are left out.\n"
           "In a .PRN file, a value named by a column heading is printed with that name.\n";
}

/// Collects output and hands it to the stream in large pieces; what was
/// collected is handed over also when reading ends with an error.
class OutputBuffer {
public:
    explicit OutputBuffer(std::ostream& out) : out_(out) { text_.reserve(kFlushAt + 4096); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer() {
        try {
            Flush();
        } catch (...) {
        }
    }

    std::string& Text() { return text_; }
    void LineDone() {
        if (text_.size() >= kFlushAt) Flush();
    }
    void Flush() {
        out_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        text_.clear();
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    std::ostream& out_;
    std::string text_;
};

/// Writes "YYYY-MM-DD HH:MM:SS" of a stamp. The values of a file come in runs
/// of one time, so the text of the last stamp is kept.
class TimeTagText {
public:
    void Append(std::string& text, SecondStamp stamp) {
        if (stamp != stamp_ || text_.empty()) {
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
            stamp_ = stamp;
        }
        text.append(text_);
    }

private:
    static void AppendPadded(std::string& text, int number, int width) {
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
        std::string& text = output_.Text();
        text.append(record.headingName.empty() ? record.name : record.headingName);
        text.push_back('\t');
        timeTag_.Append(text, record.stamp);
        text.push_back('\t');
        char digits[32];
        const auto written = std::to_chars(digits, digits + sizeof digits, record.value);
        text.append(digits, written.ptr);
        text.push_back('\n');
        output_.LineDone();
    }

private:
    OutputBuffer output_;
    TimeTagText timeTag_;
};

void PrintValues(const std::string& path, std::ostream& out) {
    LogLineReader reader(path);
    const bool prnFile = IsPrnFile(path);
    ValuePrinter printer(out);
    std::vector<std::string> headings;
    LogRecord record;
    ValueCursor cursor;
    std::string_view line;
    while (reader.ReadLine(line)) {
        if (line.empty()) continue;
        if (IsCommentLine(line)) {
            if (prnFile) {
                if (auto names = ParseColumnHeadings(line)) {
                    headings = std::move(*names);
                    cursor.headings = &headings;
                }
            }
            continue;
        }
        const LogLineKind kind = ClassifyLogLine(line);
        if (IsOneValueKind(kind)) {
            if (ParseLogRecord(kind, line, record) && record.hasTimeTag) printer.Print(record);
        } else if (IsMultiValueKind(kind)) {
            cursor.started = false;
            for (;;) {
                const bool isNumber = NextLogValue(kind, line, cursor, record);
                if (!cursor.started) break;
                if (isNumber && record.hasTimeTag) printer.Print(record);
            }
        }
    }
}

int RunValues(CommandContext& context) {
    const auto& args = context.args;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        PrintHelp(context.out);
        return 0;
    }
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        if (args.empty()) {
            context.err << kName << ": no log file named\n";
        } else if (args.size() > 1) {
            context.err << kName << ": unexpected argument '" << args[1] << "'\n";
        } else {
            context.err << kName << ": unknown option '" << args[0] << "'\n";
        }
        PrintUsage(context.err);
        return 2;
    }
    const std::string& path = args[0];
    std::error_code ignored;
    if (path.empty() || std::filesystem::status(path, ignored).type() == std::filesystem::file_type::not_found) {
        context.err << "Error 106: Please enter a file name\n";
        return 2;
    }
    // A file that cannot be read throws LogFileError; the dispatcher prints its text.
    PrintValues(path, context.out);
    return 0;
}

const Registrar reg{"values", "print every value an import would write from a log file", &RunValues};

}  // namespace
}  // namespace vireo::cli
