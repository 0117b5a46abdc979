#include <iostream>

#include "cli/commands.h"
#include "cli/json_values.h"
#include "component/type_library.h"
#include "host/host_library.h"
#include "platform/automation/registry.h"

namespace tovan::cli {

void PrintError(const std::string& message) {
  std::string line = message;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::cerr << "dailybalance: " << line << std::endl;
}

std::string RegisterLibraries(bool unregister) {
  struct Library {
    const char* name;
    std::string path;
  } libraries[] = {{"TovanMDailyBalance", component::LibraryFile()}, {"TovanHost", hostlib::LibraryFile()}};
  for (const Library& lib : libraries) {
    int32_t hr = automation::RegisterServer(lib.path, unregister);
    if (hr != 0) {
      return std::string(unregister ? "unregistering " : "registering ") + lib.name + " (" + lib.path + ") in " +
             automation::Registry::DefaultPath() + " failed (HRESULT " + std::to_string(hr) + ")";
    }
  }
  return {};
}

int RunRegister(bool unregister, bool json) {
  std::string registry = automation::Registry::DefaultPath();
  if (std::string error = RegisterLibraries(unregister); !error.empty()) {
    PrintError(error);
    return kExitFailed;
  }
  if (json) {
    std::cout << ToText(Json{{"registered", !unregister}, {"registry", registry}}) << "\n";
  } else {
    std::cout << (unregister ? "Unregistered" : "Registered") << " TovanMDailyBalance and TovanHost in " << registry
              << "\n";
  }
  return kExitOk;
}

}  // namespace tovan::cli
