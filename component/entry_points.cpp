// The four standard entry points of the in-process server.
#include <cstdint>

#include "component/cls_data.h"
#include "component/cls_un_bal_data.h"
#include "component/cls_xs_bal_data.h"
#include "component/module.h"
#include "component/type_library.h"

namespace tovan::component {

automation::InprocServer& Module() {
  // Makers follow the class order of the library description.
  static automation::InprocServer server(
      DailyBalanceLibrary(),
      {[] { return automation::DispatchPtr(std::make_shared<clsXSBalData>()); },
       [] { return automation::DispatchPtr(std::make_shared<clsUnBalData>()); },
       [] { return automation::DispatchPtr(std::make_shared<clsData>()); }},
      reinterpret_cast<const void*>(&DailyBalanceLibrary));
  return server;
}

}  // namespace tovan::component

using tovan::automation::Guid;
using tovan::component::Module;

extern "C" {

__attribute__((visibility("default"))) int32_t DllRegisterServer(void) { return Module().RegisterServer(); }

__attribute__((visibility("default"))) int32_t DllUnregisterServer(void) { return Module().UnregisterServer(); }

__attribute__((visibility("default"))) int32_t DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  return Module().GetClassObject(clsid, iid, out);
}

__attribute__((visibility("default"))) int32_t DllCanUnloadNow(void) { return Module().CanUnloadNow(); }

}  // extern "C"
