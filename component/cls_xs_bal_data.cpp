#include "component/cls_xs_bal_data.h"

#include "component/type_library.h"
#include "platform/automation/error.h"

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

}  // namespace tovan::component
