// The binding of a component instance to its host's data-access context.
//
// At creation an instance takes the thread's DataContext and UserSession;
// every database operation rebinds it with OpenDataContext(data source),
// votes SetAbort, works on GetConnection() and votes SetComplete at its
// normal end.  A public operation that touches the database also holds a
// CallScope, its part of the thread's unit of work: read-only when its
// interface describes the member as only reading.
//
// Thread-safety: one instance, one thread.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/typelib.h"
#include "platform/host/data_context.h"

namespace tovan::component {

class ContextBinding {
 public:
  ContextBinding();

  // Binds anew to `data_source` on the thread's context.  Failures (no such
  // database) are not caught here; they reach the calling operation.
  void OpenDataContext(const std::string& data_source);

  // The part of the thread's unit of work of a call of `member` of `iface`.
  // Aborts on a name the interface does not have (a programming error).
  host::CallScope Scope(const automation::InterfaceDesc& iface, std::string_view member) const;

  host::DataContext& data_context() { return *data_context_; }
  const std::shared_ptr<host::DataContext>& data_context_ptr() const { return data_context_; }
  host::UserSession& user() { return *user_; }
  void SetAbort() { data_context_->SetAbort(); }
  void SetComplete() { data_context_->SetComplete(); }
  std::shared_ptr<data::Connection> GetConnection() { return data_context_->GetConnection(); }

 private:
  std::shared_ptr<host::DataContext> data_context_;
  std::shared_ptr<host::UserSession> user_;
};

}  // namespace tovan::component
