// AllocateBatches: splits an aggregated line's quantity over the stock
// batches of its item, stock and auxiliary property, in batch-number order.
//
// Mode "1" (sales) takes whole positive batches until one holds at least
// what is still needed, which gives exactly the rest; mode "2" (returns)
// puts the whole quantity on the first batch; any other mode takes every
// batch whole.  Rows: FQty, FBatchNo, FKFDate, FPeriodDate, FKFPeriod.
//
// Votes SetAbort first and SetComplete on the normal path.
// Thread-safety: the calling thread's connection.
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

// An empty list when no batch qualifies; null when the connection is not set
// or anything fails.
std::shared_ptr<foundation::Vector> AllocateBatches(component::ContextBinding& binding,
                                                    const std::shared_ptr<data::Connection>& connection,
                                                    int32_t item_id, int32_t aux_prop_id, int32_t stock_id,
                                                    double quantity, const std::string& mode);

}  // namespace tovan::closing
