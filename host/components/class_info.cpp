#include "host/components/components.h"
#include "platform/automation/error.h"
#include "platform/data/connection.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::hostlib {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
const automation::InterfaceDesc& ComponentInterface() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_ClassInfo",
      automation::Guid::Of("{BD3657C3-D09A-498F-8753-E5051B6A48AE}"),
      {Method("GetData", {In("sDsn", ParamType::String), Ref("sSql", ParamType::String)}, ParamType::Object)}};
  return iface;
}

const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(ComponentInterface(), "ClassInfo", "TovanMClass.ClassInfo");
    t.Bind("GetData", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<ClassInfo>(d).GetData(a[0].string(), a[1].string()));
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::ClassDesc& ClassInfo::Class() {
  static const automation::ClassDesc cls{"ClassInfo", automation::Guid::Of("{FA2393B6-A303-4A0A-ABC5-5F4020E0484C}"),
                                         &ComponentInterface(), "TovanMClass.ClassInfo"};
  return cls;
}

ClassInfo::ClassInfo() : DescribedObject(Table()) {}

std::shared_ptr<data::Recordset> ClassInfo::GetData(const std::string& data_source, const std::string& sql) {
  host::CallScope scope;
  auto connection = host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(data_source);
  auto rs = data::Recordset::Create();
  rs->Open(sql, connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
  rs->SetActiveConnection(nullptr);
  return rs;
}

}  // namespace tovan::hostlib
