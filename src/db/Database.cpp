#include "db/Database.h"

#include <sqlext.h>

#include "db/DataSourceDriver.h"
#include "db/NamedParameters.h"
#include "db/Query.h"
#include "db/Session.h"
#include "db/TextEncoding.h"

namespace vireo {
namespace {

/// The value of the connection parameter `key` ("USER NAME", "PASSWORD"):
/// the text after the first '=' of the last parameter with that key.
std::string ParamValue(const std::vector<std::string>& params, const char* key) {
    std::string value;
    for (const std::string& param : params) {
        const auto equals = param.find('=');
        if (equals == std::string::npos) continue;
        if (SameName(std::string_view(param).substr(0, equals), key)) {
            value = param.substr(equals + 1);
        }
    }
    return value;
}

SQLCHAR* Chars(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

/// True when the driver knows its connection is lost. A driver that cannot
/// tell is taken at its word that the connection lives.
bool ConnectionDead(SQLHDBC dbc) {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

}  // namespace

Database::Database(Session& session) : session_(&session) { session.databases_.push_back(this); }

Database::~Database() {
    Close();
    for (Query* query : queries_) query->database_ = nullptr;
    if (session_ != nullptr) std::erase(session_->databases_, this);
}

void Database::Open() {
    if (Connected()) return;
    if (session_ == nullptr) throw DbError("The database has no session", "08003", 0);
    if (!session_->Active()) session_->Open();

    OdbcHandle dbc = OdbcHandle::Allocate(SQL_HANDLE_DBC, session_->Handle());
    std::string alias = alias_;
    std::string user = ParamValue(params_, "USER NAME");
    std::string password = ParamValue(params_, "PASSWORD");
    if (DataSourceUsesPostgres(alias)) {
        // The server compares the login with the UTF-8 text it was given
        // when the role was made, whatever the database's encoding.
        user = Windows1252ToUtf8(user);
        password = Windows1252ToUtf8(password);
    }
    const SQLRETURN rc =
        SQLConnect(dbc.get(), Chars(alias), static_cast<SQLSMALLINT>(alias.size()), Chars(user),
                   static_cast<SQLSMALLINT>(user.size()), Chars(password), static_cast<SQLSMALLINT>(password.size()));
    CheckOdbc(rc, SQL_HANDLE_DBC, dbc.get(), "SQLConnect");
    dbc_ = std::move(dbc);
    inTransaction_ = false;
    try {
        text_ = ProbeDriverText();
    } catch (...) {
        Close();
        throw;
    }
}

DriverText Database::ProbeDriverText() {
    SQLCHAR name[64] = {};
    SQLSMALLINT length = 0;
    CheckOdbc(SQLGetInfo(dbc_.get(), SQL_DBMS_NAME, name, sizeof name, &length), SQL_HANDLE_DBC, dbc_.get(),
              "SQLGetInfo");
    const std::string_view dbms(reinterpret_cast<const char*>(name));
    engine_ = dbms == "SQLite" ? DbEngine::SQLite : dbms == "PostgreSQL" ? DbEngine::PostgreSQL : DbEngine::Other;
    if (engine_ != DbEngine::PostgreSQL) return DriverText::Bytes;

    // The server converts between the database's encoding and the session's
    // client encoding; psqlODBC sets the latter to UTF8 on a UTF-8 database.
    Query probe(*this);
    probe.SetSql("SHOW client_encoding");
    probe.Open();
    const bool utf8 = !probe.Eof() && !probe.Fields().empty() && SameName(probe.Fields()[0].AsString(), "UTF8");
    return utf8 ? DriverText::Utf8 : DriverText::Bytes;
}

void Database::Close() noexcept {
    for (Query* query : queries_) query->Detach();
    if (!dbc_) return;
    if (inTransaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    inTransaction_ = false;
    SQLDisconnect(dbc_.get());
    dbc_.reset();
    text_ = DriverText::Bytes;
    engine_ = DbEngine::Other;
}

void Database::StartTransaction() {
    if (!Connected()) throw DbError("Connection not open", "08003", 0);
    if (inTransaction_) return;
    CheckOdbc(SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                SQL_IS_UINTEGER),
              SQL_HANDLE_DBC, dbc_.get(), "SQLSetConnectAttr", text_);
    inTransaction_ = true;
}

bool Database::ConnectionLost() const noexcept { return Connected() && ConnectionDead(dbc_.get()); }

bool Database::TransactionLost() {
    if (!Connected() || !inTransaction_) return false;
    if (ConnectionDead(dbc_.get())) return true;
    OdbcHandle statement = OdbcHandle::Allocate(SQL_HANDLE_STMT, dbc_.get());
    if (engine_ == DbEngine::SQLite) {
        // The engine refuses BEGIN inside a transaction. When it accepts it,
        // it had rolled the work back on its own, and the BEGIN opens the
        // transaction that the driver still believes in.
        std::string begin = "BEGIN";
        return SQL_SUCCEEDED(SQLExecDirect(statement.get(), Chars(begin), static_cast<SQLINTEGER>(begin.size())));
    }
    // Any statement is refused in an aborted transaction or without a connection.
    std::string probe = "SELECT 1";
    if (SQL_SUCCEEDED(SQLExecDirect(statement.get(), Chars(probe), static_cast<SQLINTEGER>(probe.size()))))
        return false;
    SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);  // the next statement starts a new transaction
    return true;
}

void Database::Commit() { EndTransaction(SQL_COMMIT); }

void Database::Rollback() { EndTransaction(SQL_ROLLBACK); }

void Database::EndTransaction(SQLSMALLINT completion) {
    if (!Connected()) throw DbError("Connection not open", "08003", 0);
    if (!inTransaction_) return;
    // psqlODBC forgets the transaction when it loses its connection, and then
    // reports success for SQLEndTran: the server has rolled the work back, and
    // a commit must not pass for one that wrote it.
    if (completion == SQL_COMMIT && ConnectionDead(dbc_.get())) throw DbError(kTransactionNotCommitted, "08S01", 0);
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), completion);
    if (!SQL_SUCCEEDED(rc)) {
        // Leave the connection usable for a rollback or for closing.
        throw DiagnosticError(SQL_HANDLE_DBC, dbc_.get(), "SQLEndTran", text_);
    }
    inTransaction_ = false;
    CheckOdbc(SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                                SQL_IS_UINTEGER),
              SQL_HANDLE_DBC, dbc_.get(), "SQLSetConnectAttr", text_);
}

}  // namespace vireo
