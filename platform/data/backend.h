// The backend interface: what a database engine must offer the ADO-shaped
// objects above it.  One backend object is one open database connection.
//
// Backends live in folders of their own with the same file names
// (sqlite/, postgresql/: backend.h the class, session.cpp connecting and
// units of work, statement.cpp running statements, error.cpp the engine's
// errors).  A backend receives the component's T-SQL text exactly as sent
// and does whatever its engine needs (both translate it with their own
// rewriter; an ODBC backend to a SQL Server would pass it on).
//
// Errors: every method raises AutomationError (kDatabaseError) with the
// engine's message; after a failed Execute the statements of the batch
// before the failing one stay executed, as on a server.
//
// Thread-safety: a backend is used by one thread at a time.
#pragma once

#include <functional>
#include <span>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/data/result_set.h"

namespace tovan::data {

// A parameter of a stored-procedure call, as the procedure sees it.
struct ProcedureArgument {
  std::string name;  // "@TableName"
  int32_t direction = 1;  // ado::kParamInput etc.
  automation::Variant value;
};

class ConnectionBackend;

// What a unit of work's transaction may do.
//  - kReadWrite reads one snapshot; on a server, a write that meets a row a
//    concurrent unit changed fails as a conflict (and the host may run the
//    unit again).
//  - kReadWriteLocking reads the latest committed rows at each statement and
//    waits for a row a concurrent unit writes instead of failing on it; the
//    host locks what its checks rely on itself (SELECT ... FOR UPDATE).  The
//    embedded engine, which runs one writer at a time, makes it kReadWrite.
//  - kReadOnly never waits for a writer (it reads a snapshot taken at its
//    first statement) and refuses every write as a database error.
enum class TransactionAccess { kReadWrite, kReadWriteLocking, kReadOnly };

// A stored procedure implemented natively by the host for a backend that has
// none of its own: it runs on the calling connection, reads its input
// arguments, writes output ones and returns the RETURN_VALUE.
using NativeProcedure = std::function<int32_t(ConnectionBackend& connection, std::vector<ProcedureArgument>& args)>;

class ConnectionBackend {
 public:
  virtual ~ConnectionBackend() = default;

  // Runs every statement of the T-SQL batch `text`, in order.
  virtual BatchResult Execute(std::string_view text) = 0;

  // A run of writes whose results nobody reads (see Connection's
  // StatementRun): while one is open, Execute may hold back a batch that
  // only writes and send it with the next ones in one round trip.  A held
  // statement that fails raises at the next Execute, CallProcedure or
  // EndRun, with its own message; the held ones after it are not run.
  // Backends without round trips run everything at once.
  virtual void BeginRun() {}
  virtual void EndRun() {}
  // Ends the run, dropping what it holds unsent (never raises).
  virtual void AbandonRun() noexcept {}

  // The engine's own SQL, for the host's schema, bookkeeping and tests: one
  // statement in the SQL the engines share (standard SQL, INSERT ... ON
  // CONFLICT, RETURNING, coalesce) with ?1, ?2, ... bound from `params`
  // (Long/Integer/Boolean as integers, Double as a number, Date as its
  // text, String as text, Null/Empty as NULL).  Not traced, not translated.
  // Answers the rows it returned, typed as Execute types them.
  virtual ResultSet ExecuteNative(const std::string& sql, std::span<const automation::Variant> params) = 0;
  // A bulk load for the host's builder: appends rows to `table` (named as
  // ExecuteNative names it), `values` holding them one after another,
  // `columns.size()` values each, each value read as ExecuteNative binds it.
  // False when the engine has no way faster than multi-row INSERTs: the
  // caller sends those.  A failure fails the open transaction whole.
  virtual bool AppendRows(const std::string& /*table*/, const std::vector<std::string>& /*columns*/,
                          std::span<const automation::Variant> /*values*/) {
    return false;
  }
  // Several statements of the engine's own SQL, without parameters (schema scripts).
  virtual void ExecuteScript(const std::string& sql) = 0;
  // "sqlite" or "postgresql": for the host's schema scripts.
  virtual std::string_view Engine() const = 0;

  // Runs the stored procedure `name` with `args` (output arguments written
  // back); returns its return value.
  virtual int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) = 0;
  virtual void RegisterProcedure(std::string name, NativeProcedure procedure) = 0;

  // Transactions of units of work.  On the embedded engine a read-write
  // Begin takes the write lock, waiting up to the busy timeout for another
  // unit to end; on a server it begins a transaction whose conflicts with
  // another surface as a database error at the statement that meets them.
  // A read-only Begin takes no lock on either.  A commit that fails has not
  // committed, except kCommitInDoubt: its answer was lost and the engine
  // could not find out what became of it.
  virtual void BeginTransaction(TransactionAccess access) = 0;
  virtual void CommitTransaction() = 0;
  virtual void RollbackTransaction() = 0;
  virtual bool InTransaction() const = 0;

  // How many statements met a concurrent unit's conflicting write (and
  // failed for it) since the connection was opened: a host may run a unit
  // that failed for a conflict again.  Engines that serialize units: 0.
  virtual std::int64_t ConflictCount() const { return 0; }

  // The data-source text it was opened with.
  virtual const std::string& DataSource() const = 0;
};

}  // namespace tovan::data
