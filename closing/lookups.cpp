#include "closing/lookups.h"

#include "component/host_values.h"
#include "platform/automation/error.h"
#include "platform/automation/text.h"
#include "platform/data/recordset.h"
#include "platform/host/object_factory.h"
#include "records/packaging.h"

namespace tovan::closing {

using automation::Variant;

namespace {
constexpr int16_t kDefaultTaxRate = 17;

bool IsBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::shared_ptr<foundation::Dictionary> CustomerRecord(const data::Recordset& rs) {
  auto record = foundation::Dictionary::Create();
  record->SetValue("FItemID", rs.Value("FItemID"));
  record->SetValue("FName", rs.Value("FName"));
  record->SetValue("FDetail", Variant(static_cast<int16_t>(automation::CBool(rs.Value("FDetail")) ? 1 : 0)));
  record->SetValue("FLevel", rs.Value("FLevel"));
  const Variant& tax_rate = rs.Value("FTaxRate");
  record->SetValue("FTaxRate", tax_rate.IsNull() ? Variant(kDefaultTaxRate) : tax_rate);
  record->SetValue("FNumber", rs.Value("FNumber"));
  record->SetValue("FHide1", Variant(int16_t{0}));
  return record;
}
}  // namespace

void GetData(component::ContextBinding& binding, std::shared_ptr<foundation::Vector>& tree, const std::string& sDsn) {
  tree = foundation::Vector::Create();
  GetItemData(binding, *tree, "0", sDsn, "");
}

void GetItemData(component::ContextBinding& binding, foundation::Vector& tree, const std::string& sItemID,
                 const std::string& sDsn, const std::string& sFilter) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto connection = binding.GetConnection();
    // The condition takes the place of "1=1": the parent's children, or the filter as given.
    std::string condition = IsBlank(sFilter) ? "FParentID='" + sItemID + "' order by FNumber asc"
                                             : sFilter + " order by FNumber asc";
    std::string sql = automation::ReplaceAll(
        "Select FItemID,FName,FDetail,FLevel,FTaxRate,FNumber from t_Item where FItemClassID=4 And 1=1 ", "1=1",
        condition);
    auto rs = connection->Execute(sql);
    for (; !rs->EOF_(); rs->MoveNext()) {
      std::string id = automation::CStr(rs->Value("FItemID"));
      tree.Add(Variant(CustomerRecord(*rs)));
      GetItemData(binding, tree, id, sDsn, "");
    }
    binding.SetComplete();
  } catch (const automation::AutomationError&) {
    // A failing level keeps what it added; the caller's level carries on.
    binding.SetComplete();
  }
}

int16_t GetMaxLevel(component::ContextBinding& binding, const std::string& sDsn) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto rs = binding.GetConnection()->Execute("select  max(FLevel) from t_Item where FItemClassID=4");
    // No customer at all gives a NULL maximum, which fails the conversion: 0.
    int16_t level = automation::CInt(rs->Value(0));
    binding.SetComplete();
    return level;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return 0;
  }
}

void GetCustDetail(component::ContextBinding& binding, const std::string& sDsn, const std::string& ItemID,
                   std::string& name, std::string& contact, std::string& phone, std::string& fax) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    auto rs = binding.GetConnection()->Execute(
        std::string("SELECT  t_Organization.FPhone, t_Organization.FFax,t_Organization.FContact, t_Item.FItemID, "
                    "t_Item.FName ") +
        "FROM  t_Organization RIGHT OUTER JOIN t_Item ON t_Organization.FItemID = t_Item.FItemID where "
        "t_Item.FItemID='" +
        ItemID + "'");
    if (rs->RecordCount() > 0) {
      std::string item_name = automation::CStr(rs->Value("FName"));
      name = item_name == "*" ? std::string() : item_name;
      phone = automation::CStr(foundation::NullToDefault(rs->Value("FPhone"), Variant("")));
      fax = automation::CStr(foundation::NullToDefault(rs->Value("FFax"), Variant("")));
      contact = automation::CStr(foundation::NullToDefault(rs->Value("FContact"), Variant("")));
    }
    binding.SetComplete();
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
  }
}

std::string GetInvoiceData(data::Connection* oConn, const std::string& sItemID) {
  try {
    if (oConn == nullptr) automation::Raise(automation::vberr::kObjectNotSet);
    auto rs = oConn->Execute("select FItemID,FTaxRate from t_Item where FItemID='" + sItemID + "'");
    if (rs->RecordCount() >= 1) return automation::CStr(rs->Value("FTaxRate"));
    return "0";
  } catch (const automation::AutomationError&) {
    return {};
  }
}

std::string GetIDData(component::ContextBinding& binding, const std::string& sDsn, const std::string& sFilter) {
  try {
    binding.OpenDataContext(sDsn);
    binding.SetAbort();
    std::string sql = "select FID from T_LS_Retail where FDailyBillID=0";
    if (!sFilter.empty()) sql += " And " + sFilter;
    auto rs = binding.GetConnection()->Execute(sql);
    auto list = records::PackageRows(*rs);
    if (list->UpperBound() == 0) {
      binding.SetAbort();
      return {};
    }
    std::string ids;
    for (int32_t p = 1; p <= list->UpperBound(); ++p) ids += automation::CStr(list->Record(p)->Value("FID")) + ",";
    ids.pop_back();
    binding.SetComplete();
    return ids;
  } catch (const automation::AutomationError&) {
    binding.SetAbort();
    return {};
  }
}

std::string GetSettleInfo(const std::string& sSection, const std::string& SKey) {
  try {
    automation::DispatchPtr profile =
        host::ObjectFactory::ForThread()->CreateInstance("TovanMProfile.ClassUserProfileInfo");
    std::vector<Variant> args{Variant(component::GetPropsString()), Variant(sSection), Variant(SKey)};
    return automation::CStr(profile->Invoke("GetUserProfile", automation::InvokeKind::Get, args));
  } catch (const automation::AutomationError&) {
    return {};
  }
}

}  // namespace tovan::closing
