#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/Database.h"
#include "db/Session.h"
#include "scan/Regional.h"
#include "support/PostgresServer.h"
#include "support/TestDataSource.h"

namespace vireo::testing {

/// One test body for every backend: each test gets a fresh database and an
/// open connection to it, and the regional settings the messages are written
/// for (06/15/2005 12:30:00, '.' as decimal separator). The connection is the
/// tables' owner's: these tests set up through it (the import suites run as
/// an ordinary role).
class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        SetRegional(RegionalSettings{});
        source_ = std::make_unique<TestDataSource>(GetParam());
        database_.SetDatabaseName(source_->Name());
        database_.AddParam("USER NAME=" + (OnPostgres() ? PostgresServer::Instance().User() : source_->User()));
        database_.AddParam("PASSWORD=" + (OnPostgres() ? PostgresServer::Instance().Password() : source_->Password()));
        database_.Open();
    }
    void TearDown() override { database_.Close(); }

    const TestDataSource& source() const { return *source_; }
    bool OnPostgres() const { return IsPostgres(GetParam()); }

    std::unique_ptr<TestDataSource> source_;  // outlives the connection below
    Session session_;
    Database database_{session_};
};

inline std::string BackendParamName(const ::testing::TestParamInfo<Backend>& info) { return BackendName(info.param); }

}  // namespace vireo::testing
