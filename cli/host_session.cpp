#include "cli/host_session.h"

#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "host/host_process.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"

namespace tovan::cli {

HostSession::HostSession(const HostSessionOptions& options) : db_(options.db) {
  ExistingDatabase(options.db);
  automation::Registry registry;
  if (!registry.FindByProgId("TovanMDailyBalance.clsData") || !registry.FindByProgId("TovanEBCGL.SystemProfile")) {
    if (std::string error = RegisterLibraries(false); !error.empty())
      throw automation::AutomationError(automation::vberr::kCannotCreateObject, "dailybalance", error);
    std::cerr << "dailybalance: registered the component in " << registry.path() << "\n";
  }
  hostlib::HostProcessOptions host;
  host.data_source = options.db;
  host.user_id = options.user_id;
  host.app_type = options.app_type;
  hostlib::StartHostProcess(host);
}

automation::DispatchPtr HostSession::Create(const std::string& class_name) const {
  return automation::CreateObject("TovanMDailyBalance." + class_name);
}

std::shared_ptr<hostlib::EventsSwitch> HostSession::ProgressDisplay(bool json) const {
  if (json) return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::JsonLinesDisplay>(stdout));
  return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::TerminalProgressBar>(stderr));
}

}  // namespace tovan::cli
