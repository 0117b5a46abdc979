// The postgresql backend: one PostgreSQL server connection (libpq) that runs
// the component's T-SQL through this backend's dialect.
//
// Round trips are what a server costs, so the connection stays in libpq's
// pipeline mode: the statements of a batch go out together and their
// results are read together, and inside a statement run (BeginRun/EndRun)
// batches that only write are held back and sent with the next ones.  A run
// of held statements of one shape goes as one set-based statement
// (set_runs.cpp).
//
// T-SQL statements are atomic one by one inside a transaction, where a
// failed PostgreSQL statement would abort the whole transaction: inside a
// unit each exchange runs under one savepoint; when a statement of it fails
// the savepoint is rolled back and the statements before the failing one
// are sent again, so the failure undoes just that statement, as on the
// original server.  A read-write unit (kReadWrite) is a REPEATABLE READ
// transaction: a write that meets a row a concurrent unit changed fails at
// that statement with a conflict (counted by ConflictCount) instead of
// writing over it, and the host may run the unit again.  A locking unit
// (kReadWriteLocking) is READ COMMITTED and waits for such rows instead; a
// read-only one is REPEATABLE READ READ ONLY.
//
// Values come back typed by the columns' types: the bit-flag domain (and
// boolean) gives Boolean, timestamp and date give Date, integers give Long,
// numeric and floats give Double, text gives String.
//
// Planning costs a server more than running a short statement, so batches
// are translated by shape (tsql::ShapeCache): their values become
// parameters of statements the session prepares once and runs again with
// each batch's values.  A value binds with the type PostgreSQL would give
// its literal (integer, bigint, or unknown for a quoted text), so that it
// means what the literal would; a statement the server cannot prepare so
// (a parameter it cannot type, a table the batch makes first) runs as text,
// and so does a batch the first time its shape comes.
//
// Errors: AutomationError(kDatabaseError) with the server's message on one
// line.  A connection lost inside a unit fails the unit (the server rolls it
// back); one lost while no unit is open is made again at the next call.  A
// COMMIT whose answer is lost is asked after on a new connection, by the
// transaction id the unit took when it began: committed returns, rolled back
// raises kDatabaseError, and kCommitInDoubt only when the server cannot say.
//
// Thread-safety: one thread at a time.
//
// Files: session.cpp (connecting, session settings, the catalog, units of
// work), statement.cpp (batches, exchanges, held writes, rows, procedures),
// error.cpp (libpq's and the server's errors), set_runs.cpp, bulk_load.cpp.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <unordered_set>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/data/backend.h"
#include "platform/data/postgresql/name_catalog.h"
#include "platform/data/tsql/set_runs.h"
#include "platform/data/tsql/shape_cache.h"
#include "platform/data/tsql/tokenizer.h"

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace tovan::data::tsql {
struct TranslatedStatement;
struct Translation;
}  // namespace tovan::data::tsql

namespace tovan::data::postgresql {

// The libpq connection text of a data-source text: the URI itself for
// "postgresql://..." and "postgres://...", the rest of "pg:...".  Empty for
// other data sources.
std::string ServerConnectionText(std::string_view data_source);
// `data_source` with any password replaced by "***", for messages.
std::string RedactedDataSource(std::string_view data_source);

// The text a value of host SQL is sent as (`is_null`: sent as NULL).
void ParameterText(const automation::Variant& v, std::string& text, bool& is_null);

// Creates the database `data_source` names, connecting to the server's
// "postgres" database to do it; raises kDatabaseError (the server's message).
void CreateDatabase(std::string_view data_source);

class PostgresBackend final : public ConnectionBackend {
 public:
  // Connects; raises kDatabaseError with the server's message (one line).
  static std::unique_ptr<PostgresBackend> Open(const std::string& data_source, int connect_timeout_s = 10);
  ~PostgresBackend() override;

  BatchResult Execute(std::string_view text) override;
  void BeginRun() override;
  void EndRun() override;
  void AbandonRun() noexcept override;
  ResultSet ExecuteNative(const std::string& sql, std::span<const automation::Variant> params) override;
  void ExecuteScript(const std::string& sql) override;
  // COPY ... FROM STDIN (bulk_load.cpp).
  bool AppendRows(const std::string& table, const std::vector<std::string>& columns,
                  std::span<const automation::Variant> values) override;
  std::string_view Engine() const override { return "postgresql"; }
  int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) override;
  void RegisterProcedure(std::string name, NativeProcedure procedure) override;
  void BeginTransaction(TransactionAccess access) override;
  void CommitTransaction() override;
  void RollbackTransaction() override;
  bool InTransaction() const override;
  const std::string& DataSource() const override { return data_source_; }
  std::int64_t ConflictCount() const override { return conflicts_; }

  // Reads the catalog's names again (after DDL run elsewhere).
  void ReloadCatalog();
  const NameCatalog& catalog() const { return catalog_; }
  // The server process of this connection, for tests that end it.
  int ServerProcessId() const;

