#include "closing/balance_amount.h"

#include "closing/date_text.h"
#include "platform/automation/error.h"
#include "platform/data/connection.h"
#include "platform/data/recordset.h"

namespace tovan::closing {

using automation::CDbl;
using automation::CStr;

std::string OpenBillsStatement(const OpenBillRange& range) {
  std::string sql = "select FID,FTotalAmount,FDiscountAmount from T_LS_Retail where FDailyBillID=0";
  const OpenBillRange all;
  // Whole days, as CheckBalData writes its range.
  if (range.from.serial != all.from.serial || range.to.serial != all.to.serial) {
    sql += " And FDate>'" + ShiftedDateText(range.from, -1) + "'";
    sql += " And FDate<'" + ShiftedDateText(range.to, 1) + "'";
  }
  if (range.branch_shop != 0) sql += " And FBranchShop=" + std::to_string(range.branch_shop);
  return sql;
}

bool UpdateBalAmount(component::ContextBinding& binding, const std::string& data_source,
                     const OpenBillRange& range) {
  try {
    binding.OpenDataContext(data_source);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    auto bills = connection->Execute(OpenBillsStatement(range));
    if (bills->RecordCount() < 1) return false;
    data::StatementRun updates(*connection);
    for (; !bills->EOF_(); bills->MoveNext()) {
      std::string id = CStr(bills->Value("FID"));
      std::string total = CStr(bills->Value("FTotalAmount"));
      std::string discount = CStr(bills->Value("FDiscountAmount"));
      auto lines = connection->Execute("select FEntryID,FID,FAmount from T_LS_RetailEntry where FID='" + id + "'");
      for (; !lines->EOF_(); lines->MoveNext()) {
        std::string entry_id = CStr(lines->Value("FEntryID"));
        std::string amount = CStr(lines->Value("FAmount"));
        double share = automation::Divide(automation::Checked(CDbl(amount) * CDbl(discount)), CDbl(total));
        double balance = automation::Checked(CDbl(amount) - share);
        connection->Execute("update T_LS_RetailEntry set FBalAmount='" + automation::NumberToText(balance) +
                            "' where FEntryID='" + entry_id + "'");
      }
    }
    updates.Finish();
    binding.SetComplete();
    return true;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return false;
  }
}

}  // namespace tovan::closing
