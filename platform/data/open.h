// Opening a connection from a data-source text.
//
// "sqlite:PATH" or a plain file PATH opens the embedded database;
// "postgresql://..." or "postgres://..." (a libpq URI) or "pg:" and a libpq
// keyword text connects to a PostgreSQL server.  Other schemes raise.
//
// The connection comes with the wrappers $DAILYBALANCE_TRACE and
// $DAILYBALANCE_FAULT ask for (backend_wrappers.h).
//
// Thread-safety: stateless.
#pragma once

#include <memory>
#include <string_view>

#include "platform/data/connection.h"

namespace tovan::data {

struct OpenOptions {
  bool create = false;          // create a missing database file
  int busy_timeout_ms = 60000;  // how long a writer waits for another (embedded)
  int connect_timeout_s = 10;   // how long to wait for a server to answer
};

// Raises kDatabaseError when the database cannot be opened.
std::shared_ptr<Connection> OpenConnection(std::string_view data_source, const OpenOptions& options = {});

// Whether `data_source` names a server database.
bool IsServerDataSource(std::string_view data_source);

// Creates the server database `data_source` names (see postgresql::CreateDatabase).
void CreateServerDatabase(std::string_view data_source);
// `data_source` with any password masked, for messages.
std::string RedactedDataSource(std::string_view data_source);

// The file path of an embedded data-source text; empty for other schemes.
std::string EmbeddedPath(std::string_view data_source);

}  // namespace tovan::data
