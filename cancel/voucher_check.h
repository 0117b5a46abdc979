// GenerateVch: whether the bills a closing generated carry accounting
// vouchers (the check bills of its stock bills, then the stock bills), with
// a text naming them: "核销单：A,B,销售单：C".
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <string>

#include "component/context_binding.h"

namespace tovan::cancel {

// True when some generated bill carries a voucher (`message` gets the text
// appended); False otherwise and on any failure.
bool GenerateVch(component::ContextBinding& binding, const std::string& data_source, const std::string& daily_bill_ids,
                 std::string& message);

}  // namespace tovan::cancel
