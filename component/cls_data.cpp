#include "component/cls_data.h"

#include "closing/balance_amount.h"
#include "closing/closing_driver.h"
#include "closing/eligibility_checks.h"
#include "closing/lookups.h"
#include "closing/rollback.h"
#include "closing/settlement_services.h"
#include "component/argument_checks.h"
#include "component/type_library.h"
#include "numbering/bill_numbers.h"
#include "platform/automation/error.h"
#include "records/packaging.h"
#include "records/write_back.h"

namespace tovan::component {

using automation::Dispatch;
using automation::Variant;

namespace {
std::shared_ptr<data::Connection> AsConnection(const Variant& v) {
  return v.IsObject() ? std::dynamic_pointer_cast<data::Connection>(v.object()) : nullptr;
}

// A tax rate's statement names its table and carries the rate and the item
// id between quotes.
bool TaxRateStatementPasses(const std::string& table, const foundation::Dictionary& record) {
  return IsTableName(table) && IsIdValue(record.Value("FItemID")) && IsNumberValue(record.Value("FTaxRate"));
}

Variant ListOrNothing(std::shared_ptr<foundation::Vector> list) {
  return list ? Variant(std::move(list)) : Variant::Nothing();
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
      auto record = automation::Self<clsData>(d).PackageRecord(data::AsRecordset(a[0]).get());
      return record ? Variant(record) : Variant::Nothing();
    });
    t.Bind("PackageRecordset", [](Dispatch& d, std::span<Variant> a) {
      auto list = automation::Self<clsData>(d).PackageRecordset(data::AsRecordset(a[0]).get());
      return list ? Variant(list) : Variant::Nothing();
    });
    t.Bind("InsertVectDataToTbl", [](Dispatch& d, std::span<Variant> a) {
      int32_t code = a[4].long_value();
      automation::Self<clsData>(d).InsertVectDataToTbl(AsConnection(a[0]).get(), a[1].string(), a[2].string(),
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
    t.Bind("CheckBalData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).CheckBalData(a[0].string(), a[1].string(), a[2].date(),
                                                               a[3].date(), a[4].string(), a[5].long_value()));
    });
    t.Bind("CheckData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).CheckData(a[0].string(), foundation::AsVector(a[1])));
    });
    t.Bind("CheckStore", [](Dispatch& d, std::span<Variant> a) {
      std::string message = a[2].string();
      bool ok = automation::Self<clsData>(d).CheckStore(a[0].string(), a[1].string(), message, a[3].string());
      a[2] = Variant(message);
      return Variant(ok);
    });
    t.Bind("JudgeData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).JudgeData(a[0].string(), a[1].string()));
    });
    t.Bind("GetSettleAcctData", [](Dispatch& d, std::span<Variant> a) {
      return ListOrNothing(automation::Self<clsData>(d).GetSettleAcctData(a[0].string()));
    });
    t.Bind("SetSettleAmount", [](Dispatch& d, std::span<Variant> a) {
      return ListOrNothing(automation::Self<clsData>(d).SetSettleAmount(a[0].string(), a[1].string()));
    });
    t.Bind("SetSettleAmountID", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).SetSettleAmountID(a[0].string(), a[1].string()));
    });
    t.Bind("GetData", [](Dispatch& d, std::span<Variant> a) {
      return ListOrNothing(automation::Self<clsData>(d).GetData(a[0].string()));
    });
    t.Bind("GetItemData", [](Dispatch& d, std::span<Variant> a) {
      automation::Self<clsData>(d).GetItemData(a[0].string(), a[1].string(), a[2].string());
      return Variant();
    });
    t.Bind("GetMaxLevel", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).GetMaxLevel(a[0].string()));
    });
    t.Bind("GetCustDetail", [](Dispatch& d, std::span<Variant> a) {
      std::string name = a[2].string(), contact = a[3].string(), phone = a[4].string(), fax = a[5].string();
      automation::Self<clsData>(d).GetCustDetail(a[0].string(), a[1].string(), name, contact, phone, fax);
      a[2] = Variant(name);
      a[3] = Variant(contact);
      a[4] = Variant(phone);
      a[5] = Variant(fax);
      return Variant();
    });
    t.Bind("GetInvoiceData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).GetInvoiceData(AsConnection(a[0]).get(), a[1].string()));
    });
    t.Bind("GetIDData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).GetIDData(a[0].string(), a[1].string()));
    });
    t.Bind("UpdateBalAmount", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).UpdateBalAmount(a[0].string(), a[1].date(), a[2].date(),
                                                                   a[3].long_value()));
    });
    t.Bind("ProcessDailyBalance", [](Dispatch& d, std::span<Variant> a) {
      std::string message = a[10].string();
      bool ok = automation::Self<clsData>(d).ProcessDailyBalance(
          a[0].object(), a[1].string(), a[2].string(), a[3].string(), a[4].date(), a[5].string(), a[6].string(),
          a[8].double_value(), foundation::AsVector(a[9]), message, a[12].boolean(), a[13].long_value(),
          a[14].long_value());
      a[10] = Variant(message);
      return Variant(ok);
    });
    t.Bind("GetSettleInfo", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<clsData>(d).GetSettleInfo(a[0].string(), a[1].string()));
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
  const auto scope = binding_.Scope(ClsDataInterface(), "InsertVectDataToTbl");
  records::InsertVectDataToTbl(oConn, stbl, sPKField, oVect, RtnCode, TaxRateStatementPasses);
}

