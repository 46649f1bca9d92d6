// Log file reading speed and memory: discovery and the value pass against
// `wc -l` and a plain hand-written reader over the same generated files.
//
//   logfile_bench [MEGABYTES] [PATH-OF-vireo-import]
//
// Each measured part runs in a child process, so its peak memory is its own.
// For instruction counts (valgrind --tool=callgrind) one part can run alone, in
// the process itself, on a mixed file written beforehand:
//
//   logfile_bench --write MEGABYTES FILE
//   logfile_bench --run hand|discovery|values|walk FILE

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "BenchLogText.h"
#include "logfile/LogLineKind.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogRecord.h"
#include "logfile/LogValueReader.h"
#include "logfile/SensorDiscovery.h"

namespace {

using namespace vireo::bench;

using Clock = std::chrono::steady_clock;

struct Outcome {
    double seconds = 0;      // processor time (user + system) of the part
    double wallSeconds = 0;  // elapsed time; on a busy machine only a rough figure
    long long count = 0;     // lines, values or names, as the part counts them
    long maxRssKiB = 0;
    bool ok = false;
};

/// Runs `work` in a child process; the child reports its count through a pipe,
/// the parent times it and takes its peak memory from wait4.
Outcome Measure(const std::function<long long()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) return {};
    if (pid == 0) {
        ::close(fds[0]);
        long long count = -1;
        try {
            count = work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "error: %s\n", e.what());
        }
        if (::write(fds[1], &count, sizeof count) != sizeof count) ::_exit(3);
        ::_exit(count < 0 ? 1 : 0);
    }
    ::close(fds[1]);
    long long count = -1;
    const bool got = ::read(fds[0], &count, sizeof count) == sizeof count;
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Outcome outcome;
    outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    outcome.seconds =
        usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    outcome.count = count;
    outcome.maxRssKiB = usage.ru_maxrss;
    outcome.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return outcome;
}

/// Runs a program with standard output to /dev/null and times it the same way.
Outcome MeasureProgram(const std::vector<std::string>& argv) {
    return Measure([&]() -> long long {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
    });
}

// ---------------------------------------------------------------------------
// Test files

/// A file of about `bytes` bytes cycling through the one-value layouts and the
/// labelled multi-value layout, with a few blank-separated lines at its end (a
/// blank-separated line ends discovery, so they come last). Gives the number of
/// numeric values in it.
long long WriteMixedFile(const std::string& path, long long bytes) {
    static const char* kNames[] = {"STAGE", "BATT", "AIRTEMP", "WATERTEMP", "RAIN", "WIND", "GUST", "HUMIDITY"};
    std::ofstream out(path, std::ios::binary);
    Random random;
    std::string line;
    long long written = 0, values = 0;
    for (long long n = 0; written < bytes; ++n) {
        line.clear();
        const long long minute = n / 4;
        const char* name = kNames[random.Below(8)];
        switch (n % 5) {
            case 0:  // NameDateTime
                line += name;
                line += ',';
                AppendDate(line, minute);
                line += ',';
                AppendTime(line, minute);
                line += ',';
                AppendValue(line, random);
                line += ",G";
                values += 1;
                break;
            case 1:  // NameStamp
                line += name;
                line += ',';
                AppendDate(line, minute);
                line += ' ';
                AppendTime(line, minute);
                line += ',';
                AppendValue(line, random);
                line += ",G";
                values += 1;
                break;
            case 2:  // DateTimeName
                AppendDate(line, minute);
                line += ',';
                AppendTime(line, minute);
                line += ',';
                line += name;
                line += ',';
                AppendValue(line, random);
                line += ",C,G";
                values += 1;
                break;
            case 3:  // StampName
                AppendDate(line, minute);
                line += ' ';
                AppendTime(line, minute);
                line += ',';
                line += name;
                line += ',';
                AppendValue(line, random);
                line += ",C,B";
                values += 1;
                break;
            default:  // DateTimeLabelValues with 2 to 6 values
                AppendDate(line, minute);
                line += ',';
                AppendTime(line, minute);
                line += ",ST0";
                AppendNumber(line, random.Below(10));
                for (std::uint32_t v = 0, count = 2 + random.Below(5); v < count; ++v) {
                    line += ',';
                    AppendValue(line, random);
                    values += 1;
                }
                break;
        }
        line += "\r\n";
        out << line;
        written += static_cast<long long>(line.size());
    }
    for (int n = 0; n < 100; ++n) {
        line.clear();
        AppendDate(line, n);
        line += ' ';
        AppendTime(line, n);
        for (int v = 0; v < 4; ++v) {
            line += ' ';
            AppendValue(line, random);
            values += 1;
        }
        line += "\r\n";
        out << line;
    }
    return values;
}

