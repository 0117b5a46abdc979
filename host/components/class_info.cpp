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

namespace {
// On a server the query service is a session of its own beside the caller's
// unit, reading through the host's "numbering" schema: it sees every daily
// bill committed by now and the numbers that closings still open hold, so
// closings at the same time take different daily-bill numbers without
// waiting for each other.  The embedded engine runs one writer at a time:
// there the thread's connection serves.
std::shared_ptr<data::Connection> QueryServiceConnection(const std::string& data_source) {
  auto context = host::GlobalContext::ForThread().GetDataContext();
  auto connection = context->ConnectionFor(data_source);
  if (connection->backend().Engine() != "postgresql") return connection;
  connection = context->ConnectionBesideUnitsFor(data_source);
  // Set at each call (one round trip a closing): a session the backend made
  // again after a lost connection starts with the default path.
  connection->backend().ExecuteNative(
      "SELECT set_config('search_path', 'numbering, ' || current_setting('search_path'), false) "
      "WHERE current_setting('search_path') NOT LIKE 'numbering,%'",
      {});
  return connection;
}
}  // namespace

std::shared_ptr<data::Recordset> ClassInfo::GetData(const std::string& data_source, const std::string& sql) {
  host::CallScope scope;
  auto connection = QueryServiceConnection(data_source);
  auto rs = data::Recordset::Create();
  rs->Open(sql, connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
  rs->SetActiveConnection(nullptr);
  return rs;
}

}  // namespace tovan::hostlib