bool clsData::SaveData(const std::string& sDsn, foundation::Vector* oVect, int32_t& RtnCode) {
  const auto scope = binding_.Scope(ClsDataInterface(), "SaveData");
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
  records::InsertVectDataToTbl(connection.get(), "t_Item", "FItemID", oVect, RtnCode, TaxRateStatementPasses);
  binding_.SetComplete();
  return true;
}

std::string clsData::GetNewBillNo(const std::string& sFBillType) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetNewBillNo");
  return numbering::GetNewBillNo(sFBillType);
}

bool clsData::CheckBalData(const std::string& sDsn, const std::string& sIDDetail, automation::Date sDateFrom,
                           automation::Date sDateTo, const std::string& sBillType, int32_t lBranchShop) {
  const auto scope = binding_.Scope(ClsDataInterface(), "CheckBalData");
  if (!IsIdListText(sIDDetail) || !IsIdListText(sBillType)) return false;
  return closing::CheckBalData(binding_, sDsn, sIDDetail, sDateFrom, sDateTo, sBillType, lBranchShop);
}

bool clsData::CheckData(const std::string& sDsn, const std::shared_ptr<foundation::Vector>& vec) {
  const auto scope = binding_.Scope(ClsDataInterface(), "CheckData");
  if (!RecordValuesPass(vec.get(), "FID", IsIdValue)) return false;
  return closing::CheckData(binding_, sDsn, vec);
}

bool clsData::CheckStore(const std::string& sDsn, const std::string& sIDDetail, std::string& strRtnMsg,
                         const std::string& sBillType) {
  const auto scope = binding_.Scope(ClsDataInterface(), "CheckStore");
  if (!IsIdListText(sIDDetail)) {
    if (strRtnMsg.empty()) strRtnMsg = closing::kStockCheckFailed;
    return false;
  }
  return closing::CheckStore(binding_, sDsn, sIDDetail, strRtnMsg, sBillType);
}

bool clsData::JudgeData(const std::string& sDsn, const std::string& sIDDetail) {
  const auto scope = binding_.Scope(ClsDataInterface(), "JudgeData");
  if (!IsIdListText(sIDDetail)) return false;
  return closing::JudgeData(binding_, sDsn, sIDDetail);
}

std::shared_ptr<foundation::Vector> clsData::GetSettleAcctData(const std::string& sDsn) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetSettleAcctData");
  return closing::GetSettleAcctData(binding_, sDsn);
}

std::shared_ptr<foundation::Vector> clsData::SetSettleAmount(const std::string& sDsn, const std::string& sIDDetail) {
  const auto scope = binding_.Scope(ClsDataInterface(), "SetSettleAmount");
  if (!IsIdListText(sIDDetail)) return nullptr;
  return closing::SetSettleAmount(binding_, sDsn, sIDDetail);
}

