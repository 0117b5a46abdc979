#include "closing/balance_amount.h"

#include "platform/automation/error.h"
#include "platform/data/connection.h"
#include "platform/data/recordset.h"

namespace tovan::closing {

using automation::CDbl;
using automation::CStr;

bool UpdateBalAmount(component::ContextBinding& binding, const std::string& data_source) {
  try {
    binding.OpenDataContext(data_source);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    auto bills = connection->Execute("select FID,FTotalAmount,FDiscountAmount from T_LS_Retail where FDailyBillID=0");
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
