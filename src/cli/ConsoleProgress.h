#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>

#include "import/ImportRun.h"

namespace vireo::cli {

/// The progress bar of an import on a terminal: a bar with the percent, the
/// elapsed time and the record count, drawn again in place at most five times
/// a second. Status lines go to another stream that shows on the same
/// terminal: the bar is cleared before each of them and drawn again after it
/// (BeforeStatusLine, AfterStatusLine), so that no line runs into the bar.
class ConsoleProgress : public ImportObserver {
public:
    /// `enabled` false draws nothing (standard error is no terminal).
    ConsoleProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}

    void RunStarted() override;
    void ProgressChanged(int percent) override;
    void LineCounted(std::int64_t count) override;
    void RunEnded() override;

    void BeforeStatusLine();
    void AfterStatusLine();

private:
    void Draw(bool force);

    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;  // the bar stands on the terminal's last line
    int percent_ = 0;
    std::int64_t lines_ = 0;
    std::chrono::steady_clock::time_point start_{};
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace vireo::cli
