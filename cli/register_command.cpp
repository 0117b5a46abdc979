#include <iostream>

#include "cli/commands.h"
#include "cli/json_values.h"
#include "backoffice/session.h"
#include "cli/arguments.h"
#include "platform/automation/registry.h"

namespace tovan::cli {

int RunRegister(bool unregister, bool json) {
  std::string registry = automation::Registry::DefaultPath();
  if (std::string error = backoffice::RegisterLibraries(unregister); !error.empty()) {
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
