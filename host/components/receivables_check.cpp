// The receivables plug-in: writes a check bill off, or undoes the write-off.
#include "host/components/components.h"
#include "platform/automation/error.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"

namespace tovan::hostlib {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
constexpr const char* kProgId = "TovanM_ArAp_PlugIns.clsCheck";
constexpr int32_t kWriteOff = 1;
constexpr int32_t kUndo = 0;
constexpr int32_t kCustomerClass = 4;
// What a plug-in raises when $DAILYBALANCE_PLUGIN_FAULT says "raise".
constexpr int32_t kPlugInError = static_cast<int32_t>(0x80040201u);  // vbObjectError + 513

const automation::InterfaceDesc& ComponentInterface() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_clsCheck",
      automation::Guid::Of("{B72438D8-5914-4138-8C27-CDC1EF46B884}"),
      {Method("CheckBill",
              {In("sDsn", ParamType::String), Ref("sBillID", ParamType::String), In("iOperation", ParamType::Integer),
               Ref("sMsg", ParamType::String), Ref("oInfo", ParamType::Object), Ref("oExtra", ParamType::Object),
               Opt(In("bShowMsg", ParamType::Boolean), Variant(false))},
              ParamType::Boolean)}};
  return iface;
}

const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(ComponentInterface(), "clsCheck", kProgId);
    t.Bind("CheckBill", [](Dispatch& d, std::span<Variant> a) {
      std::string message = a[3].string();
      bool ok = automation::Self<ReceivablesCheckPlugIn>(d).CheckBill(a[0].string(), a[1].string(), a[2].integer(),
                                                                     message);
      a[3] = Variant(message);
      return Variant(ok);
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::ClassDesc& ReceivablesCheckPlugIn::Class() {
  static const automation::ClassDesc cls{"clsCheck", automation::Guid::Of("{80AC1B63-16DF-4A90-A0EC-F61C31B42389}"),
                                         &ComponentInterface(), kProgId};
  return cls;
}

ReceivablesCheckPlugIn::ReceivablesCheckPlugIn() : DescribedObject(Table()) {}

bool ReceivablesCheckPlugIn::CheckBill(const std::string& data_source, const std::string& check_id, int32_t operation,
                                       std::string& message) {
  host::CallScope scope;
  if (auto fault = PlugInFault(operation == kWriteOff ? "writeoff" : operation == kUndo ? "undo" : "")) {
    if (*fault == "raise") throw automation::AutomationError(kPlugInError, kProgId, "injected plug-in failure");
    message = "injected plug-in failure";
    return *fault == "true";
  }
  HostDatabase db(data_source);
  Variant id(automation::CLng(Variant(check_id)));
  data::ResultSet bill = db.Query("SELECT FStatus, FInCustID FROM t_rp_Checkbill WHERE FID = ?1", {id});
  if (bill.RowCount() == 0) {
    message = "核销单不存在";
    return false;
  }
  bool written_off = automation::CLng(bill.At(0, 0)) == 1;
  if (operation == kWriteOff) {
    if (written_off) {
      message = "核销单已核销";
      return false;
    }
    Variant customer = db.Scalar("SELECT 1 FROM t_Item WHERE FItemID = ?1 AND FItemClassID = ?2",
                                 {bill.At(0, 1), Variant(kCustomerClass)});
    if (customer.IsEmpty()) {
      message = "收款客户不存在";
      return false;
    }
    db.Execute("UPDATE t_rp_Checkbill SET FStatus = 1 WHERE FID = ?1", {id});
    return true;
  }
  if (operation == kUndo && written_off) {
    db.Execute("UPDATE t_rp_Checkbill SET FStatus = 0 WHERE FID = ?1", {id});
    return true;
  }
  message = written_off ? "未知的核销操作" : "核销单未核销";
  return false;
}

}  // namespace tovan::hostlib
