#include "platform/data/open.h"

#include "platform/data/backend_wrappers.h"
#include "platform/data/data_error.h"
#include "platform/data/postgresql/backend.h"
#include "platform/data/sqlite/backend.h"

namespace tovan::data {

bool IsServerDataSource(std::string_view data_source) {
  return !postgresql::ServerConnectionText(data_source).empty();
}

void CreateServerDatabase(std::string_view data_source) { postgresql::CreateDatabase(data_source); }

std::string RedactedDataSource(std::string_view data_source) { return postgresql::RedactedDataSource(data_source); }

std::string EmbeddedPath(std::string_view data_source) {
  if (data_source.rfind("sqlite:", 0) == 0) return std::string(data_source.substr(7));
  if (IsServerDataSource(data_source)) return {};
  if (data_source.find(':') != std::string_view::npos && data_source.rfind("/", 0) != 0 &&
      data_source.rfind(".", 0) != 0)
    return {};
  return std::string(data_source);
}

std::shared_ptr<Connection> OpenConnection(std::string_view data_source, const OpenOptions& options) {
  std::shared_ptr<Connection> connection;
  if (IsServerDataSource(data_source)) {
    connection = std::make_shared<Connection>(
        postgresql::PostgresBackend::Open(std::string(data_source), options.connect_timeout_s));
  } else {
    std::string path = EmbeddedPath(data_source);
    if (path.empty()) {
      RaiseDatabaseError("data source '" + std::string(data_source) +
                         "' is not available here (an embedded database: sqlite:PATH or PATH, or a server: "
                         "postgresql://... or pg:conninfo)");
    }
    sqlite::SqliteOptions sqlite_options;
    sqlite_options.create = options.create;
    sqlite_options.busy_timeout_ms = options.busy_timeout_ms;
    connection =
        std::make_shared<Connection>(sqlite::SqliteBackend::Open(path, std::string(data_source), sqlite_options));
  }
  connection->Wrap(WrapFromEnvironment);
  return connection;
}

}  // namespace tovan::data
