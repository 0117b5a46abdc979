#include "component/cls_data.h"

#include "component/type_library.h"
#include "platform/automation/error.h"

namespace tovan::component {

using automation::Dispatch;
using automation::Variant;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    const auto& lib = DailyBalanceLibrary();
    automation::DispatchTable t(ClsDataInterface(), "clsData", lib.ProgId(ClsDataClass()));
    t.Bind("TransMode", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<clsData>(d).TransMode()); });
    t.Bind("GetProgressValue", [](Dispatch& d, std::span<Variant>) {
      return Variant(automation::Self<clsData>(d).GetProgressValue());
    });
    t.Bind("JudgeSettleType", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).JudgeSettleType(foundation::AsVector(a[0])));
    });
    return t;
  }();
  return table;
}
}  // namespace

clsData::clsData() : DescribedObject(Table()) {}

int32_t clsData::TransMode() const { return kTransMode; }

int32_t clsData::GetProgressValue() const {
  try {
    return progress_.PercentAsLong();
  } catch (const automation::AutomationError&) {
    return 0;
  }
}

bool clsData::JudgeSettleType(const std::shared_ptr<foundation::Vector>& vec) {
  try {
    if (!vec) automation::Raise(automation::vberr::kObjectNotSet);
    for (int32_t p = 1; p <= vec->UpperBound(); ++p) {
      // VB's `If x <> "1"`: a Null comparison is not a difference.
      auto order = automation::Compare(vec->Record(p)->Value("FSettleItemID"), Variant("1"));
      if (order && *order != 0) return false;
    }
    return true;
  } catch (const automation::AutomationError&) {
    return false;
  }
}

}  // namespace tovan::component
