// Opening a connection from a data-source text.
//
// "sqlite:PATH" or a plain file PATH opens the embedded database; other
// schemes ("odbc:...") are not available on this machine and raise.
//
// Thread-safety: stateless.
#pragma once

#include <memory>
#include <string_view>

#include "platform/data/connection.h"

namespace tovan::data {

struct OpenOptions {
  bool create = false;          // create a missing database file
  int busy_timeout_ms = 60000;  // how long a writer waits for another
};

// Raises kDatabaseError when the database cannot be opened.
std::shared_ptr<Connection> OpenConnection(std::string_view data_source, const OpenOptions& options = {});

// The file path of an embedded data-source text; empty for other schemes.
std::string EmbeddedPath(std::string_view data_source);

}  // namespace tovan::data
