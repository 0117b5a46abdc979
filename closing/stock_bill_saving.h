// SaveStockAndCheckBill: writes the assembled stock bill, indexes it and
// has the host's stock plug-in audit it; when asked, writes the check bill
// that turns its receivable over to another customer, indexes it and has the
// receivables plug-in write it off.
//
// Statements are built from the records' keys in key order: texts and dates
// quoted, header doubles written as absolute values; entry statements go in
// batches whose statements add up to less than 4000 characters.
//
// Answers False on any failure (leaving its SetAbort standing); the IDs of
// what was already written are in the out arguments for the rollback.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

// The batches of statements sent for `statements`: a batch is sent before
// the lengths of its statements would reach `limit` characters; one longer
// statement goes alone.  Each batch is the statements joined by CR LF.
std::vector<std::string> BatchStatements(const std::vector<std::string>& statements, size_t limit = 4000);

bool SaveStockAndCheckBill(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                           foundation::Dictionary* header, foundation::Vector* entries, bool create_check_bill,
                           int32_t in_customer_id, automation::Date bal_date, int32_t& stock_bill_id,
                           int32_t& check_bill_id);

}  // namespace tovan::closing