void WriteManyNamesFile(const std::string& path, int lines, int names) {
    std::ofstream out(path, std::ios::binary);
    Random random;
    std::string line;
    for (int n = 0; n < lines; ++n) {
        line.clear();
        const std::uint32_t k = random.Below(static_cast<std::uint32_t>(names));
        line += (random.Below(2) != 0) ? "Sensor" : "SENSOR";  // the same names in two spellings
        AppendNumber(line, k);
        line += ",06/15/2005,12:30:00,";
        AppendValue(line, random);
        line += ",G\r\n";
        out << line;
    }
}

// ---------------------------------------------------------------------------
// The measured parts

long long CountLinesWithWc(const std::string& path) {
    const std::string command = "wc -l < '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    long long lines = -1;
    if (std::fscanf(pipe, "%lld", &lines) != 1) lines = -1;
    ::pclose(pipe);
    return lines;
}

/// What a plain reader does at best: 1 MiB reads, memchr for line ends, every
/// comma field converted with from_chars.
long long HandWrittenReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    std::vector<char> buffer(1 << 20);
    std::size_t begin = 0, end = 0;
    long long numbers = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (got < 0) break;
        end += static_cast<std::size_t>(got);
        const bool last = got == 0;
        for (;;) {
            const char* lineStart = buffer.data() + begin;
            const char* lf = static_cast<const char*>(std::memchr(lineStart, '\n', end - begin));
            const char* lineEnd = lf != nullptr ? lf : (last ? buffer.data() + end : nullptr);
            if (lineEnd == nullptr) break;
            const char* textEnd = lineEnd;
            if (textEnd > lineStart && textEnd[-1] == '\r') --textEnd;
            for (const char* field = lineStart; field <= textEnd;) {
                const char* comma = static_cast<const char*>(std::memchr(field, ',', textEnd - field));
                const char* fieldEnd = comma != nullptr ? comma : textEnd;
                double value;
                const auto read = std::from_chars(field, fieldEnd, value);
                if (read.ec == std::errc() && read.ptr == fieldEnd) ++numbers;
                field = fieldEnd + 1;
            }
            begin = static_cast<std::size_t>(lineEnd - buffer.data()) + (lf != nullptr ? 1 : 0);
            if (lf == nullptr) break;
        }
        if (last) break;
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    ::close(fd);
    return numbers;
}

long long Discovery(const std::string& path) {
    return static_cast<long long>(vireo::ReadSensorNames(path, vireo::IsPrnFile(path)).size());
}

/// The value pass as an import run makes it (LogValueReader), without writing anything.
long long ValuePass(const std::string& path) {
    struct Count : vireo::LogValueVisitor {
        long long values = 0;
        double sum = 0;
        bool Value(const vireo::LogRecord& value, const vireo::LogLine&) {
            if (value.IsNumber() && value.HasTimeTag()) {
                ++values;
                sum += value.value;
            }
            return true;
        }
    } count;
    vireo::LogValueReader reader(path);
    reader.Read(count);
    if (count.sum == 12345.678) std::puts("");  // keeps the sum alive
    return count.values;
}

/// The same walk driven by hand over the line reader, without the reader's
/// line events: what the events cost.
long long ValuePassWalk(const std::string& path) {
    vireo::LogLineReader reader(path);
    vireo::LineValueWalk walk;
    vireo::LogRecord record;
    std::string_view line;
    long long values = 0;
    double sum = 0;
    while (reader.ReadLine(line)) {
        if (line.empty() || vireo::IsCommentLine(line)) continue;
        walk.Start(vireo::ClassifyLogLine(line), line, nullptr);
        while (walk.Next(record)) {
            if (record.IsNumber() && record.HasTimeTag()) {
                ++values;
                sum += record.value;
            }
        }
    }
    if (sum == 12345.678) std::puts("");  // keeps the sum alive
    return values;
}

/// `unit` "names" prints the count itself; other units a rate per second.
void PrintRow(const char* part, const Outcome& o, double megabytes, const std::string& unit, double baselineSeconds) {
    const bool isRate = unit != "names";
    std::printf("%-34s %7.2f s %7.2f s %8.1f MB/s %11.0f %-8s %7.1f MiB %7.2f%s\n", part, o.seconds, o.wallSeconds,
                megabytes / o.seconds, isRate ? o.count / o.seconds : static_cast<double>(o.count), unit.c_str(),
                o.maxRssKiB / 1024.0, baselineSeconds / o.seconds, o.ok ? "" : "  FAILED");
}

