#include "platform/host/object_factory.h"

#include "platform/automation/registry.h"

namespace tovan::host {

using automation::Dispatch;
using automation::ParamType;
using automation::Variant;

namespace {
const automation::DispatchTable& Table() {
  static const automation::DispatchTable table = [] {
    automation::DispatchTable t(ObjectFactory::Describe(), "ObjectFactory", "ObjectFactory");
    t.Bind("CreateInstance", [](Dispatch& d, std::span<Variant> a) {
      return Variant(automation::Self<ObjectFactory>(d).CreateInstance(a[0].string()));
    });
    return t;
  }();
  return table;
}
}  // namespace

const automation::InterfaceDesc& ObjectFactory::Describe() {
  using namespace automation::describe;
  static const automation::InterfaceDesc iface{
      "_ObjectFactory",
      automation::Guid::Of("{960F96B4-1D3B-4BD4-BD17-66762369E5A1}"),
      {Method("CreateInstance", {In("ProgID", ParamType::String), Opt(In("Context", ParamType::Variant))},
              ParamType::Object)}};
  return iface;
}

std::shared_ptr<ObjectFactory> ObjectFactory::ForThread() {
  thread_local std::shared_ptr<ObjectFactory> factory = std::make_shared<ObjectFactory>();
  return factory;
}

ObjectFactory::ObjectFactory() : DescribedObject(Table()) {}

automation::DispatchPtr ObjectFactory::CreateInstance(const std::string& prog_id) {
  return automation::CreateObject(prog_id);
}

}  // namespace tovan::host
