// How the reference host's components reach the host database: the calling
// thread's connection for a data source (the one the component uses too),
// enlisted in the caller's unit of work, and the embedded engine's own
// statements with bound parameters, so that host bookkeeping neither shows
// in the component's statement trace nor depends on quoting.
//
// Host SQL is the SQL the engines share (see ConnectionBackend::ExecuteNative).
//
// Errors: AutomationError (kDatabaseError) from the database.
//
// Thread-safety: thread-confined, like the connection.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/data/connection.h"
#include "platform/data/result_set.h"

namespace tovan::data {
class ConnectionBackend;
}

namespace tovan::hostlib {

class HostDatabase {
 public:
  explicit HostDatabase(const std::string& data_source);

  data::ResultSet Query(const std::string& sql, std::initializer_list<automation::Variant> params = {});
  data::ResultSet Query(const std::string& sql, const std::vector<automation::Variant>& params);
  void Execute(const std::string& sql, std::initializer_list<automation::Variant> params = {});
  // The first column of the first row; Empty when there is no row.
  automation::Variant Scalar(const std::string& sql, std::initializer_list<automation::Variant> params = {});

  // What ends a SELECT that locks the rows it reads until the unit ends:
  // " FOR UPDATE" on a server, nothing on the embedded engine, whose unit
  // that writes holds the whole database.
  const char* ForUpdate() const;

  // Raises a database error, noting the damage on the thread, when `table`
  // or its indexes are damaged.  For the answers a damaged file could give
  // as "nothing" (no rows): the embedded engine reads a broken page as an
  // empty one at times.  A server checks its pages as it reads them.
  void CheckSound(const std::string& table);

  const std::shared_ptr<data::Connection>& connection() const { return connection_; }

 private:
  std::shared_ptr<data::Connection> connection_;
  data::ConnectionBackend* backend_;
};

// The host's own data-source text ("PropsString" of this process), for
// components called without one.
std::string HostDataSource();

}  // namespace tovan::hostlib
