#include "closing/stock_bill_assembly.h"

#include <cmath>

#include "closing/batch_allocation.h"
#include "component/bill_types.h"
#include "numbering/round_to.h"
#include "platform/automation/error.h"
#include "platform/host/global_context.h"

namespace tovan::closing {

using automation::CDbl;
using automation::Checked;
using automation::Divide;
using automation::Variant;
using numbering::RoundTo;

namespace {

bool EqualsNumber(const Variant& value, int32_t number) {
  auto order = automation::Compare(value, Variant(number));
  return order && *order == 0;
}

// An account given as 0 or as the empty text means none.
bool IsNoAccount(const Variant& value) {
  if (value.IsEmpty()) return true;
  if (value.type() == automation::VarType::String && value.string().empty()) return true;
  return EqualsNumber(value, 0);
}

Variant UserId(component::ContextBinding& binding) {
  // Asked afresh at each use, as the host may switch users between calls.
  return Variant(binding.data_context().GetUserSession()->UserID());
}

double AbsAmount(const Variant& value) { return std::fabs(CDbl(value)); }

// The settlement account as the record's Value gives it: a key the record
// lacks is a failure of the header, not an account left empty.
const Variant& SettlementAccount(const foundation::Dictionary& settlement) {
  if (!settlement.Exists("FSettleAcctItemID"))
    automation::Raise(automation::vberr::kInvalidProcedureCall, "TovanMDailyBalance");
  return settlement.Value("FSettleAcctItemID");
}
}  // namespace

std::shared_ptr<foundation::Dictionary> AssembleHeader(component::ContextBinding& binding,
                                                       const ClosingParameters& parameters) {
  auto header = foundation::Dictionary::Create();
  header->SetValue("FCustID", Variant(parameters.client));
  header->SetValue("FCurPayID", Variant(parameters.client));
  header->SetValue("FClassTypeID", Variant(component::kStockBillClass));
  header->SetValue("FDate", Variant(parameters.bal_date));
  header->SetValue("FCheckDate", Variant(parameters.bal_date));
  header->SetValue("FSettleLimitDate", Variant(parameters.bal_date));
  header->SetValue("FBillTypeID", Variant(CDbl(Variant(parameters.bill_type)) == 1 ? int32_t{3001} : int32_t{3002}));
  header->SetValue("FBillerID", UserId(binding));
  header->SetValue("FCheckerID", UserId(binding));
  header->SetValue("FExplanation", Variant(component::kClosingExplanation));
  header->SetValue("fdeptid", Variant(parameters.dept_id));

  const auto& vec = parameters.settlements;
  if (!vec || vec->UpperBound() == 0) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance");
  for (int32_t p = 1; p <= vec->UpperBound(); ++p) {
    auto settlement = vec->Record(p);
    double amount = AbsAmount(settlement->Value("FSettleAmount"));
    header->SetValue("FAllAmount", Variant(Checked(CDbl(header->GetValue("FAllAmount", Variant(int32_t{0}))) + amount)));
    const Variant& item = settlement->Value("FSettleItemID");
    if (EqualsNumber(item, 1) || EqualsNumber(item, 5)) {
      header->SetValue("FCurPayAmount",
                       Variant(Checked(CDbl(header->GetValue("FCurPayAmount", Variant(int32_t{0}))) + amount)));
      header->SetValue("FCurCheckAmount", header->Value("FCurPayAmount"));
      header->SetValue("FBalanceStyle", Variant(int16_t{0}));
      if (!IsNoAccount(SettlementAccount(*settlement))) header->SetValue("FAcctNo", SettlementAccount(*settlement));
      header->SetValue("FCheckAmount", header->GetValue("FCurPayAmount", Variant(int32_t{0})));
    }
    if (IsNoAccount(header->GetValue("FAcctNo", Variant(int32_t{0}))))
      header->SetValue("FAcctNo", SettlementAccount(*settlement));
  }
  header->SetValue("FUnCheckAmount", Variant(Checked(CDbl(header->GetValue("FAllAmount", Variant(int32_t{0}))) -
                                                     CDbl(header->GetValue("FCheckAmount", Variant(int32_t{0}))))));
  header->SetValue("FInvoiceType", Variant(parameters.invoice_type));
  header->SetValue("FStatus", Variant(int16_t{0}));
  return header;
}

namespace {
double TaxFactor(const ClosingParameters& parameters, const foundation::Dictionary& line) {
  if (parameters.invoice_type != "2020") return 1;
  if (parameters.tax != 0) return Checked(1 + Divide(parameters.tax, 100));
  return Checked(1 + Divide(CDbl(line.GetValue("FTaxRate", Variant(int32_t{0}))), 100));
}

std::shared_ptr<foundation::Dictionary> MakeEntry(const foundation::Dictionary& line, const foundation::Dictionary& row,
                                                  double factor, double deductible_total, double total_amount,
                                                  const std::string& daily_bill_no, const std::string& daily_bill_id) {
  const Variant zero(int32_t{0});
  auto get = [&](const foundation::Dictionary& r, const char* key) { return r.GetValue(key, zero); };
  auto entry = foundation::Dictionary::Create();
  auto value = [&](const char* key) { return CDbl(entry->Value(key)); };

  entry->SetValue("FItemID", get(line, "FItemID"));
  entry->SetValue("FUnitID", get(line, "FUnitID"));
  entry->SetValue("FShowUnitID", get(line, "FShowUnitID"));
  entry->SetValue("FCoefficient", get(line, "FCoefficient"));
  entry->SetValue("FAuxPropID", get(line, "FAuxPropID"));
  entry->SetValue("FSCStockID", get(line, "FStock"));
  Variant row_qty = get(row, "FQty");
  entry->SetValue("FQty", row_qty);
  // Compared as VB compares a variant with "0": as text for text, as a number otherwise.
  bool zero_coefficient = automation::IsEqual(line.GetValue("FCoefficient", Variant("1")), Variant("0"));
  entry->SetValue("FShowQty", zero_coefficient
                                  ? row_qty
                                  : Variant(Divide(CDbl(row_qty), CDbl(line.GetValue("FCoefficient", Variant(int32_t{1}))))));
  entry->SetValue("FUnRejectQty", entry->Value("FShowQty"));
  entry->SetValue("FBatchNo", row.GetValue("FBatchNo", Variant("")));
  entry->SetValue("FKFPeriod", get(row, "FKFPeriod"));
  entry->SetValue("FKFDate", row.GetValue("FKFDate", Variant("1900-01-01")));
  entry->SetValue("FPeriodDate", row.GetValue("FPeriodDate", Variant("1900-01-01")));
  entry->SetValue("FCostPrice", get(line, "FCostPrice"));
  entry->SetValue("FCostAmount", Variant(Checked(value("FCostPrice") * value("FShowQty"))));
  entry->SetValue("FDiscountAmount", Variant(int16_t{0}));
  entry->SetValue("FDiscountRate", Variant(int16_t{100}));
  double line_amount = CDbl(get(line, "FAmount"));
  double share = Divide(Checked(line_amount * deductible_total), total_amount);
  entry->SetValue("FInTaxAmount", Variant(RoundTo(Checked(line_amount - share), 2)));
  entry->SetValue("FAmount", Variant(RoundTo(Divide(value("FInTaxAmount"), factor), 2)));
  entry->SetValue("FTaxAmount", Variant(RoundTo(Checked(value("FInTaxAmount") - value("FAmount")), 2)));

  Variant q = line.GetValue("FShowQty", Variant(int32_t{1}));
  if (CDbl(line.GetValue("FQty", Variant(int32_t{1}))) == 0) {
    entry->SetValue("FTaxPrice", entry->Value("FInTaxAmount"));
    entry->SetValue("FPriceDiscount", entry->Value("FAmount"));
    entry->SetValue("FPrice", Variant(Checked(value("FAmount") + value("FDiscountAmount"))));
  } else {
    entry->SetValue("FTaxPrice", Variant(Divide(value("FInTaxAmount"), CDbl(q))));
    entry->SetValue("FPriceDiscount", Variant(Divide(value("FAmount"), CDbl(q))));
    entry->SetValue("FPrice", Variant(Divide(Checked(value("FAmount") + value("FDiscountAmount")), CDbl(q))));
  }
  // A line spread over several batches: each entry's amounts come from the unit prices.
  if (!automation::IsEqual(row_qty, get(line, "FQty"))) {
    entry->SetValue("FQty", row_qty);
    entry->SetValue("FUnRejectQty", entry->Value("FShowQty"));
    entry->SetValue("FInTaxAmount", Variant(RoundTo(Checked(value("FTaxPrice") * value("FShowQty")), 2)));
    entry->SetValue("FAmount", Variant(RoundTo(Checked(value("FPrice") * value("FShowQty")), 2)));
    entry->SetValue("FTaxAmount", Variant(Checked(value("FInTaxAmount") - value("FAmount"))));
  }
  entry->SetValue("FSecUnitID", get(line, "FSecUnitID"));
  entry->SetValue("FSecCoefficient", get(line, "FSecCoefficient"));
  double secondary = value("FSecCoefficient");
  entry->SetValue("FSecQty", secondary == 0 ? Variant(int16_t{0}) : Variant(Divide(value("FQty"), secondary)));
  entry->SetValue("FUnRejectAuxQty", entry->Value("FSecQty"));
  entry->SetValue("FSecPrice", Variant(Checked(value("FPrice") * secondary)));
  entry->SetValue("FTaxRate", Variant(Checked((factor - 1) * 100)));
  entry->SetValue("FClassID_SRC", Variant(component::kDailyBillClass));
  entry->SetValue("FBillNo_SRC", Variant(daily_bill_no));
  entry->SetValue("FID_SRC", Variant(automation::CLng(Variant(daily_bill_id))));
  return entry;
}
}  // namespace

AssembledEntries AssembleEntries(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                                 const ClosingParameters& parameters, foundation::Vector& aggregated,
                                 double deductible_total, double total_amount, const std::string& daily_bill_no,
                                 const std::string& daily_bill_id, const automation::DispatchPtr& events) {
  AssembledEntries result;
  auto entries = foundation::Vector::Create();
  for (int32_t p = 1; p <= aggregated.UpperBound() - 1; ++p) {
    auto line = aggregated.Record(p);
    std::shared_ptr<foundation::Vector> rows;
    if (automation::CBool(line->GetValue("FIsBatchManager", Variant(int32_t{0})))) {
      rows = AllocateBatches(binding, connection, automation::CLng(line->GetValue("FItemID", Variant(int32_t{0}))),
                             automation::CLng(line->GetValue("FAuxPropID", Variant(int32_t{0}))),
                             automation::CLng(line->GetValue("FStock", Variant(int32_t{0}))),
                             CDbl(line->GetValue("FQty", Variant(int32_t{0}))), parameters.bill_type);
    } else {
      rows = foundation::Vector::Create();
      auto row = foundation::Dictionary::Create();
      row->SetValue("FBatchNo", Variant(""));
      row->SetValue("FQty", line->GetValue("FQty", Variant(int32_t{0})));
      rows->Add(Variant(row));
    }
    if (!rows || rows->UpperBound() == 0) {
      result.unallocated = UnallocatedLine{automation::CStr(line->GetValue("FItemID", Variant("")))};
      return result;
    }
    double factor = TaxFactor(parameters, *line);
    for (int32_t r = 1; r <= rows->UpperBound(); ++r) {
      entries->Add(Variant(MakeEntry(*line, *rows->Record(r), factor, deductible_total, total_amount, daily_bill_no,
                                     daily_bill_id)));
    }
    host::GlobalContext::ForThread().ProcessPendingEvents();
    if (!events) automation::Raise(automation::vberr::kObjectNotSet, "TovanMDailyBalance");
    events->Call("SetProgressValue", p);
  }
  result.entries = entries;
  return result;
}

}  // namespace tovan::closing
