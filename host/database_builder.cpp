#include "host/database_builder.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/data/data_error.h"
#include "platform/data/open.h"
#include "host/schema_postgresql.h"
#include "platform/data/backend.h"
#include "platform/data/connection.h"

namespace tovan::hostlib {

using automation::AutomationError;

automation::Date DemoLastDay(const DemoOptions& options) {
  automation::Date day = options.last_day.serial == 0 ? automation::Date::Now() : options.last_day;
  return automation::Date{std::floor(day.serial)};
}

namespace detail {

void Exec(data::ConnectionBackend& db, const std::string& sql, std::initializer_list<automation::Variant> values) {
  db.ExecuteNative(sql, std::span<const automation::Variant>(values.begin(), values.size()));
}

WriteScope::WriteScope(data::ConnectionBackend& db) : db_(db) {
  if (!db_.InTransaction()) {
    db_.BeginTransaction(data::TransactionAccess::kReadWrite);
    owns_ = true;
  }
}

WriteScope::~WriteScope() {
  if (!owns_) return;
  try {
    db_.RollbackTransaction();
  } catch (const AutomationError&) {
    // the connection is failing already; the error that got us here is the one to report
  }
}

void WriteScope::Commit() {
  if (!owns_) return;
  db_.CommitTransaction();
  owns_ = false;
}

}  // namespace detail

namespace {

void CheckOptions(const DemoOptions& options) {
  auto refuse = [](const std::string& what) {
    throw AutomationError(automation::vberr::kInvalidProcedureCall, "TovanHost", "demo database: " + what);
  };
  if (options.bills < 0) refuse("the number of bills must not be negative");
  if (options.lines < 1) refuse("bills need at least one line on average");
  if (options.days < 1) refuse("bills need at least one day");
  if (!(options.return_share >= 0 && options.return_share <= 1)) refuse("the share of returns lies between 0 and 1");
}

// The database file and the journal files the engine keeps beside it.
void RemoveDatabaseFiles(const std::string& file) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(file + suffix, ignored);
}

}  // namespace

namespace {
// The three steps in one transaction; on a server the sequences then start
// above what the steps wrote.
void FillDatabase(data::ConnectionBackend& db, const DemoOptions& options) {
  detail::WriteScope scope(db);
  CreateSchema(db);
  LoadMasterData(db, options);
  GenerateDemoData(db, options);
  if (db.Engine() == "postgresql") db.ExecuteScript(std::string(detail::kPostgresSequences) + detail::kPostgresIdentities);
  scope.Commit();
}

// A server database is built in the database the data source names, which
// must hold no host schema yet; a missing database is created first.  The
// whole build is one transaction: a failure leaves the database as it was.
void BuildServerDatabase(const std::string& data_source, const DemoOptions& options) {
  std::string failure;
  try {
    std::shared_ptr<data::Connection> connection;
    try {
      connection = data::OpenConnection(data_source);
    } catch (const AutomationError& e) {
      if (e.description().find("does not exist") == std::string::npos) throw;
      data::CreateServerDatabase(data_source);
      connection = data::OpenConnection(data_source);
    }
    data::ConnectionBackend& db = connection->backend();
    if (db.ExecuteNative("SELECT to_regclass('\"t_LS_Retail\"') IS NOT NULL", {}).At(0, 0).boolean())
      data::RaiseDatabaseError("the database holds a host schema already");
    FillDatabase(db, options);
    return;
  } catch (const AutomationError& e) {
    failure = e.description();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  data::RaiseDatabaseError(failure);
}
}  // namespace

void BuildDatabase(const std::string& path, const DemoOptions& options) {
  CheckOptions(options);
  if (data::IsServerDataSource(path)) return BuildServerDatabase(path, options);
  std::string file = data::EmbeddedPath(path);
  if (file.empty()) data::RaiseDatabaseError("the reference host database is an embedded database file: " + path);
  std::error_code ec;
  if (std::filesystem::exists(file, ec) || ec) data::RaiseDatabaseError("database file already exists: " + file);

  std::string failure;
  try {
    data::OpenOptions open;
    open.create = true;
    auto connection = data::OpenConnection(path, open);
    data::ConnectionBackend& db = connection->backend();
    FillDatabase(db, options);
    return;
  } catch (const AutomationError& e) {
    failure = e.description();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // The connection is closed by now, so the files can go.
  RemoveDatabaseFiles(file);
  data::RaiseDatabaseError("cannot build the database " + file + ": " + failure);
}

}  // namespace tovan::hostlib
