#include "component/host_values.h"

#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/host/global_context.h"

namespace tovan::component {

using automation::Variant;

Variant GetSharedProperty(const std::string& name) {
  automation::DispatchPtr service = automation::CreateObject("TovanPropsMgr.ShareProps");
  std::vector<Variant> args{Variant(host::CurrentProcessId()), Variant(name)};
  return service->Invoke("GetProperty", automation::InvokeKind::Get, args);
}

std::string GetPropsString() { return automation::CStr(GetSharedProperty("PropsString")); }

Variant GetProcessProperty(const std::string& name, const Variant& default_value) {
  std::string key = std::to_string(host::CurrentProcessId());
  automation::DispatchPtr properties = host::GlobalContext::ForThread().WindowProperty(key);
  if (!properties) {
    throw automation::AutomationError(automation::vberr::kObjectNotSet, "TovanMDailyBalance",
                                      "no property object is registered for process " + key);
  }
  std::vector<Variant> args{Variant(name)};
  if (automation::CBool(properties->Invoke("Lookup", automation::InvokeKind::Get, args))) {
    std::vector<Variant> item{Variant(name)};
    return properties->Invoke("", automation::InvokeKind::Get, item);
  }
  return default_value.IsMissing() ? Variant() : default_value;
}

int32_t GetAppType() { return automation::CLng(GetProcessProperty("AppType", Variant(int32_t{2}))); }

}  // namespace tovan::component
