#include "closing/eligibility_checks.h"

#include "closing/date_text.h"
#include "component/host_values.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/data/recordset.h"

namespace tovan::closing {

using automation::Variant;

namespace {
constexpr const char* kCrLf = "\r\n";

// VB's Trim strips blanks only.
std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string StockStatement(const std::string& sIDDetail, const std::string& sBillType, bool batch_items_only) {
  if (sBillType == "1") {
    std::string sql = std::string("select t1.*,t2.FQty,i.FName as FName,i.FNumber as FNumber from ") + kCrLf +
                      "(select FItemID as FItemID,FStock,FAuxPropID,sum(isnull(FShowQty,0)) as FQty from "
                      "t_ls_retailentry where FID in (" +
                      kCrLf + sIDDetail +
                      ") group by FItemID,FStock,FAuxPropID ) t1 inner join t_ICItem i on t1.FItemID=i.FItemID " +
                      kCrLf +
                      " left join  (select fItemID,FStockID,FAuxPropID,sum(isnull(FQty,0)) as FQty from t_cc_inventory " +
                      kCrLf +
                      " group by fItemID,FStockID,FAuxPropID) t2 on t1.FItemID=t2.FItemID and t1.FStock=t2.FStockID "
                      "and t1.FAuxPropID=t2.FAuxPropID " +
                      kCrLf + "where isnull(t2.FQty,0)<isnull(t1.FQty,0) ";
    if (batch_items_only) sql += " And i.FIsBatchManager=1";
    return sql + " Order by i.FNumber";
  }
  if (sBillType == "2") {
    return std::string("select i.FName as FName,i.FNumber as FNumber from t_ls_retailentry t1 Inner Join t_ICItem i "
                       "on t1.FItemID=i.FItemID ") +
           kCrLf +
           " Left Join t_cc_Inventory t2 on t1.FItemID=t2.FItemID  and t1.FStock=t2.FStockID and "
           "t1.FAuxPropID=t2.FAuxPropID " +
           kCrLf + " Where t1.FID in (" + sIDDetail +
           ") and i.FIsBatchManager=1 and t2.FQty is null group by i.FName,i.FNumber";
  }
  return {};
}
}  // namespace

std::string OpenBillFilter(const std::string& sIDDetail, automation::Date sDateFrom, automation::Date sDateTo,
                           const std::string& sBillType, int32_t lBranchShop) {
  std::string filter;
  if (!sIDDetail.empty()) filter += " And a.FID in (" + sIDDetail + ")";
  filter += " And a.FDate>'" + ShiftedDateText(sDateFrom, -1) + "'";
  filter += " And a.FDate<'" + ShiftedDateText(sDateTo, 1) + "'";
  if (!sBillType.empty()) filter += " And a.FBillType='" + sBillType + "'";
  if (lBranchShop != 0) filter += " And b.FItemID=" + std::to_string(lBranchShop);
  return filter;
}

bool CheckBalData(component::ContextBinding& binding, const std::string& sDsn, const std::string& sIDDetail,
                  automation::Date sDateFrom, automation::Date sDateTo, const std::string& sBillType,
                  int32_t lBranchShop) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    std::string sql = "Select FID from t_LS_Retail a left Join t_ls_BranchShop b on a.FBranchshop=b.FItemID ";
    sql += " where a.FDailyBillID=0 " + OpenBillFilter(sIDDetail, sDateFrom, sDateTo, sBillType, lBranchShop);
    if (connection->Execute(sql)->RecordCount() != 0) {
      binding.SetComplete();
      return true;
    }
    binding.SetAbort();
    return false;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return false;
  }
}

bool CheckData(component::ContextBinding& binding, const std::string& sDsn,
               const std::shared_ptr<foundation::Vector>& vec) {
  try {
    if (!vec) automation::Raise(automation::vberr::kObjectNotSet);
    if (vec->UpperBound() == 0) return false;
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    for (int32_t p = 1; p <= vec->UpperBound(); ++p) {
      std::string id = automation::CStr(vec->Record(p)->Value("FID"));
      auto rs = connection->Execute("select FID,FDailyBillID from T_LS_Retail where FID='" + id + "'");
      // No row is a failure too: reading the first row of an empty result raises.
      if (automation::CStr(rs->Value("FDailyBillID")) != "0") {
        binding.SetAbort();
        return false;
      }
    }
    binding.SetComplete();
    return true;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return false;
  }
}

bool CheckStore(component::ContextBinding& binding, const std::string& sDsn, const std::string& sIDDetail,
                std::string& strRtnMsg, const std::string& sBillType) {
  try {
    bool batch_items_only = false;
    {
      automation::DispatchPtr profile = automation::CreateObject("TovanEBCGL.SystemProfile");
      batch_items_only = automation::CBool(profile->Call("GetSystemProfile", "IC", "UnderStock", "0"));
    }
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    std::string sql = StockStatement(sIDDetail, sBillType, batch_items_only);
    // An unknown bill type leaves no statement; running nothing is a failure.
    if (sql.empty()) automation::Raise(automation::vberr::kInvalidProcedureCall);
    auto rs = connection->Execute(sql);
    if (rs->EOF_()) return true;
    for (; !rs->EOF_(); rs->MoveNext()) {
      strRtnMsg += " " + automation::CStr(rs->Value("FNumber")) + " " + automation::CStr(rs->Value("FName")) + ",";
    }
    binding.SetComplete();
    strRtnMsg = TrimBlanks(strRtnMsg);
    strRtnMsg.pop_back();  // the last item's comma
    const char* message = kReturnsNoBatch;
    if (sBillType == "1") message = component::GetAppType() == 1 ? kSalesShortForShop : kSalesShortEstimate;
    strRtnMsg += std::string(" ") + message;
    return false;
  } catch (const automation::AutomationError&) {
    if (strRtnMsg.empty()) strRtnMsg = kStockCheckFailed;
    return false;
  }
}

bool JudgeData(component::ContextBinding& binding, const std::string& sDsn, const std::string& sIDDetail) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    std::string sql = std::string("SELECT  T_LS_Retail.FStock,T_LS_RetailEntry.FItemID, SUM(T_LS_RetailEntry.FQty) AS FQty ") +
                      "FROM T_LS_Retail INNER JOIN T_LS_RetailEntry ON T_LS_Retail.FID = T_LS_RetailEntry.FID INNER JOIN " +
                      "t_Goods ON T_LS_RetailEntry.FItemID = t_Goods.FItemID " +
                      "WHERE t_Goods.FTrack = '80' and  T_LS_Retail.FID in (" + sIDDetail +
                      ") GROUP BY T_LS_Retail.FStock,T_LS_RetailEntry.FItemID ";
    auto rs = connection->Execute(sql);
    if (rs->RecordCount() < 1) {
      binding.SetComplete();
      return true;
    }
    for (; !rs->EOF_(); rs->MoveNext()) {
      std::string stock_id = automation::CStr(rs->Value("FStock"));
      std::string item_id = automation::CStr(rs->Value("FItemID"));
      std::string sold = automation::CStr(rs->Value("FQty"));
      auto stock = connection->Execute("select sum(FQty) from T_CC_Inventory where FStockID='" + stock_id +
                                       "' and FItemID='" + item_id + "'");
      if (stock->RecordCount() < 1) return false;
      // Whole units in 16 bits, as the host compares them; a NULL sum (no stock row) fails.
      if (automation::CInt(stock->Value(0)) < automation::CInt(Variant(sold))) return false;
    }
    binding.SetComplete();
    return true;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return false;
  }
}

}  // namespace tovan::closing
