#include "cancel/cancel_driver.h"

#include "cancel/reference_check.h"
#include "cancel/voucher_check.h"
#include "closing/search_index.h"
#include "component/bill_types.h"
#include "component/host_values.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/data/recordset.h"
#include "platform/foundation/vector.h"
#include "platform/host/global_context.h"
#include "platform/host/object_factory.h"

namespace tovan::cancel {

using automation::CStr;
using automation::Variant;

namespace {

void Notify(const automation::DispatchPtr& events, const char* member, const Variant& value) {
  if (!events) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance");
  events->Call(member, value);
}

std::string RefusalLine(const std::string& daily_bill_no) {
  return "反日结单据 " + daily_bill_no + " 失败：" +
         (component::GetAppType() == 1 ? "该单据已被关联使用，不能反日结。" : "该单据已被关联使用或已生成凭证，不能反日结。") +
         "\r\n";
}

std::string FailureLine(const std::string& daily_bill_no) { return "反日结单据 " + daily_bill_no + " 失败。\r\n"; }

// Replaces the index row of a deleted bill by an empty one marked deleted (FAction 2).
// The check bill's batch spells its insert "insert", the stock bill's "Insert".
std::string ReplaceIndexRow(const std::string& key, const char* insert) {
  return "delete from t_searchinfo_temp where FKey like '" + key + "'\r\n" + insert +
         " into t_searchinfo_temp (FKey,FSearchText,FObjectID,FAction) values('" + key + "','',1,2)";
}

bool UndoWriteOff(const std::string& check_id, std::string& message) {
  auto plugin = automation::CreateObject("TovanM_ArAp_PlugIns.clsCheck");
  std::vector<Variant> args{Variant(component::GetPropsString()),
                            Variant(check_id),
                            Variant(int16_t{0}),
                            Variant(message),
                            Variant(foundation::Dictionary::Create()),
                            Variant(foundation::Dictionary::Create()),
                            Variant(false)};
  Variant result = plugin->Invoke("CheckBill", automation::InvokeKind::Get, args);
  message = CStr(args[3]);
  return automation::CBool(result);
}

bool Unaudit(data::Recordset& stock_bill, const std::string& stock_id, Variant& bill_type) {
  auto request_record = foundation::Dictionary::Create();
  request_record->SetValue("ClassTypeID", Variant("1030002"));
  request_record->SetValue("BillInterID", Variant(stock_id));
  request_record->SetValue("HeadTableName", Variant("t_CC_StockBill"));
  request_record->SetValue("BillNo", foundation::NullToDefault(stock_bill.Value("FBillNo"), Variant("")));
  request_record->SetValue("CustOrSupplyID", foundation::NullToDefault(stock_bill.Value("FCustID"), Variant("")));
  request_record->SetValue("AllAmount", foundation::NullToDefault(stock_bill.Value("FAllAmount"), Variant("")));
  request_record->SetValue("BillType", stock_bill.Value("FBillTypeID"));
  bill_type = request_record->Value("BillType");
  auto request = foundation::Vector::Create();
  request->Add(Variant(request_record));
  auto result = foundation::Dictionary::Create();
  for (const char* key : {"BillInfo", "ErrorMsg", "FailCount", "SuccessCount"}) result->SetValue(key, Variant(""));
  auto plugin = host::ObjectFactory::ForThread()->CreateInstance("TovanM_CC_PlugIns.PublicSysInfo");
  std::vector<Variant> args{Variant(request), Variant(int16_t{-1}), Variant(component::GetPropsString()),
                            Variant(true),    Variant(result),      Variant(true)};
  return automation::CInt(plugin->Invoke("AuditBill", automation::InvokeKind::Get, args)) == 1;
}
}  // namespace

bool UnBalData(component::ContextBinding& binding, const automation::DispatchPtr& events,
               const std::string& data_source, const std::string& daily_bill_ids, std::string& message,
               component::ProgressCounters& progress) {
  try {
    binding.OpenDataContext(data_source);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    auto cancel_list = connection->Execute(
        "select FID_SRC,FID,FBillNo_SRC from t_cc_stockbillentry where FClassID_SRC=1090001 and FID_SRC in (" +
        daily_bill_ids + ") group by FID_SRC,FID,FBillNo_SRC ");
    int32_t rows = cancel_list->RecordCount();
    Notify(events, "ShowProgressText", Variant(""));
    Notify(events, "ShowProgressText", Variant("正在进行处理..."));
    Notify(events, "SetProgressMax", Variant(rows));
    Notify(events, "SetProgressMin", Variant(int32_t{0}));
    Notify(events, "SetProgressValue", Variant(int32_t{0}));

    int32_t processed = 0, failures = 0;
    for (; !cancel_list->EOF_(); cancel_list->MoveNext()) {
      progress.total = rows;
      std::string stock_id = CStr(cancel_list->Value("FID"));
      std::string daily_id = CStr(cancel_list->Value("FID_SRC"));
      std::string daily_no = CStr(foundation::NullToDefault(cancel_list->Value("FBillNo_SRC"), Variant("")));
      std::string note;  // the checks' own explanations are not shown

      bool cancelled = false;
      if (GenerateVch(binding, data_source, daily_id, note) ||
          !CheckBillReference(binding, component::GetPropsString(), stock_id, component::kStockBillClass, true, note)) {
        message += RefusalLine(daily_no);
      } else {
        bool check_bills_undone = true;
        auto check_bills = connection->Execute(
            "select distinct FID from t_rp_CheckBillEntry1 where FSourceClassTypeID=1030002 and FSourceBillID=" +
            stock_id);
        for (; !check_bills->EOF_(); check_bills->MoveNext()) {
          std::string check_id = CStr(check_bills->Value("FID"));
          if (!CheckBillReference(binding, component::GetPropsString(), check_id, component::kCheckBillClass, true, note)) {
            message += RefusalLine(daily_no);
            check_bills_undone = false;
            break;
          }
          if (!UndoWriteOff(check_id, message)) {
            message += FailureLine(daily_no);
            check_bills_undone = false;
            break;
          }
          connection->Execute("delete from t_RP_CheckBill where FID='" + check_id + "'");
          connection->Execute("delete from t_RP_CheckBillEntry1 where FID='" + check_id + "'");
          connection->Execute(ReplaceIndexRow(closing::SearchIndexKey(check_id, "1050003", "5024"), "insert"));
        }
        if (check_bills_undone) {
          auto stock_bill = connection->Execute(
              "select FID,FBillNo,FCustID,FAllAmount,FBillTypeID from T_CC_StockBill where FID='" + stock_id + "'");
          Variant bill_type;
          if (!Unaudit(*stock_bill, stock_id, bill_type)) {
            message += FailureLine(daily_no);
          } else {
            connection->Execute("delete from T_CC_StockBill where FID='" + stock_id + "'");
            connection->Execute("delete from T_CC_StockBillEntry where FID='" + stock_id + "'");
            connection->Execute(
                ReplaceIndexRow(closing::SearchIndexKey(stock_id, "1030002", CStr(bill_type)), "Insert"));
            connection->Execute("update T_LS_Retail set FDailyBillID=0,FDailyBillNo='' where FDailyBillID=" + daily_id);
            connection->Execute("delete from t_LS_DailyBill where FID =" + daily_id);
            connection->Execute("delete from t_LS_DailyBillEntry where FID =" + daily_id);
            cancelled = true;
          }
        }
      }
      if (!cancelled) ++failures;
      ++processed;
      // The position stays where it is: the host follows the cancellation through
      // the events switch; GetUnBalProgressValue reads the two counters as they stand.
      Notify(events, "SetProgressValue", Variant(processed));
      host::GlobalContext::ForThread().ProcessPendingEvents();
    }
    binding.SetComplete();
    if (failures == 0) {
      message = "反日结完成！";
      return true;
    }
    if (message.empty()) message = "反日结失败！";
    return false;
  } catch (const automation::AutomationError& e) {
    binding.SetAbort();
    message = "反日结失败！\r\n" + e.description();
    return false;
  }
}

}  // namespace tovan::cancel
