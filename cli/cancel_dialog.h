// Cancelling daily closings as the host does it, shared by `cancel` and the
// browser dialog: each daily bill in a unit of work of its own, committed
// only when its cancellation answered True, so a bill that is refused or
// fails half-way stays whole while the bills cancelled before it stand.
//
// Thread-safety: the calling thread's host context (HostSession).
#pragma once

#include <string>

#include "cli/host_session.h"

namespace tovan::cli {

struct CancelOutcome {
  bool ok = true;
  std::string message;  // "反日结完成！" or the component's lines, CR LF ended
};

// `ids` is a validated id list.
CancelOutcome CancelDailyBills(const HostSession& session, const std::string& ids, automation::DispatchPtr events);

}  // namespace tovan::cli
