#include "cli/command_support.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/automation/error.h"

namespace tovan::cli {

std::shared_ptr<hostlib::EventsSwitch> ProgressDisplay(bool json) {
  if (json) return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::JsonLinesDisplay>(stdout));
  return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::TerminalProgressBar>(stderr));
}

std::string ReadPassword(const std::string& field, bool twice) {
  auto line = [&] {
    std::string text;
    if (!std::getline(std::cin, text)) throw backoffice::Refusal(field, "no password on standard input");
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
  };
  if (!::isatty(STDIN_FILENO)) return line();
  termios saved{};
  ::tcgetattr(STDIN_FILENO, &saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  struct Restore {
    termios saved;
    ~Restore() { ::tcsetattr(STDIN_FILENO, TCSANOW, &saved); }
  } restore{saved};
  std::cerr << (field == "password" ? "Password: " : "Password for " + field + ": ") << std::flush;
  std::string first = line();
  std::cerr << "\n";
  if (!twice) return first;
  std::cerr << "Again: " << std::flush;
  std::string second = line();
  std::cerr << "\n";
  if (first != second) throw backoffice::Refusal(field, "the two passwords differ");
  return first;
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
