#include "cancel/closed_bill_queries.h"

#include "platform/automation/error.h"
#include "platform/automation/text.h"
#include "platform/data/recordset.h"
#include "records/packaging.h"

namespace tovan::cancel {

namespace {
std::shared_ptr<data::Connection> Begin(component::ContextBinding& binding, const std::string& data_source) {
  binding.OpenDataContext(data_source);
  binding.SetAbort();
  return binding.GetConnection();
}
}  // namespace

std::shared_ptr<foundation::Vector> SetTotalData(component::ContextBinding& binding, const std::string& data_source,
                                                 const std::string& filter) {
  try {
    auto connection = Begin(binding, data_source);
    std::string sql =
        "select b.FDate,b.FBillNo,b.FID from t_LS_DailyBill b Inner Join t_LS_DailyBillEntry be on b.FID=be.FID \r\n "
        "where 1=1 ";
    if (!filter.empty()) sql = automation::ReplaceAll(sql, "1=1", filter);
    sql += "  group by b.FDate,b.FBillNo,b.FID";
    auto rs = connection->Execute(sql);
    auto list = records::PackageRows(*rs);
    binding.SetComplete();
    return list;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return nullptr;
  }
}

std::shared_ptr<foundation::Vector> SetDetailData(component::ContextBinding& binding, const std::string& data_source,
                                                  const std::string& daily_bill_id) {
  try {
    auto connection = Begin(binding, data_source);
    auto rs = connection->Execute(
        std::string("select a.FID,a.FID_SRC,a.FBillNo_SRC,Convert(varchar(20),e.FDate,23) as FDate,c.FName as "
                    "FBranchShop,d.FName as FCashier,isnull(f.FSettleAmount,0) as FSettleAmount ") +
        "From t_LS_DailyBillEntry a Inner Join t_LS_DailyBill b on a.FID = b.FID " +
        "Inner Join t_LS_Retail e on a.FID_SRC = e.FID " +
        " left Join (select FID,sum(FSettleAmount) as FSettleAmount from t_LS_RetailEntry2 group by FID) f on "
        "e.FID=f.FID " +
        " Inner Join t_LS_BranchShop c on e.FBranchShop=c.FItemID " +
        " Inner Join t_LS_Cashier d on e.FCashier=d.FItemID Where a.FID=" + daily_bill_id);
    binding.SetComplete();
    return records::PackageRows(*rs);
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return nullptr;
  }
}

std::string GetUnBalDataID(component::ContextBinding& binding, const std::string& data_source,
                           const std::string& filter) {
  try {
    auto connection = Begin(binding, data_source);
    std::string sql = "select a.FID from T_LS_Retail a \r\n Inner Join t_LS_DailyBill c on a.FDailyBillID=c.FID Where 1=1 ";
    if (!filter.empty()) sql += " And " + filter;
    auto rs = connection->Execute(sql);
    auto list = records::PackageRows(*rs);
    if (list->UpperBound() == 0) {
      binding.SetAbort();
      return {};
    }
    std::string ids;
    for (int32_t p = 1; p <= list->UpperBound(); ++p) ids += automation::CStr(list->Record(p)->Value("FID")) + ",";
    automation::DropLastCharacter(ids);
    binding.SetComplete();
    return ids;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return {};
  }
}

}  // namespace tovan::cancel
