#include "selection/validity.h"

#include "component/host_values.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/data/recordset.h"

namespace tovan::selection {

using automation::Variant;

bool IsValidBill(component::ContextBinding& binding, const std::string& sID, int32_t& lTypeID, int32_t& DailyType,
                 std::string& sRtnMsg) {
  if (sID.empty()) return false;
  try {
    binding.OpenDataContext(component::GetPropsString());
    binding.SetAbort();
    auto connection = binding.GetConnection();
    auto rows = [&](const std::string& sql) {
      return connection->Execute(sql, nullptr, data::ado::kOptionUnspecified);
    };

    // None or several bill types: both refused alike.
    auto types = rows("Select distinct(FBillType) from t_ls_Retail where FID in (" + sID + ")");
    if (types->RecordCount() != 1) {
      sRtnMsg = kMixedBillTypes;
      return false;
    }
    lTypeID = automation::CLng(types->Value(0));

    if (rows("Select top 1 1 from t_ls_retail where FDailyBillID<>0 and FID in (" + sID + ")")->RecordCount() > 0) {
      sRtnMsg = kPartlyClosed;
      return false;
    }

    // Without a readable period the host's period check is skipped.
    std::string start = GetPeriodStartDate();
    if (!start.empty() &&
        rows("select top 1 1 from t_LS_Retail where FDate<'" + start + "' and FID in (" + sID + ")")->RecordCount() >
            0) {
      sRtnMsg = kEarlierPeriod;
      return false;
    }

    DailyType = 0;
    binding.SetComplete();
    return true;
  } catch (const automation::AutomationError&) {
    return false;
  }
}

std::string GetPeriodStartDate() {
  try {
    int32_t year = 0;
    int32_t period = 0;
    {
      automation::DispatchPtr profile = automation::CreateObject("TovanEBCGL.SystemProfile");
      year = automation::CLng(profile->Call("GetSystemProfile", "IC", "CurrentYear", "0"));
      period = automation::CLng(profile->Call("GetSystemProfile", "IC", "CurrentPeriod", "0"));
    }
    // A year or period that makes no date (an unset profile gives 0) answers no start.
    return automation::DateToText(automation::Date::FromParts(year, period, 1));
  } catch (const automation::AutomationError&) {
    return {};
  }
}

}  // namespace tovan::selection
