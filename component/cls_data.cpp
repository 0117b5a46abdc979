#include "component/cls_data.h"

#include "component/type_library.h"
#include "numbering/bill_numbers.h"
#include "platform/automation/error.h"
#include "records/packaging.h"
#include "records/write_back.h"

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
    automation::DispatchTable t(ClsDataInterface(), "clsData", lib.ProgId(ClsDataClass()));
    t.Bind("TransMode", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant>) { return Variant(automation::Self<clsData>(d).TransMode()); });
    t.Bind("GetProgressValue", [](Dispatch& d, std::span<Variant>) {
      return Variant(automation::Self<clsData>(d).GetProgressValue());
    });
    t.Bind("JudgeSettleType", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).JudgeSettleType(foundation::AsVector(a[0])));
    });
    t.Bind("PackageRecord", [](Dispatch& d, std::span<Variant> a) {
      auto record = automation::Self<clsData>(d).PackageRecord(AsRecordset(a[0]).get());
      return record ? Variant(record) : Variant::Nothing();
    });
    t.Bind("PackageRecordset", [](Dispatch& d, std::span<Variant> a) {
      auto list = automation::Self<clsData>(d).PackageRecordset(AsRecordset(a[0]).get());
      return list ? Variant(list) : Variant::Nothing();
    });
    t.Bind("InsertVectDataToTbl", [](Dispatch& d, std::span<Variant> a) {
      int32_t code = a[4].long_value();
      auto connection = a[0].IsObject() ? std::dynamic_pointer_cast<data::Connection>(a[0].object()) : nullptr;
      automation::Self<clsData>(d).InsertVectDataToTbl(connection.get(), a[1].string(), a[2].string(),
                                                       foundation::AsVector(a[3]).get(), code);
      a[4] = Variant(code);
      return Variant();
    });
    t.Bind("SaveData", [](Dispatch& d, std::span<Variant> a) {
      int32_t code = a[2].long_value();
      bool ok = automation::Self<clsData>(d).SaveData(a[0].string(), foundation::AsVector(a[1]).get(), code);
      a[2] = Variant(code);
      return Variant(ok);
    });
    t.Bind("GetNewBillNo", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).GetNewBillNo(a[1].string()));
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

std::shared_ptr<foundation::Dictionary> clsData::PackageRecord(data::Recordset* rs) {
  try {
    if (rs == nullptr) automation::Raise(automation::vberr::kObjectNotSet);
    return records::PackageRow(*rs);
  } catch (const automation::AutomationError&) {
    return nullptr;
  }
}

std::shared_ptr<foundation::Vector> clsData::PackageRecordset(data::Recordset* rs) {
  try {
    if (rs == nullptr) automation::Raise(automation::vberr::kObjectNotSet);
    return records::PackageRows(*rs);
  } catch (const automation::AutomationError&) {
    return nullptr;
  }
}

void clsData::InsertVectDataToTbl(data::Connection* oConn, const std::string& stbl, const std::string& sPKField,
                                  foundation::Vector* oVect, int32_t& RtnCode) {
  host::CallScope scope(binding_.data_context_ptr());
  records::InsertVectDataToTbl(oConn, stbl, sPKField, oVect, RtnCode);
}

bool clsData::SaveData(const std::string& sDsn, foundation::Vector* oVect, int32_t& RtnCode) {
  host::CallScope scope(binding_.data_context_ptr());
  std::shared_ptr<data::Connection> connection;
  try {
    binding_.SetComplete();
    binding_.OpenDataContext(sDsn);
    connection = binding_.GetConnection();
  } catch (const automation::AutomationError&) {
    binding_.SetAbort();
    RtnCode = records::kWriteFailed;
    return false;
  }
  records::InsertVectDataToTbl(connection.get(), "t_Item", "FItemID", oVect, RtnCode);
  binding_.SetComplete();
  return true;
}

std::string clsData::GetNewBillNo(const std::string& sFBillType) {
  host::CallScope scope(binding_.data_context_ptr());
  return numbering::GetNewBillNo(sFBillType);
}

}  // namespace tovan::component