/// The --write and --run forms; -1 when the arguments are neither.
int RunAlone(int argc, char** argv) {
    if (argc != 4) return -1;
    const std::string mode = argv[1];
    const std::string path = argv[3];
    if (mode == "--write") {
        std::printf("%lld values\n", WriteMixedFile(path, std::atoll(argv[2]) * 1000000));
        return 0;
    }
    if (mode != "--run") return -1;
    const std::string part = argv[2];
    long long count = -1;
    if (part == "hand") count = HandWrittenReader(path);
    if (part == "discovery") count = Discovery(path);
    if (part == "values") count = ValuePass(path);
    if (part == "walk") count = ValuePassWalk(path);
    std::printf("%s: %lld\n", part.c_str(), count);
    return count < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int alone = RunAlone(argc, argv); alone >= 0) return alone;
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    std::string cli = argc > 2 ? argv[2] : "";
    if (cli.empty()) {
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        cli = (self.parent_path().parent_path() / "src" / "cli" / "vireo-import").string();
    }

    char pattern[] = "/tmp/vireo-logfile-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    const std::string folder = pattern;
    const std::string small = folder + "/small.log";
    const std::string large = folder + "/large.log";
    const std::string names = folder + "/names.log";

    std::printf("generating %lld MB and %lld MB mixed files and a 1,000,000-line file of 5,000 names...\n",
                megabytes / 5, megabytes);
    const long long smallValues = WriteMixedFile(small, megabytes * 200000);
    const long long largeValues = WriteMixedFile(large, megabytes * 1000000);
    WriteManyNamesFile(names, 1000000, 5000);
    const double smallMb = std::filesystem::file_size(small) / 1e6;
    const double largeMb = std::filesystem::file_size(large) / 1e6;
    const double namesMb = std::filesystem::file_size(names) / 1e6;
    std::printf("large file: %.1f MB, %lld values; small file: %.1f MB, %lld values\n\n", largeMb, largeValues, smallMb,
                smallValues);

    std::printf(
        "Times are processor times (user + system) of each part's own process; speeds and the\n"
        "ratio to the hand-written reader (\"vs hand\": above 1 is faster) are taken from them.\n\n");
    std::printf("%-34s %9s %9s %13s %20s %11s %7s\n", "part", "cpu", "wall", "speed", "rate", "peak RSS", "vs hand");
    const Outcome hand = Measure([&] { return HandWrittenReader(large); });
    const Outcome wc = Measure([&] { return CountLinesWithWc(large); });
    PrintRow("wc -l", wc, largeMb, "lines/s", hand.seconds);
    PrintRow("hand-written reader", hand, largeMb, "num/s", hand.seconds);
    const Outcome discovery = Measure([&] { return Discovery(large); });
    PrintRow("discovery (ReadSensorNames)", discovery, largeMb, "names", hand.seconds);
    const Outcome pass = Measure([&] { return ValuePass(large); });
    PrintRow("value pass (library loop)", pass, largeMb, "values/s", hand.seconds);
    const Outcome views = Measure([&] { return ValuePassWalk(large); });
    PrintRow("value pass (walk by hand)", views, largeMb, "values/s", hand.seconds);
    if (std::filesystem::exists(cli)) {
        Outcome command = MeasureProgram({cli, "values", large});
        command.count = largeValues;
        PrintRow("vireo-import values > /dev/null", command, largeMb, "values/s", hand.seconds);
    } else {
        std::printf("(%s not built: the command was not measured)\n", cli.c_str());
    }

    std::printf("\nmemory against file size:\n");
    const Outcome passSmall = Measure([&] { return ValuePass(small); });
    PrintRow("value pass, small file", passSmall, smallMb, "values/s", hand.seconds * smallMb / largeMb);
    PrintRow("value pass, large file", pass, largeMb, "values/s", hand.seconds);
    const Outcome discoverySmall = Measure([&] { return Discovery(small); });
    PrintRow("discovery, small file", discoverySmall, smallMb, "names", hand.seconds * smallMb / largeMb);

    std::printf("\ndiscovery of 1,000,000 lines with 5,000 names in two spellings:\n");
    const Outcome many = Measure([&] { return Discovery(names); });
    std::printf("%-34s %7.2f s %7.2f s %8.1f MB/s %11.0f lines/s %lld names %7.1f MiB%s\n", "ReadSensorNames",
                many.seconds, many.wallSeconds, namesMb / many.seconds, 1e6 / many.seconds, many.count,
                many.maxRssKiB / 1024.0, many.ok ? "" : "  FAILED");

    std::printf("\nvalue pass speed / hand-written reader speed: %.2f (library loop), %.2f (walk by hand)\n",
                hand.seconds / pass.seconds, hand.seconds / views.seconds);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
