// Connection: an open database connection, ADO-shaped.
//
// The component only executes command text on a connection its host opened;
// it never opens, closes or transacts one.  Execute runs a whole T-SQL batch
// (several statements, no semicolons needed) and answers the rows of the
// first statement that returned any, as a static client-side recordset.
//
// Every statement tells the observer first (it enlists the connection in the
// caller's unit of work), then goes to the backend through whatever wrappers
// were put around it (backend_wrappers.h: the trace, the fault injector).
//
// Errors: AutomationError(kDatabaseError) with the database's message; the
// statements of a batch before the failing one stay executed.
//
// Thread-safety: apartment-threaded, one thread at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/automation/typelib.h"
#include "platform/data/ado_constants.h"
#include "platform/data/backend.h"

namespace tovan::data {

class Connection;
class Recordset;

// Told before every statement of a connection; the host's data context
// uses it to begin the unit of work's transaction at its first statement.
class StatementObserver {
 public:
  virtual ~StatementObserver() = default;
  virtual void BeforeStatement(Connection& connection) = 0;
};

class Connection final : public automation::DescribedObject {
 public:
  explicit Connection(std::unique_ptr<ConnectionBackend> backend);
  ~Connection() override;

  // Runs the batch.  `records_affected`, when given, receives the number of
  // rows the batch's INSERT, UPDATE and DELETE statements changed.  Returns
  // the first result set as an open recordset attached to this connection,
  // or a closed recordset when no statement returned one (ADO's behaviour).
  std::shared_ptr<Recordset> Execute(std::string_view text, int32_t* records_affected = nullptr,
                                     int32_t options = ado::kOptionUnspecified);
  // The same, for callers that want the materialised result itself.
  BatchResult ExecuteBatch(std::string_view text);
  // Calls a stored procedure through the hooks (a Command does this).
  int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args);

  // The engine itself, without wrappers: what host components, the units
  // of work and the engine's own SQL use (none of it is a statement).
  ConnectionBackend& backend() { return *engine_; }
  // What statements go through: the engine, or the wrappers around it.
  ConnectionBackend& statements() { return *statements_; }
  // Puts the wrapper `wrap` makes around what statements go through.
  void Wrap(const std::function<std::unique_ptr<ConnectionBackend>(std::unique_ptr<ConnectionBackend>)>& wrap) {
    statements_ = wrap(std::move(statements_));
  }
  // Tells the observer a statement is about to run without sending one
  // through the hooks: host components that work on the backend directly
  // call it so their writes join the caller's unit of work.
  void Enlist() {
    if (observer_ != nullptr) observer_->BeforeStatement(*this);
  }
  const std::string& ConnectionString() const { return engine_->DataSource(); }

  // The unit-of-work observer (not owned; null to detach).
  void SetObserver(StatementObserver* observer) { observer_ = observer; }
  StatementObserver* observer() const { return observer_; }

  static const automation::InterfaceDesc& Describe();

 private:
  std::unique_ptr<ConnectionBackend> statements_;
  ConnectionBackend* engine_;
  StatementObserver* observer_ = nullptr;
};

// A run of writes whose results the caller does not read (balance updates,
// entry batches): on a server, batches that only write are held back and
// sent together, a round trip for hundreds instead of one each.  Finish
// sends what is held and raises the first failure among them (with the
// failing statement's own message; those after it are not run), so a caller
// that finishes its run where its stage ends sees the failure in that stage.
// Left without Finish (an error on the way), what is held is dropped: the
// unit it belongs to is being given up.
class StatementRun {
 public:
  explicit StatementRun(Connection& connection) : connection_(connection) { connection_.statements().BeginRun(); }
  ~StatementRun() {
    if (!finished_) connection_.statements().AbandonRun();
  }
  StatementRun(const StatementRun&) = delete;
  StatementRun& operator=(const StatementRun&) = delete;
  void Finish() {
    finished_ = true;
    connection_.statements().EndRun();
  }

 private:
  Connection& connection_;
  bool finished_ = false;
};

}  // namespace tovan::data
