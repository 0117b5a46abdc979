#include "cli/command_support.h"

#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/automation/error.h"

namespace tovan::cli {

std::shared_ptr<hostlib::EventsSwitch> ProgressDisplay(bool json) {
  if (json) return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::JsonLinesDisplay>(stdout));
  return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::TerminalProgressBar>(stderr));
}

int RunCommand(const std::function<int()>& body,
               const std::function<void(const backoffice::OperationFailed&)>& failed) {
  try {
    return body();
  } catch (const backoffice::Refusal& e) {
    return Refused(e);
  } catch (const backoffice::OperationFailed& e) {
    if (failed) {
      failed(e);
    } else {
      PrintError(e.message);
      for (const std::string& cause : e.causes) PrintError(cause);
    }
    return kExitFailed;
  } catch (const backoffice::OutcomeUnknown& e) {
    PrintError(e.message);
    for (const std::string& cause : e.causes) PrintError(cause);
    return kExitUnknown;
  } catch (const automation::AutomationError& e) {
    PrintError(e.source() + ": " + e.description());
    return kExitFailed;
  }
}

}  // namespace tovan::cli
