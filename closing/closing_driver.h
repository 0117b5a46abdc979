// ProcessDailyBalance: the daily closing of a selection of retail bills.
//
// In order: a daily-bill number and header; the aggregation of the goods
// lines and the settlement sum; the stock bill assembled, reconciled, saved,
// indexed and audited (and the check bill, when asked); the daily-bill
// entries in batches; the retail bills stamped with the daily bill.  A
// failure at any stage hands the stage to RollbackClosing, which removes
// what was written and sets the stage's message; success answers "日结成功".
//
// A line whose batches cannot be allocated (no stock batch to take from)
// stops the closing too: the header is removed like any other early failure
// and the message names the item, so nothing half-made stays behind.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <memory>
#include <string>

#include "closing/stock_bill_assembly.h"
#include "component/context_binding.h"
#include "platform/automation/dispatch.h"

namespace tovan::closing {

struct ClosingRequest {
  automation::DispatchPtr events;  // the host's EventsSwitch
  std::string data_source;
  std::string retail_bill_ids;  // sID
  ClosingParameters parameters;
  bool create_check_bill = false;
  int32_t in_customer_id = 0;
};

// The message of a closing stopped by a line without allocatable batches.
std::string UnallocatedMessage(const std::string& item_id);

bool ProcessDailyBalance(component::ContextBinding& binding, const ClosingRequest& request, std::string& message);

}  // namespace tovan::closing
