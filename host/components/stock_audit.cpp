// The stock plug-in: audit posts a stock bill to the stock, un-audit gives
// back exactly what the audit posted (kept per bill in t_CC_StockPosting).
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

#include "host/components/components.h"
#include "platform/automation/error.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::hostlib {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
constexpr const char* kProgId = "TovanM_CC_PlugIns.PublicSysInfo";
constexpr int32_t kAudit = 1;
constexpr int32_t kUnaudit = -1;
constexpr int32_t kReturnBillType = 3002;
// Quantities are doubles; a shortfall smaller than this is rounding, not a shortage.
constexpr double kTolerance = 1e-9;
// What a plug-in raises when $DAILYBALANCE_PLUGIN_FAULT says "raise".
constexpr int32_t kPlugInError = static_cast<int32_t>(0x80040201u);  // vbObjectError + 513

const automation::InterfaceDesc& ComponentInterface() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_PublicSysInfo",
      automation::Guid::Of("{176DD28C-2F74-4B63-BE01-B83B578872F6}"),
      {Method("AuditBill",
              {Ref("oBills", ParamType::Object, "Vector"), In("iOperation", ParamType::Integer),
               In("sDsn", ParamType::String), In("bShowMsg", ParamType::Boolean),
               Ref("oResult", ParamType::Object), In("bCheckRight", ParamType::Boolean),
               Opt(In("bNeedVerify", ParamType::Boolean), Variant(false))},
              ParamType::Long)}};
  return iface;
}

const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(ComponentInterface(), "PublicSysInfo", kProgId);
    t.Bind("AuditBill", [](Dispatch& d, std::span<Variant> a) {
      auto request = foundation::AsVector(a[0]);
      if (!request) automation::Raise(automation::vberr::kObjectNotSet, kProgId);
      auto result = foundation::AsDictionary(a[4]);
      return Variant(automation::Self<StockAuditPlugIn>(d).AuditBill(*request, a[1].integer(), a[2].string(),
                                                                      result.get()));
    });
    return t;
  }();
  return table;
}

using StockKey = std::tuple<int32_t, int32_t, int32_t, std::string>;  // item, stock, aux property, batch

void Report(foundation::Dictionary* result, bool ok, const std::string& message) {
  if (result == nullptr) return;
  result->SetValue("SuccessCount", Variant(ok ? "1" : "0"));
  result->SetValue("FailCount", Variant(ok ? "0" : "1"));
  result->SetValue("ErrorMsg", Variant(message));
}

