#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "host/host_process.h"
#include "host/system_options.h"
#include "platform/automation/error.h"

namespace tovan::cli {

int RunOption(const OptionOptions& options) {
  try {
    ExistingDatabase(options.db);
    WordArgument("SECTION", options.section);
    WordArgument("KEY", options.key);
    if (options.value) NameArgument("VALUE", *options.value, 255);
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  }
  hostlib::HostProcessOptions host;
  host.data_source = options.db;
  hostlib::StartHostProcess(host);
  try {
    if (options.value) {
      hostlib::WriteSystemOption(options.db, options.section, options.key, *options.value);
    }
    auto value = hostlib::ReadSystemOption(options.db, options.section, options.key);
    if (options.json) {
      std::cout << ToText(Json{{"section", options.section},
                               {"key", options.key},
                               {"value", value ? Json(*value) : Json(nullptr)}})
                << "\n";
    } else if (value) {
      std::cout << options.section << "/" << options.key << " = " << *value << "\n";
    } else {
      std::cout << options.section << "/" << options.key << " is not set\n";
    }
    return value || options.json ? kExitOk : kExitFailed;
  } catch (const automation::AutomationError& e) {
    PrintError(e.description());
    return kExitBadInput;
  }
}

}  // namespace tovan::cli
