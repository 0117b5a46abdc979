#include "platform/host/host_objects.h"

#include "platform/automation/error.h"
#include "platform/host/global_context.h"

namespace tovan::host {

using automation::Dispatch;
using automation::ParamType;
using automation::Self;
using automation::Variant;

namespace {
std::string LowerKey(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = automation::AsciiLower(c);
  return out;
}

const automation::DispatchTable& SharedTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(SharedPropertyService::Describe(), "ShareProps", "TovanPropsMgr.ShareProps");
    t.Bind("GetProperty", [](Dispatch& d, std::span<Variant> a) {
      return Self<SharedPropertyService>(d).GetProperty(a[0].long_value(), a[1].string());
    });
    return t;
  }();
  return table;
}

const automation::DispatchTable& ProcessTable() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(ProcessProperties::Describe(), "ProcessProperties", "ProcessProperties");
    t.Bind("Lookup", [](Dispatch& d, std::span<Variant> a) {
      return Variant(Self<ProcessProperties>(d).Lookup(a[0].string()));
    });
    t.Bind("Item", automation::MemberKind::PropertyGet,
           [](Dispatch& d, std::span<Variant> a) { return Self<ProcessProperties>(d).Item(a[0].string()); });
    t.Bind("Item", automation::MemberKind::PropertyPut, [](Dispatch& d, std::span<Variant> a) {
      Self<ProcessProperties>(d).Set(a[0].string(), a[1]);
      return Variant();
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& SharedPropertyService::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_ShareProps",
      automation::Guid::Of("{4129BC15-8CEF-47EC-BDFD-1F29D4D37505}"),
      {Method("GetProperty", {Ref("ProcessID", ParamType::Long), Ref("Name", ParamType::String)}, ParamType::Variant)}};
  return iface;
}

const automation::ClassDesc& SharedPropertyService::Class() {
  static const automation::ClassDesc cls{"ShareProps", automation::Guid::Of("{0CAB8B69-97F4-4424-8898-B33128707FA4}"),
                                         &Describe(), "TovanPropsMgr.ShareProps"};
  return cls;
}

SharedPropertyService::SharedPropertyService() : DescribedObject(SharedTable()) {}

Variant SharedPropertyService::GetProperty(int32_t process_id, const std::string& name) const {
  return GlobalContext::ForThread().SharedProperty(process_id, name);
}

const automation::InterfaceDesc& ProcessProperties::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_ProcessProperties",
      automation::Guid::Of("{7E782EAE-7E91-4E99-8665-0E2558F402A3}"),
      {
          Method("Lookup", {Ref("Name", ParamType::String)}, ParamType::Boolean),
          Get("Item", {In("Name", ParamType::String)}, ParamType::Variant, /*is_default=*/true),
          Put("Item", {In("Name", ParamType::String), In("NewValue", ParamType::Variant)}, /*is_default=*/true),
      }};
  return iface;
}

ProcessProperties::ProcessProperties() : DescribedObject(ProcessTable()) {}

void ProcessProperties::Set(const std::string& name, Variant value) { values_[LowerKey(name)] = std::move(value); }

bool ProcessProperties::Lookup(const std::string& name) const { return values_.count(LowerKey(name)) > 0; }

const Variant& ProcessProperties::Item(const std::string& name) const {
  auto it = values_.find(LowerKey(name));
  if (it == values_.end()) automation::Raise(automation::vberr::kInvalidProcedureCall, "ProcessProperties");
  return it->second;
}

void RegisterProcessProperties(std::shared_ptr<ProcessProperties> properties) {
  GlobalContext::ForThread().SetWindowProperty(std::to_string(CurrentProcessId()), std::move(properties));
}

}  // namespace tovan::host
