// CheckBillReference: whether a later document names a generated bill as
// its source, so that the bill may no longer be cancelled.
//
//   stock bill (1030002): a stock-bill entry, t_RP_RBillEntry or
//                         t_RP_CheckBillentry2 names it
//   check bill (1050003): t_RP_RBillEntry names it
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <string>

#include "component/context_binding.h"

namespace tovan::cancel {

// True when the bill is free (and when `check` is false or the class type
// is neither); False with `message` set when a document refers to it or the
// check itself fails.
bool CheckBillReference(component::ContextBinding& binding, const std::string& data_source, const std::string& bill_id,
                        int32_t class_type, bool check, std::string& message);

}  // namespace tovan::cancel
