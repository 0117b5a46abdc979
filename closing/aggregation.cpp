#include "closing/aggregation.h"

#include "platform/automation/error.h"
#include "platform/data/recordset.h"
#include "records/packaging.h"

namespace tovan::closing {

using automation::Variant;

namespace {
constexpr const char* kCrLf = "\r\n";
}

std::shared_ptr<foundation::Vector> AggregateRetailLines(component::ContextBinding& binding,
                                                         const std::shared_ptr<data::Connection>& connection,
                                                         const std::string& retail_bill_ids) {
  binding.SetAbort();
  if (!connection) return nullptr;
  try {
    std::string condition = " a.FID in (" + retail_bill_ids + ")";
    connection->Execute(
        std::string("if object_id('tempdb..#0408') is not null drop table #0408") + kCrLf +
        "SELECT * INTO #0408 FROM (" + kCrLf +
        " select b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,Abs(sum(b.FBalAmount)) as "
        "FAmount,Abs(sum(b.FQty)) as FShowQty,Abs(sum(b.FShowQty)) as FQty,c.FTypeID as FTypeID  from "
        "T_LS_RetailEntry b Inner Join t_LS_Retail a on a.FID=b.FID " +
        kCrLf + " Inner Join t_stock c on b.FStock=c.FItemID " + kCrLf + " Where " + condition +
        " Group by b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,c.FTypeID" + kCrLf + " ) tmp" +
        kCrLf +
        "update #0408 set FShowUnitID=(select FUnitID from t_icitem where FItemID=#0408.FItemID "
        "),FShowQty=FShowQty*FCoefficient,FCoefficient=1" +
        kCrLf + "Where FCoefficient <> 1");

    auto groups = data::Recordset::Create();
    groups->Open(std::string("Set NoCount On ") + kCrLf +
                     "Select t.*,h.FIsBatchManager,h.FUnitID,h.FSecUnitID,h.FSecCoefficient,i.FTaxRate,case when "
                     "t.FTypeID=502 then 0 else h.FCostPrice end as FCostPrice from (" +
                     kCrLf +
                     "select FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,Abs(sum(FAmount)) as "
                     "FAmount,Abs(sum(FShowQty)) as FShowQty,Abs(sum(FQty)) as FQty,FTypeID as FTypeID " +
                     kCrLf + " from #0408 Group by FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,FTypeID " +
                     " ) t " + kCrLf +
                     " Inner Join t_ICItem h on t.FItemID=h.FItemID Inner Join t_Item i on t.FItemID=i.FItemID " +
                     kCrLf + "Set NoCount Off",
                 connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    groups->SetActiveConnection(nullptr);
    auto lines = records::PackageRows(*groups);

    auto total = connection->Execute(std::string("Set NoCount On ") + kCrLf +
                                     "Select Abs(sum(b.FBalAmount)) as FTotalAmount from t_Ls_RetailEntry b Inner "
                                     "Join t_LS_Retail a on a.FID=b.FID " +
                                     kCrLf + " Where " + condition + kCrLf + "Set NoCount Off");
    if (!total->IsOpen() || total->EOF_()) return nullptr;
    auto total_record = foundation::Dictionary::Create();
    total_record->SetValue("FTotalAmount", total->Value("FTotalAmount"));
    lines->Add(Variant(total_record));
    binding.SetComplete();
    return lines;
  } catch (const automation::AutomationError&) {
    return nullptr;
  }
}

double SumSettleAmount(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                       const std::string& filter, const std::string& settle_ids) {
  binding.SetAbort();
  if (!connection) return 0;
  double amount = 0;
  try {
    std::string condition = settle_ids.empty() ? std::string() : filter + " And FSettleID in (" + settle_ids + ") ";
    auto rs = data::Recordset::Create();
    rs->Open(std::string("Set NoCount On ") + kCrLf + "select sum(FSettleAmount) as FAmount from t_LS_RetailEntry2  " +
                 kCrLf + " Where " + condition + kCrLf + "Set NoCount Off",
             connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    rs->SetActiveConnection(nullptr);
    if (!rs->EOF_()) amount = automation::CDbl(foundation::NullToDefault(rs->Value("FAmount"), Variant(int32_t{0})));
  } catch (const automation::AutomationError&) {
    return amount;
  }
  binding.SetComplete();
  return amount;
}

}  // namespace tovan::closing
