#include "logfile/LineSplit.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan/PScan.h"

namespace vireo::logfile_detail {
namespace {

constexpr std::string_view kCommaFields = "%P%P%P%P%P%P";
constexpr std::string_view kStampFields = "%s %P%P%P%P%P";

/// Longer lines are split anew each time rather than kept.
constexpr std::size_t kLongestKept = 2048;

/// The comma split of the last line, with a copy of its characters: where its
/// fields begin and how long they are.
struct KeptSplit {
    bool valid = false;
    std::uint32_t size = 0;
    std::uint32_t starts[6] = {};
    std::uint32_t sizes[6] = {};
    char line[kLongestKept];
};

void SplitCommaFields(std::string_view line, SixFields& fields) {
    thread_local KeptSplit kept;
    if (kept.valid && kept.size == line.size() &&
        (line.empty() || std::memcmp(kept.line, line.data(), line.size()) == 0)) {
        const char* const data = line.data();
        fields = {std::string_view(data + kept.starts[0], kept.sizes[0]),
                  std::string_view(data + kept.starts[1], kept.sizes[1]),
                  std::string_view(data + kept.starts[2], kept.sizes[2]),
                  std::string_view(data + kept.starts[3], kept.sizes[3]),
                  std::string_view(data + kept.starts[4], kept.sizes[4]),
                  std::string_view(data + kept.starts[5], kept.sizes[5])};
        return;
    }
    Scan(line, kCommaFields, {&fields[0], &fields[1], &fields[2], &fields[3], &fields[4], &fields[5]});
    kept.valid = line.size() <= kLongestKept;
    if (!kept.valid) return;
    kept.size = static_cast<std::uint32_t>(line.size());
    if (!line.empty()) std::memcpy(kept.line, line.data(), line.size());
    for (std::size_t k = 0; k < fields.size(); ++k) {
        kept.starts[k] = static_cast<std::uint32_t>(fields[k].data() - line.data());
        kept.sizes[k] = static_cast<std::uint32_t>(fields[k].size());
    }
}

}  // namespace

void SplitSixFields(std::string_view line, SixFieldSplit split, SixFields& fields) {
    SplitCommaFields(line, fields);
    if (split == SixFieldSplit::CommaFields) return;
    const std::size_t blank = fields[0].find(' ');
    if (blank == std::string_view::npos) {
        Scan(line, kStampFields, {&fields[0], &fields[1], &fields[2], &fields[3], &fields[4], &fields[5]});
        return;
    }
    // The first blank of the line lies in its first comma field, so "%s " takes
    // the field up to it and the first "%P" the rest of that field, ending where
    // the field ends; the other "%P" are the comma fields that follow.
    const std::string_view first = fields[0];
    for (std::size_t k = fields.size() - 1; k >= 2; --k) fields[k] = fields[k - 1];
    fields[0] = first.substr(0, blank);
    fields[1] = first.substr(blank + 1);
}

}  // namespace vireo::logfile_detail
