#include "cli/ConsoleProgress.h"

#include <cstdio>

namespace vireo::cli {

void ConsoleProgress::RunStarted() { start_ = std::chrono::steady_clock::now(); }

void ConsoleProgress::ProgressChanged(int percent) {
    percent_ = percent;
    Draw(false);
}

void ConsoleProgress::LineCounted(std::int64_t count) {
    lines_ = count;
    Draw(false);
}

void ConsoleProgress::RunEnded() {
    Draw(true);
    if (enabled_) err_ << '\n' << std::flush;
    shown_ = false;
}

void ConsoleProgress::BeforeStatusLine() {
    // Back to the start of the line, and the line erased.
    if (shown_) err_ << "\r\x1b[K" << std::flush;
}

void ConsoleProgress::AfterStatusLine() {
    if (shown_) Draw(true);
}

void ConsoleProgress::Draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const long seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - start_).count());
    char bar[31];
    const int filled = percent_ * 30 / 100;
    for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
    bar[30] = '\0';
    char text[160];
    std::snprintf(text, sizeof text, "\r[%s] %3d%%  Import Time: %02ld:%02ld:%02ld  Imported Record Count: %lld", bar,
                  percent_, seconds / 3600, seconds / 60 % 60, seconds % 60, static_cast<long long>(lines_));
    err_ << text << std::flush;
    shown_ = true;
}

}  // namespace vireo::cli
