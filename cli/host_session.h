// The command as the component's host: starts the host process on this
// thread (data source, user, AppType), makes sure the libraries are
// registered (registering them, with a note on stderr, when they are not),
// creates the component's classes by ProgID and gives the progress display
// the command's output asks for.
//
// Thread-safety: the calling thread's host context.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/events_switch.h"
#include "platform/automation/dispatch.h"

namespace tovan::cli {

struct HostSessionOptions {
  std::string db;
  int16_t user_id = 1;
  int32_t app_type = 2;
};

class HostSession {
 public:
  // Raises BadInput when the database does not exist, AutomationError when
  // the libraries cannot be registered.
  explicit HostSession(const HostSessionOptions& options);

  // "TovanMDailyBalance.<class_name>", created through the registry.
  automation::DispatchPtr Create(const std::string& class_name) const;
  // A progress bar on a terminal (stderr), or JSON lines on stdout under --json.
  std::shared_ptr<hostlib::EventsSwitch> ProgressDisplay(bool json) const;

  const std::string& db() const { return db_; }

 private:
  std::string db_;
};

// A late-bound call as the host makes it; ByRef arguments come back in `args`.
inline automation::Variant CallMember(const automation::DispatchPtr& object, const char* member,
                                      std::vector<automation::Variant>& args) {
  return object->Invoke(member, automation::InvokeKind::Get, args);
}

}  // namespace tovan::cli
