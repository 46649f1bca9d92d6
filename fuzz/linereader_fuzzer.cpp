// LogLineReader and discovery on a fuzzed file.
// Properties:
// - the lines are those of a plain model of the format: the text ends at the
//   first control-Z, a line at a carriage return, a line feed, or the two
//   together, and the last line needs no line end; so no line holds CR, LF or
//   control-Z and their total length never exceeds the file size;
// - a 16-byte buffer, a 1 MiB buffer and a fuzzed small buffer give the same
//   lines, the same counters, and BytesConsumed() ends at the end of the text;
// - LogValueReader meets the model's lines in order, numbered from 1, each
//   starting where the one before ended, the last ending at the end of the
//   text, whatever the buffer;
// - ReadSensorNames gives what LogSensorCollector gives for the model's lines.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "logfile/LogLineReader.h"
#include "logfile/LogValueReader.h"
#include "logfile/SensorDiscovery.h"

namespace {

struct Reading {
    std::vector<std::string> lines;
    std::uint64_t bytes = 0;
    std::uint64_t characters = 0;
    std::uint64_t count = 0;
    bool operator==(const Reading&) const = default;
};

Reading ReadAll(const std::string& path, std::size_t bufferSize) {
    vireo::LogLineReader reader(path, bufferSize);
    Reading reading;
    std::string_view line;
    while (reader.ReadLine(line)) {
        reading.lines.emplace_back(line);
        FUZZ_CHECK(reader.LinesRead() == reading.lines.size());
    }
    FUZZ_CHECK(!reader.ReadLine(line));  // the end stays the end
    reading.bytes = reader.BytesConsumed();
    reading.characters = reader.CharactersRead();
    reading.count = reader.LinesRead();
    return reading;
}

/// The lines a LogValueReader meets, checking their numbers and offsets.
std::vector<std::string> ValueReaderLines(const std::string& path, std::size_t bufferSize, std::uint64_t textSize) {
    struct Lines : vireo::LogValueVisitor {
        std::vector<std::string> texts;
        std::uint64_t end = 0;
        std::uint64_t textSize = 0;
        void LineRead(const vireo::LogLine& line) {
            FUZZ_CHECK(line.number == texts.size() + 1);
            FUZZ_CHECK(line.start == end);
            FUZZ_CHECK(line.end > line.start || line.end == textSize);
            end = line.end;
            texts.emplace_back(line.text);
        }
    } lines;
    lines.textSize = textSize;
    vireo::LogValueReader reader(path, false, bufferSize);
    reader.Read(lines);
    FUZZ_CHECK(lines.end == textSize);
    return lines.texts;
}

std::vector<std::string> ModelLines(std::string_view data, std::size_t& textSize) {
    const std::size_t stop = data.find('\x1a');
    if (stop != std::string_view::npos) data = data.substr(0, stop);
    textSize = data.size();
    std::vector<std::string> lines;
    while (!data.empty()) {
        const std::size_t end = data.find_first_of("\r\n");
        lines.emplace_back(data.substr(0, end));
        if (end == std::string_view::npos) break;
        const bool pair = data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n';
        data.remove_prefix(end + (pair ? 2 : 1));
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const vireo::fuzz::ScratchFile logFile(".log");
    static const vireo::fuzz::ScratchFile prnFile(".prn");
    FuzzedDataProvider data(bytes, size);
    const std::size_t smallBuffer = data.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::string content = data.ConsumeRemainingBytesAsString();
    logFile.Write(content);

    std::size_t textSize = 0;
    const std::vector<std::string> model = ModelLines(content, textSize);

    const Reading big = ReadAll(logFile.Path(), 1u << 20);
    FUZZ_CHECK(big.lines == model);
    std::uint64_t total = 0;
    for (const std::string& line : big.lines) {
        FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\x1a", 3)) == std::string::npos);
        total += line.size();
    }
    FUZZ_CHECK(total <= content.size());
    FUZZ_CHECK(big.characters == total);
    FUZZ_CHECK(big.count == model.size());
    FUZZ_CHECK(big.bytes == textSize);
    FUZZ_CHECK(ReadAll(logFile.Path(), 16) == big);
    FUZZ_CHECK(ReadAll(logFile.Path(), smallBuffer) == big);
    FUZZ_CHECK(ValueReaderLines(logFile.Path(), 1u << 20, textSize) == model);
    FUZZ_CHECK(ValueReaderLines(logFile.Path(), smallBuffer, textSize) == model);

    // Discovery of the file equals discovery of the model's lines, for a .log
    // and for a .PRN file (where a heading line counts).
    for (bool prn : {false, true}) {
        const vireo::fuzz::ScratchFile& file = prn ? prnFile : logFile;
        if (prn) file.Write(content);
        FUZZ_CHECK(vireo::IsPrnFile(file.Path()) == prn);
        vireo::LogSensorCollector collector(prn);
        for (const std::string& line : model)
            if (!collector.TakeLine(line)) break;
        FUZZ_CHECK(vireo::ReadSensorNames(file.Path(), prn) == collector.SortedNames());
    }
    return 0;
}
