// The search-index rows (t_searchinfo_temp) of the bills a closing writes.
//
// A row holds a readable text (title, then "caption*:value " segments) and
// the bill key "System=yw|BillID=<FID>|ClassTypeID=<class>|BillTypeID=<type>|".
// The stock bill's text follows the captions the host keeps for its class
// in icclasstableinfo (header page, then entry page, in FTabIndex order),
// with names looked up for ID fields; the check bill's text has fixed labels.
//
// Best effort: any failure ends the operation quietly without a row; the
// closing goes on.  AddBillSearchIndex votes SetAbort first and SetComplete
// at its normal end; AddCheckBillSearchIndex does not vote.
//
// Thread-safety: the calling thread's connection.
#pragma once

#include <memory>
#include <string>

#include "component/context_binding.h"
#include "platform/foundation/vector.h"

namespace tovan::closing {

// "System=yw|BillID=" + id + "|ClassTypeID=" + class + "|BillTypeID=" + type + "|"
std::string SearchIndexKey(const std::string& bill_id, const std::string& class_type, const std::string& bill_type);

void AddBillSearchIndex(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                        foundation::Vector* entries, foundation::Dictionary* header, const std::string& bill_id,
                        const std::string& bill_no);

void AddCheckBillSearchIndex(const std::shared_ptr<data::Connection>& connection, foundation::Dictionary* record,
                             const std::string& check_id, const std::string& check_no);

}  // namespace tovan::closing
