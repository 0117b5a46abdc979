// Cancelling daily closings as the back office does it for both front ends.
// Every id must name a daily bill that stands (unknown and already cancelled
// ones are refused by name before anything runs).  Then each daily bill is
// cancelled in a unit of work of its own, committed only when its
// cancellation answered True, so a bill that is refused or fails half-way
// stays whole while the bills cancelled before it stand.  The result names
// each daily bill that was cancelled, and only those; one whose commit's
// answer was lost is named as cancelled or failed once the database has said
// which, and as unknown only when it could not be asked.
//
// Errors: Refusal ("ids") for unknown or repeated ids, ("reason") for a
// missing reason, kForbidden for an operator who may not cancel;
// AutomationError when a call cannot be made.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backoffice/session.h"
#include "platform/automation/dispatch.h"

namespace tovan::backoffice {

struct CancelledDay {
  int32_t id = 0;
  std::string bill_no;
};

struct CancelFailure {
  int32_t id = 0;
  std::string bill_no;
  std::vector<std::string> lines;  // the component's message, one line each
};

struct CancelResult {
  std::vector<CancelledDay> cancelled;
  std::vector<CancelFailure> failed;
  // Cancellations whose commit got no answer, and the database could not be
  // asked: each may stand or not.
  std::vector<CancelFailure> unknown;
  bool ok() const { return failed.empty() && unknown.empty(); }
};

// `ids` is a checked id list.  Cancelling needs a supervisor and a reason;
// each cancellation, done, refused or failed, is recorded in the audit
// trail with the reason.
CancelResult CancelClosings(Session& session, const std::string& ids, const std::string& reason,
                            automation::DispatchPtr events);

// The checks alone: the operator's right, the reason, and the daily bills of
// `ids` that stand, by id, with their numbers.  Raises Refusal ("ids")
// naming the ids that do not stand (never made, or cancelled).
std::vector<CancelledDay> CheckCancel(Session& session, const std::string& ids, const std::string& reason);

}  // namespace tovan::backoffice
