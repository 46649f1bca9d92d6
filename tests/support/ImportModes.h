#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "import/ImportRun.h"
#include "scan/Regional.h"
#include "support/TestDataSource.h"

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

/// Both databases, each in every one of `modes` (kAllImportModes,
/// kFastImportModes), and the name of such a case: "Sqlite_FastBulk".
inline auto EveryBackendIn(const auto& modes) {
    return ::testing::Combine(::testing::Values(Backend::Sqlite, Backend::PostgresAnsi), ::testing::ValuesIn(modes));
}
inline std::string BackendAndModeName(const ::testing::TestParamInfo<std::tuple<Backend, ImportMode>>& info) {
    return BackendName(std::get<0>(info.param)) + "_" + ImportModeName(std::get<1>(info.param));
}

/// A test on one database in one import mode: a fresh data source, an open
/// connection to it and a data writer on that, in the regional settings the
/// messages are written for.
class ImportModeTest : public ::testing::TestWithParam<std::tuple<Backend, ImportMode>> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(backend());
        source_->Connect(database_);
        writer_ = std::make_unique<DataWriter>(database_);
    }
    void TearDown() override { database_.Close(); }

    Backend backend() const { return std::get<0>(GetParam()); }
    ImportMode mode() const { return std::get<1>(GetParam()); }

    std::unique_ptr<TestDataSource> source_;  // outlives the connection below
    Session session_;
    Database database_{session_};
    std::unique_ptr<DataWriter> writer_;
};

}  // namespace vireo::testing
