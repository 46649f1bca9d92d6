// The preview of a log: the time until the chart's data is ready (the log
// read for the chosen names, their numbers worked out, the lines split at
// gaps and thinned for 1,000 pixel columns) and the peak memory that takes;
// then the time of each zoom step's new thinning (halving the span about a
// point in the middle down to the shortest span, and back out), the work a
// zoom step adds before the chart is painted.
//
//   preview_bench --write MB FILE      writes a log of about MB megabytes:
//                                      TEMP, BATT, STAGE and RH every minute,
//                                      a gap of a day every month, some
//                                      values that are not numbers
//   preview_bench --run FILE [NAME...] previews NAME... (every name when none)
//                                      and prints wall and processor time,
//                                      points and peak memory, and the
//                                      slowest and median zoom step
//
// Each --run is its own process, so its peak memory is its own. Timings on a
// shared machine are indicative only.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "BenchLogText.h"
#include "preview/LogSeries.h"
#include "preview/SeriesPlot.h"

namespace {

using namespace vireo;

int Write(double megabytes, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    bench::Random random;
    const char* const names[] = {"TEMP", "BATT", "STAGE", "RH"};
    std::string text;
    const auto limit = static_cast<std::uint64_t>(megabytes * 1e6);
    std::uint64_t written = 0;
    for (long long minute = 0; written < limit; ++minute) {
        if (minute % (30 * 1440) == 0 && minute > 0) minute += 1440;  // a day without values every month
        for (const char* name : names) {
            text += name;
            text.push_back(',');
            bench::AppendDate(text, minute);
            text.push_back(',');
            bench::AppendTime(text, minute);
            text.push_back(',');
            if (random.Below(10000) == 0) {
                text += "n/a";
            } else {
                bench::AppendValue(text, random);
            }
            text += ",G\r\n";
        }
        if (text.size() > (1 << 20)) {
            out << text;
            written += text.size();
            text.clear();
        }
    }
    out << text;
    return out ? 0 : 1;
}

double ProcessorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int Run(const std::string& path, const std::vector<std::string>& names) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessorSeconds();
    LogSeriesReading reading = ReadLogSeries(path, names);
    std::vector<const NameSeries*> all;
    for (const NameSeries& series : reading.series) all.push_back(&series);
    const PlotFrame frame = FrameOf(all, 1000);
    std::size_t points = 0;
    std::size_t drawn = 0;
    for (const NameSeries& series : reading.series) {
        points += series.points.size();
        for (const auto& line : PlotLines(series, frame)) drawn += line.size();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessorSeconds() - cpuStart;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%s: %.1f MB, %zu names, %zu points, %zu drawn; first chart data after %.2f s wall, %.2f s "
        "processor (%.0f MB/s); peak memory %.1f MiB\n",
        path.c_str(), static_cast<double>(reading.fileSize) / 1e6, reading.series.size(), points, drawn, wall, cpu,
        static_cast<double>(reading.fileSize) / 1e6 / cpu, static_cast<double>(usage.ru_maxrss) / 1024);

    // Zoom steps: in by halves about the middle, then out again; each step
    // thins every name again for the span in view.
    std::vector<double> steps;
    PlotFrame view = FitFrame(frame);
    const SecondStamp middle = static_cast<SecondStamp>(frame.from + (std::int64_t{frame.to} - frame.from) / 2);
    for (int step = 0; step < 52; ++step) {
        const auto begin = std::chrono::steady_clock::now();
        view = ZoomFrame(view, frame, step < 26 ? 0.5 : 2.0, middle);
        std::size_t shown = 0;
        for (const NameSeries& series : reading.series) {
            for (const auto& line : PlotLines(series, view)) shown += line.size();
            shown += GapsInFrame(series, view).size();
        }
        steps.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() * 1000);
        if (shown == 0 && !reading.series.empty() && points > 0) std::printf("nothing shown at step %d\n", step);
    }
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    std::printf(
        "zoom steps (%zu, thinning of every name for the span in view): median %.2f ms, slowest %.2f ms, "
        "whole span %.2f ms\n",
        steps.size(), sorted[sorted.size() / 2], sorted.back(), steps.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--write") return Write(std::stod(args[1]), args[2]);
    if (args.size() >= 2 && args[0] == "--run") return Run(args[1], {args.begin() + 2, args.end()});
    std::cerr << "usage: preview_bench --write MB FILE | --run FILE [NAME...]\n";
    return 2;
}