std::string clsData::SetSettleAmountID(const std::string& sDsn, const std::string& SettleAccText) {
  const auto scope = binding_.Scope(ClsDataInterface(), "SetSettleAmountID");
  return closing::SetSettleAmountID(binding_, sDsn, SettleAccText);
}

std::shared_ptr<foundation::Vector> clsData::GetData(const std::string& sDsn) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetData");
  closing::GetData(binding_, customer_tree_, sDsn);
  return customer_tree_;
}

void clsData::GetItemData(const std::string& sItemID, const std::string& sDsn, const std::string& sFilter) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetItemData");
  if (!customer_tree_) customer_tree_ = foundation::Vector::Create();
  if (!IsIdListText(sItemID)) return;
  closing::GetItemData(binding_, *customer_tree_, sItemID, sDsn, sFilter);
}

int16_t clsData::GetMaxLevel(const std::string& sDsn) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetMaxLevel");
  return closing::GetMaxLevel(binding_, sDsn);
}

void clsData::GetCustDetail(const std::string& sDsn, const std::string& ItemID, std::string& name,
                            std::string& contact, std::string& phone, std::string& fax) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetCustDetail");
  if (!IsIdListText(ItemID)) return;
  closing::GetCustDetail(binding_, sDsn, ItemID, name, contact, phone, fax);
}

std::string clsData::GetInvoiceData(data::Connection* oConn, const std::string& sItemID) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetInvoiceData");
  if (!IsIdListText(sItemID)) return {};
  return closing::GetInvoiceData(oConn, sItemID);
}

std::string clsData::GetIDData(const std::string& sDsn, const std::string& sFilter) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetIDData");
  return closing::GetIDData(binding_, sDsn, sFilter);
}

std::string clsData::GetSettleInfo(const std::string& sSection, const std::string& SKey) {
  const auto scope = binding_.Scope(ClsDataInterface(), "GetSettleInfo");
  return closing::GetSettleInfo(sSection, SKey);
}

bool clsData::UpdateBalAmount(const std::string& sDsn, automation::Date DateFrom, automation::Date DateTo,
                              int32_t lBranchShop) {
  const auto scope = binding_.Scope(ClsDataInterface(), "UpdateBalAmount");
  return closing::UpdateBalAmount(binding_, sDsn, {DateFrom, DateTo, lBranchShop});
}

bool clsData::ProcessDailyBalance(automation::DispatchPtr objEventsSwitch, const std::string& sDsn,
                                  const std::string& sBillType, const std::string& sID, automation::Date BalDate,
                                  const std::string& sInvoiceType, const std::string& sClient, double dTax,
                                  std::shared_ptr<foundation::Vector> vec, std::string& strReturnMsg,
                                  bool bCreateCheckBill, int32_t lInCustID, int32_t lDeptID) {
  const auto scope = binding_.Scope(ClsDataInterface(), "ProcessDailyBalance");
  events_switch_ = objEventsSwitch;
  // The ids the header statement carries bare.  The bill type and the
  // settlement values are only compared and computed with (numeric text is a
  // number there); the account is checked where the stock bill writes it.
  if (!IsIdListText(sID) || !IsIdListText(sInvoiceType) || !IsIdListText(sClient)) {
    // As a closing whose first statement the database refused: stage 0, nothing written.
    closing::RollbackClosing(binding_, 0, strReturnMsg, "", 0, 0, sID);
    return false;
  }
  closing::ClosingRequest request;
  request.events = std::move(objEventsSwitch);
  request.data_source = sDsn;
  request.retail_bill_ids = sID;
  request.parameters.bill_type = sBillType;
  request.parameters.bal_date = BalDate;
  request.parameters.invoice_type = sInvoiceType;
  request.parameters.client = sClient;
  request.parameters.tax = dTax;
  request.parameters.settlements = std::move(vec);
  request.parameters.dept_id = lDeptID;
  request.create_check_bill = bCreateCheckBill;
  request.in_customer_id = lInCustID;
  return closing::ProcessDailyBalance(binding_, request, strReturnMsg);
}

}  // namespace tovan::component
