#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "db/DataWriter.h"
#include "db/Database.h"
#include "db/Session.h"
#include "db/WriteRoute.h"
#include "import/ImportRun.h"
#include "scan/Regional.h"
#include "support/TestDataSource.h"

namespace vireo::testing {

/// Every route of the one enum, and those that commit in batches. Each must
/// give the same rows, counts and messages.
inline constexpr WriteRoute kAllRoutes[] = {WriteRoute::OneByOne, WriteRoute::Batched, WriteRoute::DriverSets,
                                            WriteRoute::EngineInterface};
inline constexpr WriteRoute kBatchRoutes[] = {WriteRoute::Batched, WriteRoute::DriverSets, WriteRoute::EngineInterface};

inline std::string RouteName(WriteRoute route) {
    switch (route) {
        case WriteRoute::OneByOne:
            return "OneByOne";
        case WriteRoute::Batched:
            return "Batched";
        case WriteRoute::DriverSets:
            return "DriverSets";
        case WriteRoute::EngineInterface:
            return "EngineInterface";
    }
    return "?";
}

/// Both databases, each in every one of `modes` (kAllRoutes, kBatchRoutes), and the name of such a case:
/// "Sqlite_EngineInterface".
inline auto EveryBackendIn(const auto& modes) {
    return ::testing::Combine(::testing::Values(Backend::Sqlite, Backend::PostgresAnsi), ::testing::ValuesIn(modes));
}
inline std::string BackendAndModeName(const ::testing::TestParamInfo<std::tuple<Backend, WriteRoute>>& info) {
    return BackendName(std::get<0>(info.param)) + "_" + RouteName(std::get<1>(info.param));
}

/// A test on one database in one import mode: a fresh data source, an open
/// connection to it and a data writer on that, in the regional settings the
/// messages are written for.
class ImportModeTest : public ::testing::TestWithParam<std::tuple<Backend, WriteRoute>> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(backend());
        source_->Connect(database_);
        writer_ = std::make_unique<DataWriter>(database_);
    }
    void TearDown() override { database_.Close(); }

    Backend backend() const { return std::get<0>(GetParam()); }
    WriteRoute mode() const { return std::get<1>(GetParam()); }

    std::unique_ptr<TestDataSource> source_;  // outlives the connection below
    Session session_;
    Database database_{session_};
    std::unique_ptr<DataWriter> writer_;
};

}  // namespace vireo::testing
