// The host database's schema on a PostgreSQL server.
//
// The tables are those of the embedded schema, made with the server's
// types: numeric for money and decimals, timestamp(0) for datetime, the
// domain "bitflag" (a smallint) for bit columns, citext for the text the
// host compares without regard to case, identities for the identity keys.
// Every name is quoted in the case the host writes it, so that columns come
// back named as on the original server (see platform/data/postgresql).
//
// Thread-safety: pure functions and constants.
#pragma once

#include <string>

namespace tovan::hostlib::detail {

// The server's translation of one script of CREATE TABLE and CREATE INDEX
// statements in the embedded schema's form (one column per line).
// Raises AutomationError for a line it cannot read.
std::string PostgresTables(const char* script);

// Before the tables: the citext extension and the bit-flag domain.
extern const char* const kPostgresPrologue;
// After them: the trigger that gives stock back and GetICMaxNum, a function
// that reserves interior IDs from sequences without holding a lock.
extern const char* const kPostgresEpilogue;

// After the data: the sequences behind interior IDs and bill numbers start
// above what the tables hold.
extern const char* const kPostgresSequences;
// After the data: identities start above the keys written into them.
extern const char* const kPostgresIdentities;

}  // namespace tovan::hostlib::detail
