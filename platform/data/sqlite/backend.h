// The sqlite backend: one SQLite database connection that runs the
// component's T-SQL through the dialect layer.
//
// Batches are translated with their values as parameters and the
// translations cached by the batch's shape (its text with every literal
// blanked out), prepared statements by SQLite text: the ten thousandth
// "update ... where FEntryID='12345'" costs a tokenization, a lookup and a
// bind, not a translation and a prepare.  The database runs in WAL mode with
// a busy timeout: a second writer waits for the first instead of failing.
//
// Values come back typed from the columns' declared types: bit gives
// Boolean, datetime gives Date (dates are stored as the text
// "yyyy-mm-dd[ hh:mm:ss]"), int gives Long, money/decimal/float give Double,
// character types give String; expressions are typed by their values.
//
// Thread-safety: one thread at a time (SQLite opened without its mutex).
//
// Files: session.cpp (opening, settings, units of work), statement.cpp
// (batches, prepared statements, rows, procedures), error.cpp (SQLite's
// errors), set_runs.cpp (held writes and their set-based runs).
#pragma once

#include <map>
#include <span>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/data/backend.h"
#include "platform/data/tsql/set_runs.h"
#include "platform/data/tsql/shape_cache.h"
#include "platform/data/tsql/tokenizer.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tovan::data::tsql {
struct TranslatedStatement;
struct Translation;
}  // namespace tovan::data::tsql

namespace tovan::data::sqlite {

using tsql::Translation;
using tsql::TranslatedStatement;

// The settings of every connection.  A commit syncs the WAL before it
// returns (FULL), so no closing is acknowledged that a power cut could take
// back; read-only units commit nothing and sync nothing.  Large sorts (the
// GROUP BYs of a day's lines) go to temporary files, with one helper thread:
// sorting a million rows in memory took half as long again and held its
// whole input in the heap.
inline constexpr const char* kConnectionSettings =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA temp_store=FILE; PRAGMA threads=1; "
    "PRAGMA foreign_keys=OFF;";

struct SqliteOptions {
  bool create = false;              // create the file when missing
  int busy_timeout_ms = 60000;      // how long a writer waits for another
};

class SqliteBackend final : public ConnectionBackend {
 public:
  // Opens the database file; raises kDatabaseError with SQLite's message.
  static std::unique_ptr<SqliteBackend> Open(const std::string& path, const std::string& data_source,
                                             const SqliteOptions& options);
  ~SqliteBackend() override;

  BatchResult Execute(std::string_view text) override;
  void BeginRun() override;
  void EndRun() override;
  void AbandonRun() noexcept override;
  int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) override;
  void RegisterProcedure(std::string name, NativeProcedure procedure) override;
  void BeginTransaction(TransactionAccess access) override;
  void CommitTransaction() override;
  void RollbackTransaction() override;
  bool InTransaction() const override;
  const std::string& DataSource() const override { return data_source_; }

  // Plain SQLite text; the prepared statements of ExecuteNative are cached.
  ResultSet ExecuteNative(const std::string& sql, std::span<const automation::Variant> params) override;
  void ExecuteScript(const std::string& sql) override;
  std::string_view Engine() const override { return "sqlite"; }

 private:
  // The batch being run: its text and literals, which parameters bind from.
  struct Batch {
    std::string_view text;
    const std::vector<tsql::Literal>& literals;
  };
  struct CachedStatement {
    sqlite3_stmt* statement;
    std::uint64_t last_use;
  };

  SqliteBackend(sqlite3* db, std::string data_source);
  void Run(const std::vector<TranslatedStatement>& statements, const Batch& batch, BatchResult& out);
  void RunOne(const TranslatedStatement& statement, const Batch& batch, BatchResult& out);
  bool RunCondition(const TranslatedStatement& statement, const Batch& batch);
  void Bind(sqlite3_stmt* st, const TranslatedStatement& statement, const Batch& batch);
  sqlite3_stmt* Prepare(const std::string& sql);
  [[noreturn]] void Fail() const;
  // Notes on the thread what SQLite's result code says of the database itself.
  void NoteFaultOf(int code) const;
  // Several statements of SQLite text, as they stand (ExecuteScript without its bookkeeping).
  void Script(const std::string& sql);
  // Lets the connection write again after a read-only transaction.
  void EndReadOnly();

  // Set-based runs (set_runs.cpp): inside a run, batches that only write in
  // the forms of tsql/set_runs.h are held back, and a run of one statement
  // goes as one.
  struct HeldValue {
    bool is_integer = false;
    std::int64_t integer = 0;
    std::string text;
  };
  struct HeldWrite {
    std::shared_ptr<const Translation> translation;  // keeps `statement` alive
    const TranslatedStatement* statement = nullptr;
    std::vector<HeldValue> values;
  };
  struct RunShape {
    bool mergeable = false;
    tsql::SetRunShape shape;
  };
  const RunShape& RunShapeOf(const std::string& sql);
  // Holds the batch's statements back; false (holding nothing) when one of them may not be.
  bool Hold(const std::shared_ptr<const Translation>& translation, const Batch& batch);
  // Runs what is held; the first failure raises, the held ones after it not run.
  void FlushHeld();
  // Runs `count` held writes from `first` as one statement, or one by one.
  void RunHeld(const HeldWrite* first, std::size_t count);

  sqlite3* db_;
  std::string data_source_;
  tsql::ShapeCache shapes_;
  std::unordered_map<std::string, CachedStatement> statements_;
  // The last long one-off statement (an id list in its text), finalized when
  // its batch ends: kept, each would hold its whole list until evicted.
  sqlite3_stmt* one_off_ = nullptr;
  void FinalizeOneOff();
  std::uint64_t uses_ = 0;
  bool read_only_ = false;  // a read-only transaction is open
  std::vector<tsql::Literal> literals_;  // scratch of Execute
  std::string value_;              // scratch of Bind
  std::map<std::string, NativeProcedure> procedures_;  // keyed by lower-case name
  std::vector<HeldWrite> held_;
  std::unordered_map<std::string, RunShape> run_shapes_;  // by SQLite text
  bool set_runs_ = tsql::SetRunsWanted();
  int run_depth_ = 0;
};

}  // namespace tovan::data::sqlite
