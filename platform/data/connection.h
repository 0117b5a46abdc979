// Connection: an open database connection, ADO-shaped.
//
// The component only executes command text on a connection its host opened;
// it never opens, closes or transacts one.  Execute runs a whole T-SQL batch
// (several statements, no semicolons needed) and answers the rows of the
// first statement that returned any, as a static client-side recordset.
//
// Every statement passes the hooks of statement_hooks.h first: the trace,
// the fault injector, and the observer that enlists the connection in the
// caller's unit of work.
//
// Errors: AutomationError(kDatabaseError) with the database's message; the
// statements of a batch before the failing one stay executed.
//
// Thread-safety: apartment-threaded, one thread at a time.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/automation/typelib.h"
#include "platform/data/ado_constants.h"
#include "platform/data/backend.h"
#include "platform/data/statement_hooks.h"

namespace tovan::data {

class Recordset;

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

  ConnectionBackend& backend() { return *backend_; }
  // Tells the observer a statement is about to run without sending one
  // through the hooks: host components that work on the backend directly
  // call it so their writes join the caller's unit of work.
  void Enlist() {
    if (observer_ != nullptr) observer_->BeforeStatement(*this);
  }
  const std::string& ConnectionString() const { return backend_->DataSource(); }

  // The unit-of-work observer (not owned; null to detach).
  void SetObserver(StatementObserver* observer) { observer_ = observer; }
  StatementObserver* observer() const { return observer_; }
  // Replaces the fault injector (null for none); the environment's is
  // installed when the connection is created.
  void SetFaultInjector(std::shared_ptr<FaultInjector> injector) { faults_ = std::move(injector); }

  static const automation::InterfaceDesc& Describe();

 private:
  void BeforeStatement(std::string_view text);

  std::unique_ptr<ConnectionBackend> backend_;
  StatementObserver* observer_ = nullptr;
  std::shared_ptr<FaultInjector> faults_;
  std::optional<StatementTrace> trace_;
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
  explicit StatementRun(Connection& connection) : connection_(connection) { connection_.backend().BeginRun(); }
  ~StatementRun() {
    if (!finished_) connection_.backend().AbandonRun();
  }
  StatementRun(const StatementRun&) = delete;
  StatementRun& operator=(const StatementRun&) = delete;
  void Finish() {
    finished_ = true;
    connection_.backend().EndRun();
  }

 private:
  Connection& connection_;
  bool finished_ = false;
};

}  // namespace tovan::data
