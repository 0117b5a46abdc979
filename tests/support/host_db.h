// A reference-host database for one test (schema and master data, the
// current period 2026-12), the rows the test adds, and a host process
// started on it with both libraries in a registry of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "component/type_library.h"
#include "host/database_builder.h"
#include "host/host_library.h"
#include "host/host_process.h"
#include "platform/automation/registry.h"
#include "platform/data/open.h"
#include "platform/data/sqlite/backend.h"
#include "platform/host/global_context.h"
#include "tests/support/temp_dir.h"

namespace tovan::testing {

class HostDb {
 public:
  HostDb() : path_(dir_.File("host.db")) {
    data::OpenOptions options;
    options.create = true;
    auto connection = data::OpenConnection(path_, options);
    auto& db = static_cast<data::sqlite::SqliteBackend&>(connection->backend());
    hostlib::DemoOptions demo;
    demo.last_day = automation::Date::FromParts(2026, 12, 4);
    hostlib::CreateSchema(db);
    hostlib::LoadMasterData(db, demo);
  }
  const std::string& path() const { return path_; }
  const TempDir& dir() const { return dir_; }

  // Plain SQLite, on a connection of its own (not traced once the trace is
  // set: call it before).
  void Exec(const std::string& sql) const {
    auto connection = data::OpenConnection(path_);
    static_cast<data::sqlite::SqliteBackend&>(connection->backend()).ExecuteNative(sql);
  }
  void Bill(int id, const char* date, int type, int shop = 1, int stock = 202, int daily_bill = 0) const {
    Exec(fmt::format("INSERT INTO t_LS_Retail (FID, FBillNo, FDate, FBillType, FBranchShop, FStock, FDailyBillID, "
                     "FTotalAmount) VALUES ({0}, 'LS{0:06}', '{1}', {2}, {3}, {4}, {5}, {0}.5)",
                     id, date, type, shop, stock, daily_bill));
  }
  void Line(int bill, int item, double qty, int stock = 202) const {
    Exec(fmt::format("INSERT INTO T_LS_RetailEntry (FID, FItemID, FStock, FQty, FShowQty) VALUES ({}, {}, {}, {}, {})",
                     bill, item, stock, qty, qty));
  }
  void Stock(int item, double qty, int stock = 202, const char* batch = "") const {
    Exec(fmt::format("INSERT INTO t_CC_Inventory (FItemID, FStockID, FBatchNo, FQty) VALUES ({}, {}, '{}', {})", item,
                     stock, batch, qty));
  }
  void Option(const char* key, const char* value) const {
    Exec(fmt::format("UPDATE t_SystemProfile SET FValue='{}' WHERE FCategory='IC' AND FKey='{}'", value, key));
  }

 private:
  TempDir dir_;
  std::string path_;
};

// The statements of a trace file, in the order sent.
inline std::vector<std::string> TracedStatements(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<std::string> statements;
  const std::string end = "\n-- end --\n";
  std::string all = text.str();
  for (size_t at = 0, next; (next = all.find(end, at)) != std::string::npos; at = next + end.size())
    statements.push_back(all.substr(at, next - at));
  return statements;
}

class HostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(automation::RegisterServer(component::LibraryFile()), 0);
    ASSERT_EQ(automation::RegisterServer(hostlib::LibraryFile()), 0);
    StartHost(2);
  }
  void TearDown() override { host::GlobalContext::ForThread().Reset(); }
  void StartHost(int32_t app_type) { hostlib::StartHostProcess({db_.path(), 1, app_type}); }

  ScopedRegistry registry_;
  HostDb db_;
};

}  // namespace tovan::testing
