// The lookups that fill the closing dialog's controls.
//
//   GetData / GetItemData  the customer tree (t_Item, class 4), depth first,
//                          siblings by FNumber, into the caller's list
//   GetMaxLevel            the deepest customer level; 0 when none
//   GetCustDetail          a customer's name, contact, phone and fax
//   GetInvoiceData         an item's tax rate as text ("0" for no item), on
//                          the connection it is given
//   GetIDData              the open retail bills' FIDs joined by ","
//   GetSettleInfo          the logged-on user's stored profile value
//
// The database lookups bind `binding` to `sDsn`, vote SetAbort, work on the
// bound connection and vote SetComplete at their end.  Failures are trapped
// and answered neutrally (0, the empty text, outputs left as far as filled).
//
// Thread-safety: the calling thread's host context; the caller holds the
// unit of work (host::CallScope).
#pragma once

#include <cstdint>
#include <string>

#include "component/context_binding.h"
#include "platform/data/connection.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

// Replaces `tree` by a new list holding the whole customer tree.
void GetData(component::ContextBinding& binding, std::shared_ptr<foundation::Vector>& tree, const std::string& sDsn);
// Appends the children of `sItemID` (or, with a non-blank filter, the
// customers matching it), each followed by its subtree.  A failing level
// keeps what it added and votes SetComplete, as on success.
void GetItemData(component::ContextBinding& binding, foundation::Vector& tree, const std::string& sItemID,
                 const std::string& sDsn, const std::string& sFilter);
int16_t GetMaxLevel(component::ContextBinding& binding, const std::string& sDsn);
void GetCustDetail(component::ContextBinding& binding, const std::string& sDsn, const std::string& ItemID,
                   std::string& name, std::string& contact, std::string& phone, std::string& fax);
std::string GetInvoiceData(data::Connection* oConn, const std::string& sItemID);
std::string GetIDData(component::ContextBinding& binding, const std::string& sDsn, const std::string& sFilter);
std::string GetSettleInfo(const std::string& sSection, const std::string& SKey);

}  // namespace tovan::closing