int32_t Audit(HostDatabase& db, int32_t id, int32_t bill_type, foundation::Dictionary* result) {
  data::ResultSet entries = db.Query(
      "SELECT FIndex, FItemID, FSCStockID, FAuxPropID, FBatchNo, FQty FROM t_CC_StockBillEntry WHERE FID = ?1 "
      "ORDER BY FIndex",
      {Variant(id)});
  double sign = bill_type == kReturnBillType ? 1.0 : -1.0;
  std::map<StockKey, double> change;
  for (size_t r = 0; r < entries.RowCount(); ++r) {
    StockKey key{automation::CLng(entries.At(r, 1)), automation::CLng(entries.At(r, 2)),
                 automation::CLng(entries.At(r, 3)), automation::CStr(entries.At(r, 4))};
    change[key] += sign * automation::CDbl(entries.At(r, 5));
  }
  bool allow_negative =
      automation::CStr(db.Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory='IC' AND FKey='AllowNegativeStock'")) ==
      "1";
  // Everything is checked before anything is written, so a refused audit
  // posts nothing.  The rows checked stay locked until the unit ends, so a
  // closing beside this one that takes from the same stock checks what is
  // left after this one.
  if (!allow_negative) {
    for (const auto& [key, delta] : change) {
      Variant on_hand = db.Scalar(
          std::string("SELECT FQty FROM t_CC_Inventory WHERE FItemID=?1 AND FStockID=?2 AND FAuxPropID=?3 AND "
                      "FBatchNo=?4") + db.ForUpdate(),
          {Variant(std::get<0>(key)), Variant(std::get<1>(key)), Variant(std::get<2>(key)), Variant(std::get<3>(key))});
      double quantity = on_hand.IsEmpty() || on_hand.IsNull() ? 0.0 : automation::CDbl(on_hand);
      if (quantity + delta < -kTolerance) {
        Report(result, false, "库存不足");
        return 0;
      }
    }
  }
  for (const auto& [key, delta] : change) {
    Variant item(std::get<0>(key)), stock(std::get<1>(key)), aux(std::get<2>(key)), batch(std::get<3>(key));
    db.Execute(
        "INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty) VALUES (?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT (FItemID, FStockID, FAuxPropID, FBatchNo) DO UPDATE SET FQty = t_CC_Inventory.FQty + excluded.FQty",
        {item, stock, aux, batch, Variant(delta)});
  }
  for (size_t r = 0; r < entries.RowCount(); ++r) {
    db.Execute(
        "INSERT INTO t_CC_StockPosting (FInterID, FEntryID, FItemID, FStockID, FAuxPropID, FBatchNo, FQty) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
        {Variant(id), entries.At(r, 0), entries.At(r, 1), entries.At(r, 2), entries.At(r, 3), entries.At(r, 4),
         Variant(sign * automation::CDbl(entries.At(r, 5)))});
  }
  db.Execute("UPDATE t_cc_stockbill SET FStatus = 1, FCheckerID = ?2, FCheckDate = ?3 WHERE FID = ?1",
             {Variant(id), Variant(int32_t{host::GlobalContext::ForThread().UserId()}),
              Variant(automation::DateToText(automation::Date{std::floor(automation::Date::Now().serial)}))});
  Report(result, true, "");
  return 1;
}

int32_t Unaudit(HostDatabase& db, int32_t id, foundation::Dictionary* result) {
  db.Execute(
      "UPDATE t_CC_Inventory SET FQty = FQty - (SELECT sum(p.FQty) FROM t_CC_StockPosting p WHERE p.FInterID = ?1 "
      "AND p.FItemID = t_CC_Inventory.FItemID AND p.FStockID = t_CC_Inventory.FStockID AND p.FAuxPropID = "
      "t_CC_Inventory.FAuxPropID AND p.FBatchNo = t_CC_Inventory.FBatchNo) WHERE EXISTS (SELECT 1 FROM "
      "t_CC_StockPosting p WHERE p.FInterID = ?1 AND p.FItemID = t_CC_Inventory.FItemID AND p.FStockID = "
      "t_CC_Inventory.FStockID AND p.FAuxPropID = t_CC_Inventory.FAuxPropID AND p.FBatchNo = t_CC_Inventory.FBatchNo)",
      {Variant(id)});
  db.Execute("DELETE FROM t_CC_StockPosting WHERE FInterID = ?1", {Variant(id)});
  db.Execute("UPDATE t_cc_stockbill SET FStatus = 0 WHERE FID = ?1", {Variant(id)});
  Report(result, true, "");
  return 1;
}
}  // namespace

const automation::ClassDesc& StockAuditPlugIn::Class() {
  static const automation::ClassDesc cls{"PublicSysInfo", automation::Guid::Of("{2E6C1FA3-05C3-4448-B712-F051F86082D7}"),
                                         &ComponentInterface(), kProgId};
  return cls;
}

StockAuditPlugIn::StockAuditPlugIn() : DescribedObject(Table()) {}

int32_t StockAuditPlugIn::AuditBill(foundation::Vector& request, int32_t operation, const std::string& data_source,
                                    foundation::Dictionary* result) {
  host::CallScope scope;
  if (auto fault = PlugInFault(operation == kAudit ? "audit" : operation == kUnaudit ? "unaudit" : "")) {
    if (*fault == "raise") throw automation::AutomationError(kPlugInError, kProgId, "injected plug-in failure");
    Report(result, false, "injected plug-in failure");
    return static_cast<int32_t>(std::strtol(fault->c_str(), nullptr, 10));
  }
  HostDatabase db(data_source);
  int32_t id = automation::CLng(request.Record(1)->Value("BillInterID"));
  data::ResultSet bill = db.Query("SELECT FStatus, FBillTypeID FROM t_cc_stockbill WHERE FID = ?1", {Variant(id)});
  if (bill.RowCount() == 0) {
    Report(result, false, "单据不存在");
    return 0;
  }
  bool audited = automation::CLng(bill.At(0, 0)) == 1;
  if (operation == kAudit && !audited) return Audit(db, id, automation::CLng(bill.At(0, 1)), result);
  if (operation == kUnaudit && audited) return Unaudit(db, id, result);
  Report(result, false, audited ? "单据已审核" : "单据未审核");
  return 0;
}

}  // namespace tovan::hostlib
