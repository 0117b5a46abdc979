// What the database itself did wrong, said beside an operation's message.
//
// The component answers a failed statement with its neutral result, as its
// host expects, so a workflow that meets one only knows its stage.  The data
// layer notes a fault of the database (full disk, lost connection, damage,
// ...) on the thread; a workflow clears it when it starts and names it as
// the first cause when it reports a failure.
//
// Thread-safety: the calling thread's note.
#pragma once

#include <string>

#include "backoffice/refusal.h"
#include "platform/automation/error.h"
#include "platform/data/data_error.h"

namespace tovan::backoffice {

// The line naming the thread's noted fault, or the empty text.
inline std::string DatabaseCause() {
  auto fault = data::LastDatabaseFault();
  return fault ? "cause: " + std::string(data::FaultText(*fault)) : std::string();
}

// `failed` with the noted fault as its first cause.
inline OperationFailed WithDatabaseCause(OperationFailed failed) {
  std::string cause = DatabaseCause();
  if (!cause.empty()) failed.causes.insert(failed.causes.begin(), std::move(cause));
  return failed;
}

// A database error met by the workflow itself: with a noted fault it is the
// operation's failure, its cause named; otherwise it passes on as it is.
[[noreturn]] inline void RethrowWithDatabaseCause(const automation::AutomationError& error) {
  std::string cause = DatabaseCause();
  if (cause.empty()) throw error;
  throw OperationFailed{error.description(), {std::move(cause)}};
}

// A commit in doubt as the operation's answer: what was lost and why
// nobody could tell are its causes, the noted fault last.
inline OutcomeUnknown InDoubt(const automation::AutomationError& error) {
  OutcomeUnknown unknown{"unknown: check `closed`", {error.description()}};
  if (std::string cause = DatabaseCause(); !cause.empty()) unknown.causes.push_back(std::move(cause));
  return unknown;
}

}  // namespace tovan::backoffice
