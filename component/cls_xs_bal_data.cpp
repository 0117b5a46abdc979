#include "component/cls_xs_bal_data.h"

#include "component/argument_checks.h"
#include "component/type_library.h"
#include "platform/automation/error.h"
#include "selection/validity.h"

namespace tovan::component {

using automation::Dispatch;
using automation::Variant;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    const auto& lib = DailyBalanceLibrary();
    automation::DispatchTable t(ClsXSBalDataInterface(), "clsXSBalData", lib.ProgId(ClsXSBalDataClass()));
    t.Bind("GetXSIDData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsXSBalData>(d).GetXSIDData(foundation::AsVector(a[0])));
    });
    t.Bind("IsValidBill", [](Dispatch& d, std::span<Variant> a) {
      int32_t type_id = a[1].long_value(), daily_type = a[2].long_value();
      std::string message = a[3].string();
      bool ok = automation::Self<clsXSBalData>(d).IsValidBill(a[0].string(), type_id, daily_type, message);
      a[1] = Variant(type_id);
      a[2] = Variant(daily_type);
      a[3] = Variant(message);
      return Variant(ok);
    });
    return t;
  }();
  return table;
}
}  // namespace

clsXSBalData::clsXSBalData() : DescribedObject(Table()) {}

std::string clsXSBalData::GetXSIDData(const std::shared_ptr<foundation::Vector>& vec) {
  try {
    if (!vec) automation::Raise(automation::vberr::kObjectNotSet);
    if (vec->UpperBound() == 0) return {};
    std::string list;
    int32_t last_added = 0;
    for (int32_t p = 1; p <= vec->UpperBound(); ++p) {
      const Variant& id = vec->Record(p)->Value("FID");
      // Compared with a number, an id that is none (absent, empty, a word) is VB's type mismatch.
      if (!id.IsNumber() && !(id.type() == automation::VarType::String && automation::ParseNumber(id.string())))
        automation::Raise(automation::vberr::kTypeMismatch);
      if (automation::IsEqual(id, Variant(last_added))) continue;
      list += "'" + automation::CStr(id) + "',";
      last_added = automation::CLng(id);
    }
    // A list whose every id was skipped has no comma to drop: VB's Left(s, Len(s) - 1) fails there.
    if (list.empty()) automation::Raise(automation::vberr::kInvalidProcedureCall);
    list.pop_back();
    return list;
  } catch (const automation::AutomationError&) {
    return {};
  }
}

bool clsXSBalData::IsValidBill(const std::string& sID, int32_t& lTypeID, int32_t& DailyType, std::string& sRtnMsg) {
  const auto scope = binding_.Scope(ClsXSBalDataInterface(), "IsValidBill");
  if (!IsIdListText(sID, /*quoted=*/true)) return false;
  return selection::IsValidBill(binding_, sID, lTypeID, DailyType, sRtnMsg);
}

}  // namespace tovan::component
