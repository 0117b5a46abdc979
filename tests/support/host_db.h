// A component test on a reference host that holds master data only (current
// period 2026-12), with helpers for the rows the test adds.
#pragma once

#include <fmt/format.h>

#include "tests/support/host_fixture.h"

namespace tovan::testing {

class HostTest : public ::testing::Test {
 protected:
  const std::string& db() const { return host_.db(); }
  void Exec(const std::string& sql) const { host_.Query(sql); }
  void Bill(int id, const char* date, int type, int shop = 1, int daily_bill = 0) const {
    Exec(fmt::format("INSERT INTO t_LS_Retail (FID, FBillNo, FDate, FBillType, FBranchShop, FStock, FDailyBillID) "
                     "VALUES ({0}, 'LS{0:06}', '{1}', {2}, {3}, 202, {4})",
                     id, date, type, shop, daily_bill));
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
  // Customers A (02, tax NULL) with children D (02.00) and C (02.01, tax NULL), and B (01).
  void CustomerTree() const {
    Exec("DELETE FROM t_Item WHERE FItemClassID=4");
    Exec("INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FName, FParentID, FLevel, FDetail, FTaxRate) VALUES "
         "(501, 4, '02', 'A', 0, 1, 0, NULL), (502, 4, '01', 'B', 0, 1, 1, 13), (503, 4, '02.01', 'C', 501, 2, 1, NULL),"
         "(504, 4, '02.00', 'D', 501, 2, 1, 6)");
  }

  HostFixture host_{SmallDemo(0)};
};

}  // namespace tovan::testing
