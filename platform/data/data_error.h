// Database errors as the data layer raises them.
//
// A statement the database refuses, a batch the dialect layer cannot
// translate, a connection that cannot be opened: all are AutomationErrors
// with the OLE DB "errors in command" number, the data layer as source and
// the database's own message as description, the way an ADO provider
// reports them to a VB caller.
//
// When the database itself fails (not the statement), the backend also
// notes the fault on the calling thread.  The component swallows database
// errors into its neutral answers, as its host expects; the host reads the
// thread's fault afterwards to say why an operation really failed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/error.h"

namespace tovan::data {

// DB_E_ERRORSINCOMMAND, what a provider answers for a failed command.
inline constexpr int32_t kDatabaseError = static_cast<int32_t>(0x80040E14u);
// The source text of the errors this layer raises.
inline constexpr const char* kErrorSource = "TovanData";

[[noreturn]] void RaiseDatabaseError(const std::string& message);

// XACT_E_INDOUBT: a commit whose answer was lost and whose outcome the
// server could not be asked for.  The work may stand or may be gone; a host
// must neither report it done nor run it again.
inline constexpr int32_t kCommitInDoubt = static_cast<int32_t>(0x8004D016u);
[[noreturn]] void RaiseCommitInDoubt(const std::string& message);
inline bool IsCommitInDoubt(const automation::AutomationError& error) { return error.number() == kCommitInDoubt; }

// Failures of the database rather than of a statement.
enum class DatabaseFault {
  kDiskFull,
  kConnectionLost,
  kConnectionRefused,
  kReadOnly,
  kLocked,
  kDamaged,
  kServerShutdown,
};

// One line naming the fault, e.g. "the disk is full".
std::string_view FaultText(DatabaseFault fault);

// The thread's latest fault since it was last cleared.  Thread-safety: per
// thread, like the host context the operations run in.
void NoteDatabaseFault(DatabaseFault fault);
std::optional<DatabaseFault> LastDatabaseFault();
void ClearDatabaseFault();

}  // namespace tovan::data