 private:
  // One statement of an exchange.
  struct Outgoing {
    std::string sql;
    std::vector<std::string> params;  // text values; a null is flagged
    std::vector<bool> null;
    std::vector<unsigned int> types;  // the parameters' type OIDs (0: as the server infers); empty: all 0
    std::string prepared;             // the session's prepared statement to run instead of sql
    bool prepare_only = false;        // prepares sql as `prepared`, runs nothing
    bool collect = false;  // its rows are wanted
    bool counted = true;   // its changed rows count in the batch's records affected
    bool held = false;     // a held-back write: it may go in a set-based run
  };
  struct Failure {
    std::size_t index = 0;  // the failing statement among those sent
    std::string message;
    bool answered = false;  // the server itself answered the error (not a lost connection)
  };

  PostgresBackend(PGconn* conn, std::string data_source);
  // The batch being run: its text and literals, which parameters bind from.
  struct Batch {
    std::string_view text;
    const std::vector<tsql::Literal>& literals;
  };
  std::shared_ptr<const tsql::Translation> Translate(std::string_view text);
  // How statement `s` of `batch` goes out: prepared with its values bound,
  // or as its text when it binds nothing.  False when it binds values but
  // cannot be prepared.
  bool Outgo(const tsql::TranslatedStatement& s, const Batch& batch, Outgoing& o);
  // Whether every statement of `statements` (conditional ones included) can go out.
  bool CanOutgo(const std::vector<tsql::TranslatedStatement>& statements, const Batch& batch);
  // The name of the session's prepared statement for `sql` with `types`,
  // prepared now when new; empty when it cannot be.
  // `may_deallocate`: false while statements naming prepared ones wait to go.
  std::string PreparedName(const std::string& sql, const std::vector<unsigned int>& types,
                           std::size_t max_params = 64, bool may_deallocate = true);
  void Run(const std::vector<tsql::TranslatedStatement>& statements, const Batch& batch, BatchResult& out,
           std::vector<Outgoing>& pending);
  // Sends `statements` in one pipeline (each under a savepoint inside a
  // transaction) and reads every result; rows of the first collecting
  // statement go to `out`.  Raises the first failure's message.
  void Exchange(std::vector<Outgoing>& statements, BatchResult* out);
  // Our own transaction control (commit, rollback, undoing one statement):
  // no savepoints, and never on a connection made again, where a COMMIT
  // would answer "done" for work the lost session took with it.
  enum class Framing { kStatements, kControl };
  // The same without raising: the failure, if any.
  bool TryExchange(std::vector<Outgoing>& statements, BatchResult* out, Failure& failure,
                   Framing framing = Framing::kStatements);
  void FlushHeld();
  // Set-based runs (set_runs.cpp).  What a held statement's shape allows:
  // resolved once per prepared statement.
  struct RunShape {
    bool mergeable = false;
    tsql::SetRunShape shape;
    std::vector<unsigned int> types;  // the parameters' types, as the server resolved them
  };
  const RunShape& RunShapeOf(const Outgoing& o);
  // `statements` with each run of held statements of one shape made one
  // statement; origin[k]: the first of `statements` that merged[k] stands for.
  // False when nothing merges.
  bool MergeRuns(const std::vector<Outgoing>& statements, std::vector<Outgoing>& merged,
                 std::vector<std::size_t>& origin);
  // TryExchange with runs merged; a merged statement that fails goes again
  // one statement at a time, so the failure is met where it would be.
  bool TryExchangeRuns(std::vector<Outgoing>& statements, BatchResult* out, Failure& failure);
  void Simple(const std::string& sql);  // one statement of our own, no savepoint
  void SetUpSession();                  // settings and pipeline mode of a new connection
  void Reconnect();
  void ReadRows(PGresult* result, ResultSet& rows);
  [[noreturn]] void Fail(const std::string& message);
  void NoteError(PGresult* result, std::string& message);

  PGconn* conn_;
  std::string data_source_;
  NameCatalog catalog_;
  unsigned int flag_type_ = 0;                   // OID of the bit-flag domain
  std::set<std::pair<unsigned int, int>> flag_columns_;  // (table OID, column number)
  std::unordered_map<std::string, std::shared_ptr<const tsql::Translation>> translations_;  // by exact text
  tsql::ShapeCache shapes_;  // parameterized translations by shape
  std::unordered_map<std::string, std::string> prepared_;  // sql and types → prepared statement name
  std::unordered_set<std::string> unpreparable_;          // sql and types the server would not prepare
  std::unordered_set<std::string> seen_once_;             // sql and types run once, as text
  std::uint64_t prepared_count_ = 0;                       // names given so far
  std::vector<tsql::Literal> literals_;                    // scratch of Execute
  std::unordered_map<std::string, std::string> native_sql_;
  std::map<std::string, NativeProcedure> procedures_;  // by lower-case name
  std::vector<Outgoing> held_;  // writes of the open run not yet sent
  std::unordered_map<std::string, RunShape> run_shapes_;  // by the prepared statement's name
  bool set_runs_ = tsql::SetRunsWanted();
  int run_depth_ = 0;
  bool in_transaction_ = false;
  std::string xact_id_;  // the open unit's transaction id; empty for a unit that only reads
  int unit_pid_ = 0;     // the server process of the open unit's session
  bool xid8_ = true;     // the server has pg_current_xact_id (13 and later)
  std::int64_t conflicts_ = 0;
};

}  // namespace tovan::data::postgresql
