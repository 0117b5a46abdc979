#include "host/components/components.h"
#include "platform/automation/error.h"
#include "host/host_database.h"
#include "platform/host/data_context.h"

namespace tovan::hostlib {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
const automation::InterfaceDesc& ComponentInterface() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_clsBillCodeRule",
      automation::Guid::Of("{E25D8E0D-0611-4126-944E-8FE5FACE5B1F}"),
      {Method("GetNewBillID",
              {In("sDsn", ParamType::String), Ref("oRequest", ParamType::Object, "Dictionary"),
               Opt(In("bUpdate", ParamType::Boolean), Variant(true))},
              ParamType::String)}};
  return iface;
}

const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(ComponentInterface(), "clsBillCodeRule", "TovanMBillCodeRule.clsBillCodeRule");
    t.Bind("GetNewBillID", [](Dispatch& d, std::span<Variant> a) {
      auto request = foundation::AsDictionary(a[1]);
      if (!request) automation::Raise(automation::vberr::kObjectNotSet, "TovanMBillCodeRule.clsBillCodeRule");
      return Variant(automation::Self<BillCodeRule>(d).GetNewBillID(a[0].string(), *request));
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::ClassDesc& BillCodeRule::Class() {
  static const automation::ClassDesc cls{"clsBillCodeRule",
                                         automation::Guid::Of("{7A254FB4-6112-43E5-B539-72149B121453}"), &ComponentInterface(),
                                         "TovanMBillCodeRule.clsBillCodeRule"};
  return cls;
}

BillCodeRule::BillCodeRule() : DescribedObject(Table()) {}

std::string BillCodeRule::GetNewBillID(const std::string& data_source, foundation::Dictionary& request) {
  host::CallScope scope;
  HostDatabase db(data_source);
  std::string bill_type = automation::CStr(request.Value("FBillType"));
  // On a server the counter is a sequence per rule: an UPDATE of the rule's
  // row would make every other closing wait for this unit to end.
  data::ResultSet rule =
      db.connection()->backend().Engine() == "postgresql"
          ? db.Query("SELECT FPrefix, FDigits, nextval('billcode_' || lower(FBillType)) FROM t_BillCodeRule "
                     "WHERE FBillType = ?1",
                     {Variant(bill_type)})
          : db.Query("UPDATE t_BillCodeRule SET FCurNo = FCurNo + 1 WHERE FBillType = ?1 "
                     "RETURNING FPrefix, FDigits, FCurNo",
                     {Variant(bill_type)});
  if (rule.RowCount() == 0) return {};
  std::string number = automation::CStr(rule.At(0, 2));
  int32_t digits = automation::CLng(rule.At(0, 1));
  if (static_cast<int32_t>(number.size()) < digits) number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
  return automation::CStr(rule.At(0, 0)) + number;
}

}  // namespace tovan::hostlib
