// What happens around every statement a Connection sends: the statement
// trace, the fault-injection seam, and the enlistment of the connection in
// the caller's unit of work.
//
// Trace: when $DAILYBALANCE_TRACE names a file, every statement text sent
// through a Connection is appended to it exactly as sent (before any
// translation), followed by a line holding only "-- end --".
//
// Faults (LevelDB's Env is the model: tests swap the seam, the code under
// test does not change): a FaultInjector makes the Nth statement of its
// connection, or every statement containing a given text, fail with a
// database error, end the process at once, or stall for kPause first (a
// slow statement, which holds its unit open while other processes work).
// $DAILYBALANCE_FAULT sets one for a whole process: "fail:N", "exit:N",
// "pause:N", or the same verbs with ":text".
//
// Thread-safety: an injector belongs to one connection and its thread; the
// trace appends whole records with one write each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tovan::data {

class Connection;

// Told before every statement of a connection; the host's data context
// uses it to begin the unit of work's transaction at its first statement.
class StatementObserver {
 public:
  virtual ~StatementObserver() = default;
  virtual void BeforeStatement(Connection& connection) = 0;
};

class StatementTrace {
 public:
  // The trace named by $DAILYBALANCE_TRACE, or nullopt when not set.
  static std::optional<StatementTrace> FromEnvironment();
  explicit StatementTrace(std::string path) : path_(std::move(path)) {}

  // Appends one record; a trace that cannot be written is skipped silently
  // (tracing must never change what the component does).
  void Append(std::string_view text) const;

 private:
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

}  // namespace tovan::data
