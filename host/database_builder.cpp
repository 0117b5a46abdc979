#include "host/database_builder.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/data/data_error.h"
#include "platform/data/open.h"
#include "platform/data/sqlite/backend.h"

namespace tovan::hostlib {

using automation::AutomationError;

automation::Date DemoLastDay(const DemoOptions& options) {
  automation::Date day = options.last_day.serial == 0 ? automation::Date::Now() : options.last_day;
  return automation::Date{std::floor(day.serial)};
}

namespace detail {

void Exec(data::sqlite::SqliteBackend& db, const std::string& sql, std::initializer_list<automation::Variant> values) {
  db.ExecuteNative(sql, std::span<const automation::Variant>(values.begin(), values.size()));
}

WriteScope::WriteScope(data::sqlite::SqliteBackend& db) : db_(db) {
  if (!db_.InTransaction()) {
    db_.BeginTransaction();
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

void BuildDatabase(const std::string& path, const DemoOptions& options) {
  CheckOptions(options);
  std::string file = data::EmbeddedPath(path);
  if (file.empty()) data::RaiseDatabaseError("the reference host database is an embedded database file: " + path);
  std::error_code ec;
  if (std::filesystem::exists(file, ec) || ec) data::RaiseDatabaseError("database file already exists: " + file);

  std::string failure;
  try {
    data::OpenOptions open;
    open.create = true;
    auto connection = data::OpenConnection(path, open);
    auto* db = dynamic_cast<data::sqlite::SqliteBackend*>(&connection->backend());
    if (db == nullptr) data::RaiseDatabaseError("not an embedded database: " + path);
    detail::WriteScope scope(*db);
    CreateSchema(*db);
    LoadMasterData(*db, options);
    GenerateDemoData(*db, options);
    scope.Commit();
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
