// The session: opening the database with the settings of every connection,
// closing it, and units of work.
#include "platform/data/sqlite/backend.h"

#include <sqlite3.h>

#include "platform/data/data_error.h"
#include "platform/data/sqlite/error.h"

namespace tovan::data::sqlite {

std::unique_ptr<SqliteBackend> SqliteBackend::Open(const std::string& path, const std::string& data_source,
                                                   const SqliteOptions& options) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (options.create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    NoteFault(db ? sqlite3_extended_errcode(db) : rc);
    sqlite3_close_v2(db);
    RaiseDatabaseError("cannot open database " + path + ": " + message);
  }
  std::unique_ptr<SqliteBackend> backend(new SqliteBackend(db, data_source));
  sqlite3_busy_timeout(db, options.busy_timeout_ms);
  sqlite3_extended_result_codes(db, 1);
  // "name" must be an identifier, never a string literal SQL Server would reject.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  backend->Script(kConnectionSettings);
  // A connection that closes while others of the process are open between
  // transactions takes itself for the last one and deletes the WAL; a read
  // starting on another at that moment failed with a short read (seen in the
  // dialog server, whose threads and their connections come and go).  Kept,
  // the WAL is still checkpointed into the database at the last close, and
  // emptied (journal_size_limit 0), so no stale frames wait beside a file
  // that is copied over the database.
  int persist = 1;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  backend->Script("PRAGMA journal_size_limit=0;");
  return backend;
}

SqliteBackend::SqliteBackend(sqlite3* db, std::string data_source) : db_(db), data_source_(std::move(data_source)) {}

SqliteBackend::~SqliteBackend() {
  FinalizeOneOff();
  for (auto& [sql, cached] : statements_) sqlite3_finalize(cached.statement);
  // A connection closed inside a unit gives its work up, as a server does.
  if (InTransaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
}

void SqliteBackend::Script(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    NoteFaultOf(sqlite3_extended_errcode(db_));
    RaiseDatabaseError(message);
  }
}

void SqliteBackend::BeginTransaction(TransactionAccess access) {
  FlushHeld();
  if (access != TransactionAccess::kReadOnly) {
    Script("BEGIN IMMEDIATE");
    return;
  }
  // A deferred transaction reads one WAL snapshot and never takes the write
  // lock; query_only makes the connection refuse writes until the unit ends.
  Script("BEGIN DEFERRED; PRAGMA query_only=1");
  read_only_ = true;
}
void SqliteBackend::CommitTransaction() {
  // Held writes belong to the unit: a failure among them fails the commit.
  try {
    FlushHeld();
  } catch (...) {
    RollbackTransaction();
    throw;
  }
  EndReadOnly();
  Script("COMMIT");
}
void SqliteBackend::RollbackTransaction() {
  held_.clear();  // never run: nothing to undo
  EndReadOnly();
  if (InTransaction()) Script("ROLLBACK");
}
void SqliteBackend::EndReadOnly() {
  if (!read_only_) return;
  read_only_ = false;
  Script("PRAGMA query_only=0");
}
bool SqliteBackend::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

}  // namespace tovan::data::sqlite
