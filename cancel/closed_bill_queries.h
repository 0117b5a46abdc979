// The reads that go with a cancellation: the closed daily bills
// (SetTotalData), the retail bills of one daily bill (SetDetailData) and the
// ids of retail bills in closed daily bills (GetUnBalDataID).
//
// Each binds the instance to the data source, votes SetAbort, and
// SetComplete on success; any failure answers a null list or the empty text.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/foundation/vector.h"

namespace tovan::cancel {

// Records {FDate, FBillNo, FID} per daily bill with entries; `filter`
// replaces the condition 1=1 when given.
std::shared_ptr<foundation::Vector> SetTotalData(component::ContextBinding& binding, const std::string& data_source,
                                                 const std::string& filter);
// Records {FID, FID_SRC, FBillNo_SRC, FDate, FBranchShop, FCashier,
// FSettleAmount} per retail bill of daily bill `daily_bill_id`.
std::shared_ptr<foundation::Vector> SetDetailData(component::ContextBinding& binding, const std::string& data_source,
                                                  const std::string& daily_bill_id);
// "12,15,20": the retail bills in closed daily bills matching `filter`
// (aliases a retail bill, c daily bill); the empty text when none.
std::string GetUnBalDataID(component::ContextBinding& binding, const std::string& data_source,
                           const std::string& filter);

}  // namespace tovan::cancel
