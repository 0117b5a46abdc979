#include "component/cls_un_bal_data.h"

#include "component/type_library.h"
#include "platform/automation/error.h"
#include "records/packaging.h"

namespace tovan::component {

using automation::Dispatch;
using automation::Variant;

namespace {
std::shared_ptr<data::Recordset> AsRecordset(const Variant& v) {
  return v.IsObject() ? std::dynamic_pointer_cast<data::Recordset>(v.object()) : nullptr;
}

const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    const auto& lib = DailyBalanceLibrary();
    automation::DispatchTable t(ClsUnBalDataInterface(), "clsUnBalData", lib.ProgId(ClsUnBalDataClass()));
    t.Bind("TransMode", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<clsUnBalData>(d).TransMode()); });
    t.Bind("GetUnBalProgressValue", [](Dispatch& d, std::span<Variant>) {
      return Variant(automation::Self<clsUnBalData>(d).GetUnBalProgressValue());
    });
    t.Bind("PackageRecord", [](Dispatch& d, std::span<Variant> a) {
      auto record = automation::Self<clsUnBalData>(d).PackageRecord(AsRecordset(a[0]).get());
      return record ? Variant(record) : Variant::Nothing();
    });
    t.Bind("PackageRecordset", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsUnBalData>(d).PackageRecordset(AsRecordset(a[0]).get()));
    });
    return t;
  }();
  return table;
}
}  // namespace

clsUnBalData::clsUnBalData() : DescribedObject(Table()) {}

int32_t clsUnBalData::TransMode() const { return kTransMode; }

int32_t clsUnBalData::GetUnBalProgressValue() const { return progress_.PercentAsInteger(); }

std::shared_ptr<foundation::Dictionary> clsUnBalData::PackageRecord(data::Recordset* rs) {
  if (rs == nullptr) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance.clsUnBalData");
  return records::PackageRow(*rs);
}

std::shared_ptr<foundation::Vector> clsUnBalData::PackageRecordset(data::Recordset* rs) {
  if (rs == nullptr) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance.clsUnBalData");
  return records::PackageRows(*rs);
}

}  // namespace tovan::component
