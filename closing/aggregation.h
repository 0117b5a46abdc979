// The two reads a closing makes before it assembles the stock bill:
//
// AggregateRetailLines sums the goods lines of the retail bills per item,
// unit, stock, auxiliary property and stock type in the temporary table
// #0408 of the connection, converts the groups to the items' base units,
// regroups them and enriches them with item data; the result is one packaged
// record per group followed by a record holding "FTotalAmount" (the absolute
// total balance amount, Null when the bills have no goods lines).
//
// SumSettleAmount answers the signed sum of the bills' settlement amounts
// for a list of settlement IDs.
//
// Both vote on the instance's context: SetAbort first, SetComplete only on
// the normal path.  Failures are swallowed: no list, or 0.
//
// Thread-safety: the calling thread's connection.
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

// Null when the connection is not set, a statement fails or the total row is missing.
std::shared_ptr<foundation::Vector> AggregateRetailLines(component::ContextBinding& binding,
                                                         const std::shared_ptr<data::Connection>& connection,
                                                         const std::string& retail_bill_ids);

// 0 when nothing matches and on any failure (the caller cannot tell the two apart).
double SumSettleAmount(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                       const std::string& filter, const std::string& settle_ids);

}  // namespace tovan::closing
