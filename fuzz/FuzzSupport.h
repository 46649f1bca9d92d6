#pragma once

// What every fuzz target shares: a property check that aborts (so libFuzzer
// keeps the input as a crash), fixed regional settings and a fixed clock (so a
// run is reproducible), and a scratch file for the targets that read files.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "scan/Chronos.h"
#include "scan/Regional.h"

#define FUZZ_CHECK(condition)                                                                        \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                            \
        }                                                                                            \
    } while (0)

namespace vireo::fuzz {

/// 2005-06-15 12:30:00, the clock of every run.
inline constexpr SecondStamp kFixedNow = 645539400;

inline void FixSettings() {
    SetRegional(RegionalSettings{});  // '/' and ':', month/day/year
    SetClockForTesting([] { return kFixedNow; });
}

/// A file of this process under $TMPDIR (or /tmp), removed at exit; `extension`
/// (".log", ".prn", ".sfg") is kept at the end of the name.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& extension) {
        const char* folder = std::getenv("TMPDIR");
        path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/vireo-fuzz-" +
                std::to_string(::getpid()) + "-" + std::to_string(counter_++) + extension;
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Path() const { return path_; }

    /// Replaces the file's content.
    void Write(std::string_view data) const {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr) std::abort();
        if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file) != data.size()) std::abort();
        if (std::fclose(file) != 0) std::abort();
    }

private:
    static inline int counter_ = 0;
    std::string path_;
};

}  // namespace vireo::fuzz
