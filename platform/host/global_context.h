// GlobalContext: the host context of one thread.
//
// The component finds everything of its host through the calling thread's
// GlobalContext, created on first use and kept for the life of the thread:
// the DataContext (connections and units of work), the values the host
// process publishes (the shared properties such as "PropsString", the
// per-process property object registered under the process id), the
// logged-on user, and the hook that lets the host process its pending
// window events.  Nothing is shared between threads, so nothing is locked.
//
// Thread-safety: thread-confined by construction.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace tovan::data {
class Connection;
}

namespace tovan::host {

class DataContext;

class GlobalContext {
 public:
  // The calling thread's context, created on first use.
  static GlobalContext& ForThread();

  std::shared_ptr<DataContext> GetDataContext();

  // --- What the host process publishes ---

  // Shared properties of a process (the shared-property service reads them):
  // "PropsString" is the host's data-source text.
  void SetSharedProperty(int32_t process_id, const std::string& name, automation::Variant value);
  // Empty when not set.
  automation::Variant SharedProperty(int32_t process_id, const std::string& name) const;

  // The window properties of the desktop window: the host registers its
  // per-process property object under the process id as decimal text.
  void SetWindowProperty(const std::string& key, automation::DispatchPtr object);
  // Null when not set.
  automation::DispatchPtr WindowProperty(const std::string& key) const;

  // The logged-on user's numeric ID (default 1).
  void SetUserId(int16_t user_id) { user_id_ = user_id; }
  int16_t UserId() const { return user_id_; }

  // Lets the host process its pending window events; the closing and the
  // cancellation call it once per unit of their work.
  void SetPendingEventsHook(std::function<void()> hook) { pending_events_ = std::move(hook); }
  void ProcessPendingEvents() const {
    if (pending_events_) pending_events_();
  }

  // Run on every connection this thread opens, before its first use (the
  // host registers its native stored procedures here).
  void AddConnectionInitializer(std::function<void(data::Connection&)> initializer);
  const std::vector<std::function<void(data::Connection&)>>& connection_initializers() const {
    return initializers_;
  }

  // Back to a fresh context: connections closed, settings cleared (tests).
  void Reset();

 private:
  GlobalContext();

  std::shared_ptr<DataContext> data_context_;
  std::map<std::pair<int32_t, std::string>, automation::Variant> shared_properties_;
  std::map<std::string, automation::DispatchPtr> window_properties_;
  int16_t user_id_ = 1;
  std::function<void()> pending_events_;
  std::vector<std::function<void(data::Connection&)>> initializers_;
};

// The current process ID, as the Windows call answers it.
int32_t CurrentProcessId();

}  // namespace tovan::host
