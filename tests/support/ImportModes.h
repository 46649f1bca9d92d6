#pragma once

#include <string>

#include "import/ImportRun.h"

namespace vireo::testing {

/// The ways an import writes: one statement a value, fast mode with one
/// statement a value in batched commits, fast mode writing its batches in sets
/// through the driver, and fast mode writing them through the engine's own
/// interface. Each must give the same rows, counts and messages.
enum class ImportMode { OneByOne, FastOdbc, FastSets, FastBulk };

inline constexpr ImportMode kAllImportModes[] = {ImportMode::OneByOne, ImportMode::FastOdbc, ImportMode::FastSets,
                                                 ImportMode::FastBulk};
inline constexpr ImportMode kFastImportModes[] = {ImportMode::FastOdbc, ImportMode::FastSets, ImportMode::FastBulk};

inline void ApplyImportMode(ImportMode mode, ImportRequest& request) {
    request.fastMode = mode != ImportMode::OneByOne;
    request.bulk = mode == ImportMode::FastSets || mode == ImportMode::FastBulk;
    request.bulkDriverOnly = mode == ImportMode::FastSets;
}

inline bool IsFast(ImportMode mode) { return mode != ImportMode::OneByOne; }

inline std::string ImportModeName(ImportMode mode) {
    switch (mode) {
        case ImportMode::OneByOne:
            return "OneByOne";
        case ImportMode::FastOdbc:
            return "FastOdbc";
        case ImportMode::FastSets:
            return "FastSets";
        case ImportMode::FastBulk:
            return "FastBulk";
    }
    return "?";
}

}  // namespace vireo::testing
