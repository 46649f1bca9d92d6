// Lines of random bytes drawn from the characters that steer the parsers: every
// entry point must come back, never read past its line and never loop.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logfile/LogLineKind.h"
#include "logfile/LogRecord.h"
#include "logfile/SensorDiscovery.h"

namespace vireo {
namespace {

class Bytes {
public:
    explicit Bytes(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    std::uint32_t state_;
};

std::string RandomLine(Bytes& random) {
    static const std::string kAlphabet =
        std::string(",,,   ///::..\"'GBU0123456789eE+-TEMPdatetime\t\r\n\x1a\x7f\xff") + std::string(1, '\0');
    static const char* kPieces[] = {"06/15/2005", "12:30:00", "\"DATE\"", "\"TIME\"", "ST01", "21.5", ",G"};
    std::string line;
    const std::uint32_t length = random.Next() % 60;
    while (line.size() < length) {
        if (random.Next() % 4 == 0) {
            line += kPieces[random.Next() % 7];
        } else {
            line += kAlphabet[random.Next() % kAlphabet.size()];
        }
    }
    return line;
}

TEST(LogLineFuzz, EveryEntryPointComesBack) {
    Bytes random(20050615);
    LogRecord record;
    ValueCursor cursor;
    const std::vector<std::string> headings = {"A", "B"};
    cursor.headings = &headings;
    LogSensorCollector collector(true);
    for (int i = 0; i < 20000; ++i) {
        const std::string line = RandomLine(random);
        const LogLineKind kind = ClassifyLogLine(line);
        ASSERT_GE(static_cast<int>(kind), 0);
        ASSERT_LE(static_cast<int>(kind), 6);
        for (int k = 1; k <= 4; ++k) ParseLogRecord(static_cast<LogLineKind>(k), line, record);
        for (LogLineKind k : {LogLineKind::DateTimeLabelValues, LogLineKind::BlankSeparatedValues}) {
            cursor.started = false;
            std::size_t values = 0;
            while (NextLogValue(k, line, cursor, record)) {
                ASSERT_LE(++values, line.size() + 1) << "the walk does not end on [" << line << "]";
            }
        }
        ParseColumnHeadings(line);
        collector.TakeLine(line);
    }
}

}  // namespace
}  // namespace vireo
