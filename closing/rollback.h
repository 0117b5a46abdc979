// RollbackClosing: undoes what a failed closing wrote, by explicit deletes
// on the host's own data source, and sets the failure message of its stage:
//   0 header             "生成日结单表头出错，日结失败"  (the header only)
//   1 stock/check bill   "生成销售单或核销单出错，日结失败"
//   2 daily-bill entries "生成日结单表体出错，日结失败"
//   3 stamping           "更新零售单出错，日结失败"  (also clears the stamps)
//   other                "日结失败" (nothing is sent)
// Stages 1 to 3 remove the check bill, the stock bill (each when its ID is
// not 0) and the daily bill with its entries.  Never raises.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <string>

#include "component/context_binding.h"

namespace tovan::closing {

void RollbackClosing(component::ContextBinding& binding, int32_t stage, std::string& message,
                     const std::string& bill_no, int32_t stock_bill_id, int32_t check_bill_id,
                     const std::string& retail_bill_ids);

}  // namespace tovan::closing
