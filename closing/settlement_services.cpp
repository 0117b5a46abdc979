#include "closing/settlement_services.h"

#include "platform/automation/error.h"
#include "platform/data/recordset.h"
#include "records/packaging.h"

namespace tovan::closing {

namespace {
// The settlement methods the dialog shows; the closing sums 0, 3 and 4 itself.
constexpr const char* kShownMethods[] = {"1", "2", "5"};

// The packaging of clsData: quiet, a failure gives no list.
std::shared_ptr<foundation::Vector> QuietPackage(data::Recordset& rs) {
  try {
    return records::PackageRows(rs);
  } catch (const automation::AutomationError&) {
    return nullptr;
  }
}

std::shared_ptr<foundation::Vector> PackagedQuery(component::ContextBinding& binding, const std::string& sDsn,
                                                  const std::string& sql) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto rs = binding.GetConnection()->Execute(sql);
    auto list = QuietPackage(*rs);
    binding.SetComplete();
    return list;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return nullptr;
  }
}
}  // namespace

std::shared_ptr<foundation::Vector> GetSettleAcctData(component::ContextBinding& binding, const std::string& sDsn) {
  return PackagedQuery(binding, sDsn, "select FItemID,FName from t_SettleAcct Where FFixed=0 and FDeleted=0");
}

std::shared_ptr<foundation::Vector> SetSettleAmount(component::ContextBinding& binding, const std::string& sDsn,
                                                    const std::string& sIDDetail) {
  std::string sql =
      "select b.FItemID,b.FName,sum(a.FSettleAmount) as FSettleAmount from t_LS_RetailEntry2 a Inner join "
      "t_LS_Settle b on a.FSettleID=b.FItemID \r\n Where a.FID in (" +
      sIDDetail + ") and b.FItemID in (" + kShownMethods[0] + "," + kShownMethods[1] + "," + kShownMethods[2] +
      ") group by b.FItemID,b.FName";
  return PackagedQuery(binding, sDsn, sql);
}

std::string SetSettleAmountID(component::ContextBinding& binding, const std::string& sDsn,
                              const std::string& SettleAccText) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto rs = binding.GetConnection()->Execute("select FItemID,FName from t_SettleAcct where FName='" +
                                               SettleAccText + "'");
    // No such account: reading the first row of an empty result raises.
    std::string id = automation::CStr(rs->Value("FItemID"));
    binding.SetComplete();
    return id;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return {};
  }
}

}  // namespace tovan::closing
