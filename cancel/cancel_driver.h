// UnBalData: cancels daily closings.
//
// For each (daily bill, stock bill) the closings left behind: refuse it when
// a generated bill carries a voucher or a later document refers to it (a
// message line per refused bill); otherwise have the host undo the check
// bills' write-off and delete them, undo the stock bill's audit and delete
// it, replace their search-index rows, clear the retail bills' stamps and
// delete the daily bill.  Progress goes to the host's EventsSwitch, once per
// row, and the host's pending events are processed between rows.
//
// "反日结完成！" when every bill was cancelled; the caller's text plus the
// lines of the failed bills (or "反日结失败！") otherwise; on a run-time error
// "反日结失败！" + CR LF + its description.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <string>

#include "component/context_binding.h"
#include "component/progress.h"
#include "platform/automation/dispatch.h"

namespace tovan::cancel {

bool UnBalData(component::ContextBinding& binding, const automation::DispatchPtr& events,
               const std::string& data_source, const std::string& daily_bill_ids, std::string& message,
               component::ProgressCounters& progress);

}  // namespace tovan::cancel
