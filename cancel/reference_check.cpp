#include "cancel/reference_check.h"

#include "component/bill_types.h"
#include "platform/automation/error.h"
#include "platform/data/recordset.h"

namespace tovan::cancel {

bool CheckBillReference(component::ContextBinding& binding, const std::string& data_source, const std::string& bill_id,
                        int32_t class_type, bool check, std::string& message) {
  try {
    binding.OpenDataContext(data_source);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    if (!check || (class_type != component::kStockBillClass && class_type != component::kCheckBillClass)) {
      binding.SetComplete();
      return true;
    }
    std::vector<std::string> queries;
    if (class_type == component::kStockBillClass) {
      queries = {"Select top 1 1 from t_CC_stockBillEntry where FClassID_SRC=1030002 and FID_SRC=" + bill_id,
                 "select top 1 1 from t_RP_RBillEntry where FSourceClassTypeID=1030002 and FSourceBillID=" + bill_id,
                 "Select top 1 1 from t_RP_CheckBillentry2 where FSourceClassTypeID=1030002 and FSourceBillID=" +
                     bill_id};
    } else {
      queries = {"Select top 1 1 from t_RP_RBillEntry where FSourceClassTypeID=1050003 and FSourceBillID=" + bill_id};
    }
    for (const std::string& query : queries) {
      auto rs = connection->Execute(query);
      if (rs->IsOpen() && !rs->EOF_()) {
        binding.SetComplete();
        message = "该单据已被关联使用,不能反日结";
        return false;
      }
    }
    binding.SetComplete();
    return true;
  } catch (const automation::AutomationError&) {
    message = "数据库连接异常，请检测。。。";
    binding.SetComplete();
    return false;
  }
}

}  // namespace tovan::cancel
