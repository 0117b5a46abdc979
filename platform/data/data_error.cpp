#include "platform/data/data_error.h"

namespace tovan::data {

namespace {
thread_local std::optional<DatabaseFault> last_fault;
}  // namespace

void RaiseDatabaseError(const std::string& message) {
  throw automation::AutomationError(kDatabaseError, kErrorSource, message);
}

void RaiseCommitInDoubt(const std::string& message) {
  throw automation::AutomationError(kCommitInDoubt, kErrorSource, message);
}

std::string_view FaultText(DatabaseFault fault) {
  switch (fault) {
    case DatabaseFault::kDiskFull: return "the disk is full";
    case DatabaseFault::kConnectionLost: return "the connection to the database server was lost";
    case DatabaseFault::kConnectionRefused: return "the database server cannot be reached or refused the connection";
    case DatabaseFault::kReadOnly: return "the database file or its folder is read-only";
    case DatabaseFault::kLocked: return "the database is locked by another program";
    case DatabaseFault::kDamaged: return "the database file is damaged";
    case DatabaseFault::kServerShutdown: return "the database server is shutting down";
  }
  return "the database failed";
}

void NoteDatabaseFault(DatabaseFault fault) { last_fault = fault; }
std::optional<DatabaseFault> LastDatabaseFault() { return last_fault; }
void ClearDatabaseFault() { last_fault.reset(); }

}  // namespace tovan::data
