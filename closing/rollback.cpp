#include "closing/rollback.h"

#include "component/host_values.h"
#include "platform/automation/error.h"

namespace tovan::closing {

namespace {
std::string Trimmed(const std::string& s) {
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
}  // namespace

void RollbackClosing(component::ContextBinding& binding, int32_t stage, std::string& message,
                     const std::string& bill_no, int32_t stock_bill_id, int32_t check_bill_id,
                     const std::string& retail_bill_ids) {
  try {
    binding.OpenDataContext(component::GetPropsString());
    binding.SetAbort();
    auto connection = binding.GetConnection();
    std::string number = Trimmed(bill_no);
    std::string batch;
    if (check_bill_id != 0) {
      std::string id = std::to_string(check_bill_id);
      batch += "delete from t_rp_checkbill where FID=" + id + "\r\ndelete from t_rp_checkbillEntry1 where FID=" + id + "\r\n";
    }
    if (stock_bill_id != 0) {
      std::string id = std::to_string(stock_bill_id);
      batch += "delete from t_cc_stockbill where FID=" + id + "\r\ndelete from t_cc_stockbillEntry where FID=" + id + "\r\n";
    }
    if (!number.empty()) {
      batch += "delete from t_ls_dailybillEntry where FID in (select FID from t_ls_dailyBill where FBillNo='" + number +
               "')\r\ndelete from t_ls_dailybill where FBillNo='" + number + "'\r\n";
    }
    switch (stage) {
      case 0:
        if (!number.empty()) connection->Execute("delete from t_ls_dailybill where FBillNo='" + number + "'");
        message = "生成日结单表头出错，日结失败";
        break;
      case 1:
      case 2:
        message = stage == 1 ? "生成销售单或核销单出错，日结失败" : "生成日结单表体出错，日结失败";
        if (!batch.empty()) connection->Execute(batch);
        break;
      case 3:
        message = "更新零售单出错，日结失败";
        if (!Trimmed(retail_bill_ids).empty()) {
          batch += "update t_ls_retail set FDailyBillID=0,FDailyBillNo='' where FID in (" + retail_bill_ids + ")";
        }
        if (!batch.empty()) connection->Execute(batch);
        break;
      default:
        message = "日结失败";
        break;
    }
  } catch (const automation::AutomationError&) {
    // A clean-up that fails leaves what it could not remove; the caller has its message.
  }
  binding.SetComplete();
}

}  // namespace tovan::closing
