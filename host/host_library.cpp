#include "host/host_library.h"

#include "host/components/components.h"

#include "platform/automation/inproc_server.h"
#include "platform/automation/registry.h"
#include "platform/host/host_objects.h"

namespace tovan::hostlib {

const automation::TypeLibDesc& HostLibrary() {
  static const automation::TypeLibDesc lib{
      "TovanHost",
      automation::Guid::Of("{E412B881-1680-4D8C-9D46-B95D21237DE7}"),
      1,
      0,
      {&host::SharedPropertyService::Describe(), ClassInfo::Class().default_interface,
       BillCodeRule::Class().default_interface, SystemProfile::Class().default_interface,
       UserProfileInfo::Class().default_interface, StockAuditPlugIn::Class().default_interface,
       ReceivablesCheckPlugIn::Class().default_interface},
      {&host::SharedPropertyService::Class(), &ClassInfo::Class(), &BillCodeRule::Class(), &SystemProfile::Class(),
       &UserProfileInfo::Class(), &StockAuditPlugIn::Class(), &ReceivablesCheckPlugIn::Class()},
  };
  return lib;
}

std::string LibraryFile() { return automation::LibraryFileOf(reinterpret_cast<const void*>(&HostLibrary)); }

namespace {
automation::InprocServer& Server() {
  static automation::InprocServer server(
      HostLibrary(),
      {[] { return automation::DispatchPtr(std::make_shared<host::SharedPropertyService>()); },
       [] { return automation::DispatchPtr(std::make_shared<ClassInfo>()); },
       [] { return automation::DispatchPtr(std::make_shared<BillCodeRule>()); },
       [] { return automation::DispatchPtr(std::make_shared<SystemProfile>()); },
       [] { return automation::DispatchPtr(std::make_shared<UserProfileInfo>()); },
       [] { return automation::DispatchPtr(std::make_shared<StockAuditPlugIn>()); },
       [] { return automation::DispatchPtr(std::make_shared<ReceivablesCheckPlugIn>()); }},
      reinterpret_cast<const void*>(&HostLibrary));
  return server;
}
}  // namespace

}  // namespace tovan::hostlib

using tovan::automation::Guid;
using tovan::hostlib::Server;

extern "C" {
__attribute__((visibility("default"))) int32_t DllRegisterServer(void) { return Server().RegisterServer(); }
__attribute__((visibility("default"))) int32_t DllUnregisterServer(void) { return Server().UnregisterServer(); }
__attribute__((visibility("default"))) int32_t DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  return Server().GetClassObject(clsid, iid, out);
}
__attribute__((visibility("default"))) int32_t DllCanUnloadNow(void) { return Server().CanUnloadNow(); }
}
