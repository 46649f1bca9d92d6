#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/DbError.h"
#include "db/OdbcHandle.h"

namespace vireo {

class Session;
class Query;

/// Why the work of a transaction is gone when its connection was lost.
inline constexpr const char* kTransactionNotCommitted =
    "The connection to the database was lost: the transaction was not committed";

/// The database engine behind a connection, by the driver's DBMS name.
enum class DbEngine { Other, SQLite, PostgreSQL };

/// One connection to a named data source. Its connection parameters are the
/// texts "USER NAME=" + user and "PASSWORD=" + password; the driver never
/// prompts for anything. Text goes to the database as Windows-1252 bytes,
/// converted to UTF-8 on the way when the server speaks UTF-8 (PostgreSQL);
/// the user name and password of a PostgreSQL data source go as UTF-8 too.
class Database {
public:
    explicit Database(Session& session);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void SetDatabaseName(std::string alias) { alias_ = std::move(alias); }
    const std::string& DatabaseName() const noexcept { return alias_; }

    void ClearParams() { params_.clear(); }
    void AddParam(std::string param) { params_.push_back(std::move(param)); }
    const std::vector<std::string>& Params() const noexcept { return params_; }

    /// Connects to the data source named by DatabaseName() with the user and
    /// password of the parameters, opening the session first when it is not
    /// active. Does nothing when already open. Throws DbError carrying the
    /// driver's text (unknown data source, wrong password, no server...).
    void Open();
    /// Closes the connection and every query on it; harmless when closed.
    void Close() noexcept;
    bool Connected() const noexcept { return static_cast<bool>(dbc_); }

    /// Statements run under the data source's automatic commit unless a
    /// transaction is started; Commit and Rollback end it and restore
    /// automatic commit. Closing the database rolls an open transaction back.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const noexcept { return inTransaction_; }
    /// After a failed statement inside a transaction: true when the engine
    /// has ended the transaction on its own, so that the work since
    /// StartTransaction is gone. SQLite rolls back by itself on a full disk or
    /// an I/O error, while its driver goes on as if the transaction were
    /// open; PostgreSQL loses it with the connection or when an error aborts
    /// it. A fresh transaction is open again afterwards (when the connection
    /// lives), so the statements that follow are not committed one by one.
    bool TransactionLost();
    /// True when the driver knows that the connection is gone.
    bool ConnectionLost() const noexcept;

    SQLHDBC Handle() const noexcept { return dbc_.get(); }
    DriverText Text() const noexcept { return text_; }
    /// The engine of the open connection (Other when closed).
    DbEngine Engine() const noexcept { return engine_; }

private:
    friend class Session;
    friend class Query;
    void EndTransaction(SQLSMALLINT completion);
    DriverText ProbeDriverText();

    Session* session_;
    std::string alias_;
    std::vector<std::string> params_;
    OdbcHandle dbc_;
    DriverText text_ = DriverText::Bytes;
    bool inTransaction_ = false;
    DbEngine engine_ = DbEngine::Other;
    std::vector<Query*> queries_;
};

}  // namespace vireo
