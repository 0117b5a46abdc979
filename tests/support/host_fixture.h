// A reference host for one test: a demo database built from the host
// schema, both libraries registered in a temporary registry, and the host
// process started on this thread.  Torn down with the object.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/database_builder.h"
#include "host/host_library.h"
#include "host/host_process.h"
#include "platform/automation/registry.h"
#include "platform/data/open.h"
#include "tests/support/test_backend.h"
#include "platform/host/global_context.h"
#include "tests/support/temp_dir.h"

namespace tovan::testing {

inline hostlib::DemoOptions SmallDemo(int bills = 30, int lines = 5, uint32_t seed = 7) {
  hostlib::DemoOptions options;
  options.bills = bills;
  options.lines = lines;
  options.seed = seed;
  options.days = 3;
  options.last_day = automation::Date::FromParts(2026, 12, 4);
  return options;
}

class HostFixture {
 public:
  explicit HostFixture(const hostlib::DemoOptions& options = SmallDemo(), int32_t app_type = 2)
      : db_(OnServer() ? ServerDataSource(UniqueDatabaseName()) : registry_dir_.File("host.db")) {
    hostlib::BuildDatabase(db_, options);
    EXPECT_EQ(automation::RegisterServer(automation::LoadedServerFile("libTovanMDailyBalance.so")), 0);
    EXPECT_EQ(automation::RegisterServer(hostlib::LibraryFile()), 0);
    hostlib::HostProcessOptions host;
    host.data_source = db_;
    host.app_type = app_type;
    hostlib::StartHostProcess(host);
  }
  ~HostFixture() {
    host::GlobalContext::ForThread().Reset();
    DropTestDatabase(db_);
  }
  HostFixture(const HostFixture&) = delete;
  HostFixture& operator=(const HostFixture&) = delete;

  const std::string& db() const { return db_; }

  // Rows of a query on a connection of its own (what is committed).
  data::ResultSet Query(const std::string& sql) const {
    return TestConnection(db_)->backend().ExecuteNative(sql, {});
  }
  automation::Variant Scalar(const std::string& sql) const {
    auto rows = Query(sql);
    return rows.RowCount() == 0 ? automation::Variant() : rows.At(0, 0);
  }

  // Every row of every table but `excluded`, as text: compares whole databases.
  std::string Dump(const std::vector<std::string>& excluded = {}) const {
    std::string out;
    auto tables = Query(OnServer() ? "SELECT table_name::text FROM information_schema.tables WHERE table_schema = "
                                     "current_schema() AND table_type = 'BASE TABLE' ORDER BY lower(table_name::text)"
                                   : "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' "
                                     "ORDER BY lower(name)");
    for (size_t t = 0; t < tables.RowCount(); ++t) {
      std::string name = automation::CStr(tables.At(t, 0));
      bool skip = false;
      for (const auto& e : excluded) skip = skip || automation::EqualsNoCase(e, name);
      if (skip) continue;
      auto rows = Query("SELECT * FROM \"" + name + "\"");
      out += "== " + name + "\n";
      // Sorted as text: a server hands rows out in no fixed order.
      std::vector<std::string> lines;
      for (size_t r = 0; r < rows.RowCount(); ++r) {
        std::string line;
        for (size_t c = 0; c < rows.columns.size(); ++c) {
          const auto& v = rows.At(r, c);
          line += (v.IsNull() ? std::string("NULL") : automation::CStr(v)) + "|";
        }
        lines.push_back(std::move(line));
      }
      std::sort(lines.begin(), lines.end());
      for (const auto& line : lines) out += line + "\n";
    }
    return out;
  }

 private:
  ScopedRegistry registry_;
  TempDir registry_dir_;
  std::string db_;
};

}  // namespace tovan::testing
