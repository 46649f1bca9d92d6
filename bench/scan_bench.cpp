#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "scan/PScan.h"
#include "scan/Regional.h"

// How many log lines per second the scanner splits with the patterns that
// the log readers use. Items processed = lines.

namespace {

void UseSlashAndColon() {
    vireo::RegionalSettings settings = vireo::Regional();
    settings.dateSeparator = '/';
    settings.timeSeparator = ':';
    vireo::SetRegional(settings);
}

/// One value per line: sensor, date, time, value, flag.
void BM_ScanFiveCommaFields(benchmark::State& state) {
    const std::string line = "TEMP,06/15/2005,12:30:00,21.5,G";
    std::string f[5];
    for (auto _ : state) {
        const bool ok = vireo::Scan(line, "%P%P%P%P%P", {&f[0], &f[1], &f[2], &f[3], &f[4]});
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(f[4].data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanFiveCommaFields);

/// The six comma fields that classifying a line takes, as views into it.
void BM_ScanSixCommaFieldsAsViews(benchmark::State& state) {
    const std::string line = "06/15/2005,12:30:00,TEMP,21.5,C,G";
    std::string_view f[6];
    for (auto _ : state) {
        const bool ok = vireo::Scan(line, "%P%P%P%P%P%P", {&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]});
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(f[5].data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanSixCommaFieldsAsViews);

/// A line of twenty values, walked one "%P" field per call.
void BM_ScanFromWalkTwentyValues(benchmark::State& state) {
    std::string line = "06/15/2005 12:30:00";
    for (int k = 1; k < 20; ++k) line += "," + std::to_string(k * 1.25);
    std::string value;
    for (auto _ : state) {
        std::size_t fields = 0;
        for (std::size_t position = 1; position <= line.size(); ++fields) {
            vireo::ScanFrom(line, position, "%P", {&value});
        }
        benchmark::DoNotOptimize(fields);
        benchmark::DoNotOptimize(value.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanFromWalkTwentyValues);

/// Blank-separated values, walked with "%s %_".
void BM_ScanFromWalkBlankSeparated(benchmark::State& state) {
    std::string line = "TEMP";
    for (int k = 1; k < 10; ++k) line += "   " + std::to_string(k * 1.25);
    std::string value;
    for (auto _ : state) {
        for (std::size_t position = 1; position <= line.size();) vireo::ScanFrom(line, position, "%s %_", {&value});
        benchmark::DoNotOptimize(value.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanFromWalkBlankSeparated);

/// The date and time of a record.
void BM_ScanStamp(benchmark::State& state) {
    UseSlashAndColon();
    const std::string text = "06/15/2005 12:30:00";
    std::int32_t stamp = 0;
    for (auto _ : state) {
        const bool ok = vireo::Scan(text, "%j", {&stamp});
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(stamp);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanStamp);

/// Building an import entry, for comparison with the scanner.
void BM_FormatImportEntry(benchmark::State& state) {
    for (auto _ : state) {
        std::string entry = vireo::FormatPattern("%p||%s.%p", {"SENSOR1", "STN01", "BATT"});
        benchmark::DoNotOptimize(entry.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatImportEntry);

}  // namespace

BENCHMARK_MAIN();
