// Stock-bill assembly: the sales-out stock bill of a closing, built in
// memory from the closing's parameters, its settlement records and the
// aggregated sales lines, before the entry amounts are reconciled and the
// bill is saved.
//
// The header carries the customer, dates, bill type (3001 sales, 3002
// returns), user, department, the settlement totals (FAllAmount, and the
// paid part of settlement items 1 and 5) and the account; the entries are
// one per batch allocation row of each aggregated line, with amounts less
// the line's share of the deductible settlement total, split into tax and
// net amount by the tax factor, and unit prices.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "component/context_binding.h"
#include "platform/automation/dispatch.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

struct ClosingParameters {
  std::string bill_type;  // "1" sales, otherwise returns
  automation::Date bal_date;
  std::string invoice_type;
  std::string client;
  double tax = 0;
  std::shared_ptr<foundation::Vector> settlements;  // vec
  int32_t dept_id = 0;
};

// The header record.  Raises AutomationError for a missing or empty
// settlement list, for values that cannot take part in the arithmetic and
// for a settlement record without FSettleAcctItemID where the account is read.
std::shared_ptr<foundation::Dictionary> AssembleHeader(component::ContextBinding& binding,
                                                       const ClosingParameters& parameters);

// Why an entry list could not be made for a line: its batch allocation gave
// no list (or an empty one).
struct UnallocatedLine {
  std::string item_id;
};

struct AssembledEntries {
  std::shared_ptr<foundation::Vector> entries;  // null when `unallocated` is set
  std::optional<UnallocatedLine> unallocated;
};

// The entry list.  `aggregated` holds the aggregated lines and, last, the
// total record.  After each line the host's pending events are processed and
// `events`.SetProgressValue(position) is called.  Raises AutomationError for
// values that cannot take part in the arithmetic and for failing progress
// calls.
AssembledEntries AssembleEntries(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                                 const ClosingParameters& parameters, foundation::Vector& aggregated,
                                 double deductible_total, double total_amount, const std::string& daily_bill_no,
                                 const std::string& daily_bill_id, const automation::DispatchPtr& events);

}  // namespace tovan::closing
