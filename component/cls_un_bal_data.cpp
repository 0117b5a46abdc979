#include "component/cls_un_bal_data.h"

#include "component/type_library.h"

namespace tovan::component {

using automation::Dispatch;
using automation::Variant;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    const auto& lib = DailyBalanceLibrary();
    automation::DispatchTable t(ClsUnBalDataInterface(), "clsUnBalData", lib.ProgId(ClsUnBalDataClass()));
    t.Bind("TransMode", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<clsUnBalData>(d).TransMode()); });
    t.Bind("GetUnBalProgressValue", [](Dispatch& d, std::span<Variant>) {
      return Variant(automation::Self<clsUnBalData>(d).GetUnBalProgressValue());
    });
    return t;
  }();
  return table;
}
}  // namespace

clsUnBalData::clsUnBalData() : DescribedObject(Table()) {}

int32_t clsUnBalData::TransMode() const { return kTransMode; }

int32_t clsUnBalData::GetUnBalProgressValue() const { return progress_.PercentAsInteger(); }

}  // namespace tovan::component
