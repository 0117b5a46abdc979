#include "cancel/voucher_check.h"

#include "platform/automation/error.h"
#include "platform/automation/text.h"
#include "platform/data/recordset.h"
#include "platform/foundation/vector.h"

namespace tovan::cancel {

using automation::Variant;

namespace {
bool HasText(const std::string& s) { return s.find_first_not_of(' ') != std::string::npos; }

std::string NumberText(const Variant& value) { return automation::CStr(foundation::NullToDefault(value, Variant(""))); }
}  // namespace

bool GenerateVch(component::ContextBinding& binding, const std::string& data_source, const std::string& daily_bill_ids,
                 std::string& message) {
  if (daily_bill_ids.empty()) return false;
  try {
    binding.OpenDataContext(data_source);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    auto stock_bills = connection->Execute(
        "select a.FID as FID  from t_cc_stockBill a inner join t_cc_stockbillEntry b on a.FID=b.FID \r\n where "
        "b.FClassID_Src=1090001 and b.FID_SRC in (" +
        daily_bill_ids + ") group by a.FID ");
    if (!stock_bills->IsOpen() || stock_bills->EOF_()) {
      binding.SetComplete();
      return false;
    }
    std::string ids;
    for (; !stock_bills->EOF_(); stock_bills->MoveNext()) ids += automation::CStr(stock_bills->Value("FID")) + ",";
    ids.pop_back();

    auto checks = connection->Execute(
        "select a.FID,a.FBillNo from t_rp_checkbill a inner join t_rp_checkbillEntry1 b on a.FID=b.FID \r\n where "
        "isnull(a.FVoucherID,0)<>0 and b.FSourceClassTypeID=1030002 and b.FSourceBillID in (" +
        ids + ") Group by a.FID,a.FBillNo");
    for (; !checks->EOF_(); checks->MoveNext()) message += NumberText(checks->Value("FBillNo")) + ",";
    if (HasText(message)) message = "核销单：" + message;

    auto stocks = connection->Execute(
        "select FID,FBillNo from t_cc_Stockbill where isnull(FVoucherID,0)<>0 and FID in (" + ids +
        ") Group by FID,FBillNo");
    if (!stocks->EOF_()) {
      message += "销售单：";
      for (; !stocks->EOF_(); stocks->MoveNext()) message += NumberText(stocks->Value("FBillNo")) + ",";
    }
    if (HasText(message)) {
      automation::DropLastCharacter(message);
      return true;  // the SetAbort above stands
    }
    binding.SetComplete();
    return false;
  } catch (const automation::AutomationError&) {
    binding.SetComplete();
    return false;
  }
}

}  // namespace tovan::cancel
