// Errors: SQLite's message raised as the data layer's error, and what its
// result code says of the database noted as a fault.
#include "platform/data/sqlite/error.h"

#include <sqlite3.h>

#include "platform/data/data_error.h"
#include "platform/data/sqlite/backend.h"

namespace tovan::data::sqlite {

// Notes what SQLite's result code says of the database itself, if anything.
void NoteFault(int code) {
  switch (code & 0xff) {
    case SQLITE_FULL: return NoteDatabaseFault(DatabaseFault::kDiskFull);
    case SQLITE_READONLY: return NoteDatabaseFault(DatabaseFault::kReadOnly);
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return NoteDatabaseFault(DatabaseFault::kLocked);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return NoteDatabaseFault(DatabaseFault::kDamaged);
    default: return;
  }
}

void SqliteBackend::Fail() const {
  NoteFaultOf(sqlite3_extended_errcode(db_));
  RaiseDatabaseError(sqlite3_errmsg(db_));
}

void SqliteBackend::NoteFaultOf(int code) const {
  // A read-only unit refusing a write is the unit's own rule, not a fault.
  if (read_only_ && (code & 0xff) == SQLITE_READONLY) return;
  NoteFault(code);
}

}  // namespace tovan::data::sqlite
