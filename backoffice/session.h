// The back office's host session on the calling thread: checks that the
// data source holds a host database, makes sure the component and the
// reference host's library are registered (registering them, with a note on
// stderr, when they are not), starts the host process (data source, user,
// AppType) and takes the user as the acting operator, who must be active.
// The component's classes are created through the registry, as a host
// creates them.
//
// Errors: the constructor raises Refusal ("db" for a missing or foreign
// database, "user" for an unknown or disabled operator) and AutomationError
// when the libraries cannot be registered.
//
// Thread-safety: binds the calling thread's host context; use a Session on
// the thread that made it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/operator.h"
#include "backoffice/refusal.h"
#include "platform/automation/dispatch.h"

namespace tovan::backoffice {

struct SessionOptions {
  std::string db = "./dailybalance.db";
  int32_t user_id = 1;
  int32_t app_type = 2;
  // The host's protocol tool and the listings pass their user on unchecked,
  // as a host does; such a session has no acting operator.
  bool check_user = true;
};

class Session {
 public:
  explicit Session(const SessionOptions& options);

  // "TovanMDailyBalance.<class_name>", created through the registry.
  automation::DispatchPtr Create(const std::string& class_name) const;

  const std::string& db() const { return db_; }
  int32_t user_id() const { return user_id_; }
  const std::string& user_name() const { return acting_ ? acting_->name : empty_; }
  // The operator the session acts as; null for an unchecked session.
  const Operator* acting() const { return acting_ ? &*acting_ : nullptr; }
  // Reads the acting operator again, for a session that lasts (a signed-in
  // dialog): a changed role or shops count from the next piece of work.
  // Raises Refusal ("user") when the operator is gone or disabled.
  void RefreshOperator();

 private:
  std::string db_;
  int32_t user_id_;
  std::optional<Operator> acting_;
  std::string empty_;
};

// A late-bound call as the host makes it; ByRef arguments come back in `args`.
automation::Variant CallMember(const automation::DispatchPtr& object, const char* member,
                               std::vector<automation::Variant>& args);

// Registers (or unregisters) the component and the reference host's
// library; answers the empty text or what went wrong.
std::string RegisterLibraries(bool unregister);

// The database of `data_source` must exist and hold a host database
// (commands other than init never create one).  Raises Refusal ("db").
void ExistingDatabase(const std::string& data_source);
// Where init may create a database: a file path in a directory that exists,
// or a server database without a host schema.  Raises Refusal ("db").
void NewDatabasePath(const std::string& data_source);

}  // namespace tovan::backoffice
