// Wrappers of the backend interface for tests and diagnosis: the statement
// trace and the fault injector.  Each one is a ConnectionBackend that passes
// everything on to the backend it wraps (LevelDB's EnvWrapper is the model),
// so a connection carries them only when asked and pays nothing otherwise.
//
// Trace: when $DAILYBALANCE_TRACE names a file, every statement text sent
// through a Connection is appended to it exactly as sent (before any
// translation), followed by a line holding only "-- end --".
//
// Faults: a FaultInjector makes the Nth statement of its connection, or
// every statement containing a given text, fail with a database error, end
// the process at once, or stall for kPause first (a slow statement, which
// holds its unit open while other processes work).  $DAILYBALANCE_FAULT sets
// one for a whole process: "fail:N", "exit:N", "pause:N", or the same verbs
// with ":text".
//
// Only statements count: Execute and CallProcedure.  The engine's own SQL
// (ExecuteNative, ExecuteScript) and the transactions pass untouched.
//
// Thread-safety: an injector belongs to the connections of one thread; the
// trace appends whole records with one write each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/data/backend.h"

namespace tovan::data {

class Connection;

// Passes every call on to `target`; wrappers override what they watch.
class BackendWrapper : public ConnectionBackend {
 public:
  explicit BackendWrapper(std::unique_ptr<ConnectionBackend> target) : target_(std::move(target)) {}

  ConnectionBackend& target() { return *target_; }

  BatchResult Execute(std::string_view text) override { return target_->Execute(text); }
  void BeginRun() override { target_->BeginRun(); }
  void EndRun() override { target_->EndRun(); }
  void AbandonRun() noexcept override { target_->AbandonRun(); }
  ResultSet ExecuteNative(const std::string& sql, std::span<const automation::Variant> params) override {
    return target_->ExecuteNative(sql, params);
  }
  void ExecuteScript(const std::string& sql) override { target_->ExecuteScript(sql); }
  std::string_view Engine() const override { return target_->Engine(); }
  int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) override {
    return target_->CallProcedure(name, args);
  }
  void RegisterProcedure(std::string name, NativeProcedure procedure) override {
    target_->RegisterProcedure(std::move(name), std::move(procedure));
  }
  void BeginTransaction(TransactionAccess access) override { target_->BeginTransaction(access); }
  void CommitTransaction() override { target_->CommitTransaction(); }
  void RollbackTransaction() override { target_->RollbackTransaction(); }
  bool InTransaction() const override { return target_->InTransaction(); }
  std::int64_t ConflictCount() const override { return target_->ConflictCount(); }
  const std::string& DataSource() const override { return target_->DataSource(); }

 private:
  std::unique_ptr<ConnectionBackend> target_;
};

// Appends each statement to the trace file, then runs it.
class TracingBackend final : public BackendWrapper {
 public:
  TracingBackend(std::unique_ptr<ConnectionBackend> target, std::string path)
      : BackendWrapper(std::move(target)), path_(std::move(path)) {}

  BatchResult Execute(std::string_view text) override {
    Append(text);
    return BackendWrapper::Execute(text);
  }
  int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) override {
    Append(name);
    return BackendWrapper::CallProcedure(name, args);
  }

 private:
  // A trace that cannot be written is skipped silently: tracing must never
  // change what the component does.
  void Append(std::string_view text) const;
  std::string path_;
};

class FaultInjector {
 public:
  enum class Action { Fail, Exit, Pause };
  static constexpr int kPauseMilliseconds = 10000;

  // Fires on the `n`th statement (1-based) counted from now.
  static std::shared_ptr<FaultInjector> AtStatement(int64_t n, Action action);
  // Fires on every statement whose text contains `needle` (case-sensitive).
  static std::shared_ptr<FaultInjector> OnText(std::string needle, Action action);
  // The injector $DAILYBALANCE_FAULT asks for, or null.
  static std::shared_ptr<FaultInjector> FromEnvironment();

  // Counts the statement and, when the plan says so, raises a database
  // error ("injected fault at statement N"), ends the process with
  // _exit(75), as a crash would (no destructors, no commits), or sleeps
  // kPauseMilliseconds and lets the statement run (saying so on stderr
  // first: "injected pause at statement N").
  void BeforeStatement(std::string_view text);

  int64_t statements_seen() const { return seen_; }
  int64_t faults_fired() const { return fired_; }
  // The text of the last statement it failed (empty before the first).
  const std::string& last_failed_text() const { return last_failed_; }

 private:
  FaultInjector(int64_t n, std::string needle, Action action) : n_(n), needle_(std::move(needle)), action_(action) {}
  int64_t n_;
  std::string needle_;
  Action action_;
  int64_t seen_ = 0;
  int64_t fired_ = 0;
  std::string last_failed_;
};

// Asks its injector before each statement.  Several connections may share
// one injector (a process's plan counts all their statements).
class FaultInjectingBackend final : public BackendWrapper {
 public:
  FaultInjectingBackend(std::unique_ptr<ConnectionBackend> target, std::shared_ptr<FaultInjector> plan)
      : BackendWrapper(std::move(target)), plan_(std::move(plan)) {}

  BatchResult Execute(std::string_view text) override {
    if (plan_) plan_->BeforeStatement(text);
    return BackendWrapper::Execute(text);
  }
  int32_t CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) override {
    if (plan_) plan_->BeforeStatement(name);
    return BackendWrapper::CallProcedure(name, args);
  }
  void set_plan(std::shared_ptr<FaultInjector> plan) { plan_ = std::move(plan); }

 private:
  std::shared_ptr<FaultInjector> plan_;
};

// `backend` with the wrappers the environment asks for: the fault injector
// of $DAILYBALANCE_FAULT inside the trace of $DAILYBALANCE_TRACE, so that a
// statement the injector fails is still traced.  Unchanged when neither is set.
std::unique_ptr<ConnectionBackend> WrapFromEnvironment(std::unique_ptr<ConnectionBackend> backend);

// Gives `connection` the fault plan `plan` (null: none): the connection's
// fault wrapper takes it in place of its own, or one is put around its
// statements.
void InjectFaults(Connection& connection, std::shared_ptr<FaultInjector> plan);

}  // namespace tovan::data
