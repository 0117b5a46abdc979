// The database engine a test run uses, and fresh databases on it.
//
// The suite runs once per backend: with DAILYBALANCE_TEST_BACKEND=postgresql
// (and DAILYBALANCE_TEST_PG_HOST naming the socket folder of a server that
// trusts the "postgres" user, as scripts/test.sh starts one) every fresh
// database is a new database on that server; otherwise an embedded file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/data/connection.h"
#include "platform/automation/error.h"
#include "platform/data/open.h"

namespace tovan::testing {

inline bool OnServer() {
  const char* backend = std::getenv("DAILYBALANCE_TEST_BACKEND");
  return backend != nullptr && std::string(backend) == "postgresql";
}

inline std::string ServerHost() {
  const char* host = std::getenv("DAILYBALANCE_TEST_PG_HOST");
  return host == nullptr ? std::string() : std::string(host);
}

// Skips the calling test when the server run has no server to run on.
#define DAILYBALANCE_REQUIRE_BACKEND()                                                        \
  do {                                                                                        \
    if (::tovan::testing::OnServer() && ::tovan::testing::ServerHost().empty())               \
      GTEST_SKIP() << "DAILYBALANCE_TEST_PG_HOST is not set: no PostgreSQL server to test on"; \
  } while (0)

// The data-source text of a database on the test server named `name`.
inline std::string ServerDataSource(const std::string& name) {
  return fmt::format("postgresql://postgres@/{}?host={}", name, ServerHost());
}

// A database name no other test of any process uses.
inline std::string UniqueDatabaseName() {
  static std::atomic<int> counter{0};
  return fmt::format("t{}_{}_{}", ::getpid(), counter.fetch_add(1), std::rand() % 100000);
}

// Server connections kept for a test's own reads and copies, per thread.
inline std::map<std::string, std::shared_ptr<data::Connection>>& KeptConnections() {
  thread_local std::map<std::string, std::shared_ptr<data::Connection>> kept;
  return kept;
}

// A connection to `data_source` for a test's own reads and copies, outside
// any unit.  A server one is kept (a new session costs a server process and
// catalog caches filled again for every table); an embedded one is opened
// each time, so that a file copied into place is what it reads.
inline std::shared_ptr<data::Connection> TestConnection(const std::string& data_source) {
  if (!data::IsServerDataSource(data_source)) return data::OpenConnection(data_source);
  auto& kept = KeptConnections()[data_source];
  if (!kept) kept = data::OpenConnection(data_source);
  return kept;
}

// Drops a server database made for a test (nothing for an embedded file,
// which goes with its folder).
inline void DropTestDatabase(const std::string& data_source) {
  if (!data::IsServerDataSource(data_source)) return;
  KeptConnections().erase(data_source);
  const std::size_t slash = data_source.find("/", data_source.find("://") + 3);
  const std::size_t query = data_source.find('?');
  const std::string name = data_source.substr(slash + 1, query - slash - 1);
  try {
    auto maintenance = data::OpenConnection(ServerDataSource("postgres"));
    maintenance->backend().ExecuteScript("DROP DATABASE IF EXISTS \"" + name + "\" WITH (FORCE)");
  } catch (const automation::AutomationError&) {
    // the cluster goes at the end of the run anyway
  }
}

// A fresh, empty database for a test: the file `file` or a new server database.
inline std::string FreshDataSource(const std::string& file) {
  if (!OnServer()) return file;
  const std::string source = ServerDataSource(UniqueDatabaseName());
  data::CreateServerDatabase(source);
  return source;
}

// Results of queries without ORDER BY come in no fixed order on a server:
// a comma list of ids, or records each ending with ';', put in order.
inline std::string SortedIds(const std::string& list) {
  std::vector<long long> ids;
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    ids.push_back(std::atoll(list.substr(at, comma - at).c_str()));
    at = comma + 1;
  }
  std::sort(ids.begin(), ids.end());
  std::string out;
  for (long long id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}
inline std::string SortedRecords(const std::string& records) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at < records.size()) {
    std::size_t end = records.find(';', at);
    if (end == std::string::npos) end = records.size() - 1;
    parts.push_back(records.substr(at, end + 1 - at));
    at = end + 1;
  }
  std::sort(parts.begin(), parts.end());
  std::string out;
  for (const auto& p : parts) out += p;
  return out;
}

}  // namespace tovan::testing
