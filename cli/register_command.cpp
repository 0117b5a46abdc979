#include <iostream>

#include "cli/commands.h"
#include "cli/json_values.h"
#include "component/entry_points.h"
#include "platform/automation/registry.h"

namespace tovan::cli {

void PrintError(const std::string& message) {
  std::string line = message;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::cerr << "dailybalance: " << line << std::endl;
}

int RunRegister(bool unregister, bool json) {
  int32_t hr = unregister ? DllUnregisterServer() : DllRegisterServer();
  std::string registry = automation::Registry::DefaultPath();
  if (hr != 0) {
    PrintError(std::string(unregister ? "unregistering" : "registering") + " TovanMDailyBalance in " + registry +
               " failed (HRESULT " + std::to_string(hr) + ")");
    return kExitFailed;
  }
  if (json) {
    std::cout << ToText(Json{{"registered", !unregister}, {"registry", registry}}) << "\n";
  } else {
    std::cout << (unregister ? "Unregistered" : "Registered") << " TovanMDailyBalance in " << registry << "\n";
  }
  return kExitOk;
}

}  // namespace tovan::cli
