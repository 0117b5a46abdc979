// The backend interface: what a database engine must offer the ADO-shaped
// objects above it.  One backend object is one open database connection.
//
// Backends live in folders of their own with the same file names
// (sqlite/backend.cpp, later odbc/backend.cpp).  A backend receives the
// component's T-SQL text exactly as sent and does whatever its engine
// needs (the sqlite backend translates it; an ODBC backend would pass it on).
//
// Errors: every method raises AutomationError (kDatabaseError) with the
// engine's message; after a failed Execute the statements of the batch
// before the failing one stay executed, as on a server.
//
// Thread-safety: a backend is used by one thread at a time.
#pragma once

#include <functional>
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

// A stored procedure implemented natively by the host for a backend that has
// none of its own: it runs on the calling connection, reads its input
// arguments, writes output ones and returns the RETURN_VALUE.
using NativeProcedure = std::function<int32_t(ConnectionBackend& connection, std::vector<ProcedureArgument>& args)>;

class ConnectionBackend {
 public:
  virtual ~ConnectionBackend() = default;

  // Runs every statement of the T-SQL batch `text`, in order.
  virtual BatchResult Execute(std::string_view text) = 0;

  // Runs the stored procedure `name` with `args` (output arguments written
  // back); returns its return value.
  virtual int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) = 0;
  virtual void RegisterProcedure(std::string name, NativeProcedure procedure) = 0;

  // Transactions of units of work.  Begin takes the write lock, waiting up
  // to the busy timeout for another unit to end.
  virtual void BeginTransaction() = 0;
  virtual void CommitTransaction() = 0;
  virtual void RollbackTransaction() = 0;
  virtual bool InTransaction() const = 0;

  // The data-source text it was opened with.
  virtual const std::string& DataSource() const = 0;
};

}  // namespace tovan::data
