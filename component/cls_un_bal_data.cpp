#include "component/cls_un_bal_data.h"

#include "cancel/cancel_driver.h"
#include "cancel/closed_bill_queries.h"
#include "cancel/voucher_check.h"
#include "component/argument_checks.h"
#include "component/type_library.h"
#include "platform/host/data_context.h"
#include "platform/automation/error.h"
#include "records/packaging.h"

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
    t.Bind("PackageRecord", [](Dispatch& d, std::span<Variant> a) {
      auto record = automation::Self<clsUnBalData>(d).PackageRecord(data::AsRecordset(a[0]).get());
      return record ? Variant(record) : Variant::Nothing();
    });
    t.Bind("PackageRecordset", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsUnBalData>(d).PackageRecordset(data::AsRecordset(a[0]).get()));
    });
    t.Bind("SetDetailData", [](Dispatch& d, std::span<Variant> a) {
      auto list = automation::Self<clsUnBalData>(d).SetDetailData(a[0].string(), a[1].string());
      return list ? Variant(list) : Variant::Nothing();
    });
    t.Bind("SetTotalData", [](Dispatch& d, std::span<Variant> a) {
      std::string filter = a[1].string();
      auto list = automation::Self<clsUnBalData>(d).SetTotalData(a[0].string(), filter);
      a[1] = Variant(filter);
      return list ? Variant(list) : Variant::Nothing();
    });
    t.Bind("GenerateVch", [](Dispatch& d, std::span<Variant> a) {
      std::string message = a[2].string();
      bool found = automation::Self<clsUnBalData>(d).GenerateVch(a[0].string(), a[1].string(), message);
      a[2] = Variant(message);
      return Variant(found);
    });
    t.Bind("UnBalData", [](Dispatch& d, std::span<Variant> a) {
      std::string message = a[3].string();
      bool ok = automation::Self<clsUnBalData>(d).UnBalData(a[0].object(), a[1].string(), a[2].string(), message);
      a[3] = Variant(message);
      return Variant(ok);
    });
    t.Bind("GetUnBalDataID", [](Dispatch& d, std::span<Variant> a) {
      std::string filter = a[1].string();
      std::string ids = automation::Self<clsUnBalData>(d).GetUnBalDataID(a[0].string(), filter);
      a[1] = Variant(filter);
      return Variant(ids);
    });
    return t;
  }();
  return table;
}
}  // namespace

clsUnBalData::clsUnBalData() : DescribedObject(Table()) {}

int32_t clsUnBalData::TransMode() const { return kTransMode; }

int32_t clsUnBalData::GetUnBalProgressValue() const { return progress_.PercentAsInteger(); }

std::shared_ptr<foundation::Vector> clsUnBalData::SetTotalData(const std::string& sDsn, std::string& sFilter) {
  const auto scope = binding_.Scope(ClsUnBalDataInterface(), "SetTotalData");
  return cancel::SetTotalData(binding_, sDsn, sFilter);
}

std::shared_ptr<foundation::Vector> clsUnBalData::SetDetailData(const std::string& sDsn, const std::string& sID) {
  const auto scope = binding_.Scope(ClsUnBalDataInterface(), "SetDetailData");
  if (!IsIdListText(sID)) return nullptr;
  return cancel::SetDetailData(binding_, sDsn, sID);
}

bool clsUnBalData::GenerateVch(const std::string& sDsn, const std::string& sDailyBillID, std::string& sMsg) {
  const auto scope = binding_.Scope(ClsUnBalDataInterface(), "GenerateVch");
  if (!IsIdListText(sDailyBillID)) return false;
  return cancel::GenerateVch(binding_, sDsn, sDailyBillID, sMsg);
}

bool clsUnBalData::UnBalData(automation::DispatchPtr objEventsSwitch, const std::string& sDsn, const std::string& sID,
                             std::string& strReturnMsg) {
  const auto scope = binding_.Scope(ClsUnBalDataInterface(), "UnBalData");
  events_switch_ = std::move(objEventsSwitch);
  if (!IsIdListText(sID)) {
    strReturnMsg = "反日结失败！\r\nnot a list of daily-bill ids";
    return false;
  }
  return cancel::UnBalData(binding_, events_switch_, sDsn, sID, strReturnMsg, progress_);
}

std::string clsUnBalData::GetUnBalDataID(const std::string& sDsn, std::string& sFilter) {
  const auto scope = binding_.Scope(ClsUnBalDataInterface(), "GetUnBalDataID");
  return cancel::GetUnBalDataID(binding_, sDsn, sFilter);
}

std::shared_ptr<foundation::Dictionary> clsUnBalData::PackageRecord(data::Recordset* rs) {
  if (rs == nullptr) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance.clsUnBalData");
  return records::PackageRow(*rs);
}

std::shared_ptr<foundation::Vector> clsUnBalData::PackageRecordset(data::Recordset* rs) {
  if (rs == nullptr) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance.clsUnBalData");
  return records::PackageRows(*rs);
}

}  // namespace tovan::component
