// UpdateBalAmount as a host reaches it: late-bound through `dailybalance invoke`.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/database_builder.h"
#include "platform/data/recordset.h"
#include "platform/data/sqlite/backend.h"
#include "tests/support/cli_run.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

class BalanceAmountCli : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlib::BuildDatabase(db_, SmallDemo(0));
    ASSERT_EQ(RunDailybalance(dir_, {"register"}).exit_code, 0);
  }
  void Exec(const std::string& sql) { data::OpenConnection(db_)->Execute(sql); }
  void Bill(int id, double total, double discount, int daily_bill = 0) {
    Exec("insert into t_LS_Retail (FID, FTotalAmount, FDiscountAmount, FDailyBillID) values (" + std::to_string(id) +
         "," + automation::NumberToText(total) + "," + automation::NumberToText(discount) + "," +
         std::to_string(daily_bill) + ")");
  }
  void Line(int entry, int bill, double amount) {
    Exec("insert into T_LS_RetailEntry (FEntryID, FID, FAmount, FBalAmount) values (" + std::to_string(entry) + "," +
         std::to_string(bill) + "," + automation::NumberToText(amount) + ",-1)");
  }
  // The balance amounts as the database holds them, as text, in line order.
  std::string Balances() {
    auto connection = data::OpenConnection(db_);
    auto rows = static_cast<data::sqlite::SqliteBackend&>(connection->backend())
                    .ExecuteNative("select cast(FBalAmount as text) from T_LS_RetailEntry order by FEntryID", {});
    std::string out;
    for (size_t r = 0; r < rows.RowCount(); ++r) out += automation::CStr(rows.At(r, 0)) + " ";
    return out;
  }
  nlohmann::json Invoke(std::vector<std::string> narrowing = {}) {
    std::vector<std::string> args{"invoke", "--db", db_, "TovanMDailyBalance.clsData", "UpdateBalAmount",
                                  nlohmann::json(db_).dump()};
    args.insert(args.end(), narrowing.begin(), narrowing.end());
    CliRun run = RunDailybalance(dir_, args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return nlohmann::json::parse(run.out, nullptr, false)["result"];
  }

  TempDir dir_;
  std::string db_ = dir_.File("shop.db");
};

TEST_F(BalanceAmountCli, SpreadsEachOpenBillsDiscountOverItsLines) {
  EXPECT_EQ(Invoke(), false) << "no open bill";

  Bill(1, 100, 10);
  Line(1, 1, 60);
  Line(2, 1, 40);
  Bill(2, 30, 10);
  Line(3, 2, 10);
  Line(4, 2, 20);
  Bill(3, 7.5, 0);
  Line(5, 3, 7.5);
  Bill(4, 50, 5, 9);  // closed: never touched
  Line(6, 4, 50);
  EXPECT_EQ(Invoke(), true);
  EXPECT_EQ(Balances(), "54 36 6.66666666666667 13.3333333333333 7.5 -1 ");

  // A bill with a total of 0 fails the whole call, and its abort vote undoes
  // the lines already written.
  Exec("update T_LS_RetailEntry set FAmount=70 where FEntryID=1");
  Bill(5, 0, 1);
  Line(7, 5, 3);
  EXPECT_EQ(Invoke(), false);
  EXPECT_EQ(Balances(), "54 36 6.66666666666667 13.3333333333333 7.5 -1 -1 ");
}

// A host closing one shop's day narrows the work to it, so that closings of
// other shops write other lines; the bill type narrows nothing.
TEST_F(BalanceAmountCli, ADateRangeOrShopNarrowsTheBills) {
  auto bill = [&](int id, const char* date, int shop, int type) {
    Exec("insert into t_LS_Retail (FID, FTotalAmount, FDiscountAmount, FDailyBillID, FDate, FBranchShop, FBillType) "
         "values (" + std::to_string(id) + ",10,1,0,'" + date + "'," + std::to_string(shop) + "," +
         std::to_string(type) + ")");
    Line(id, id, 10);
  };
  bill(1, "2026-12-03", 1, 1);
  bill(2, "2026-12-04", 1, 1);
  bill(3, "2026-12-04", 2, 2);
  bill(4, "2026-12-05", 1, 1);
  const std::string day = R"({"date":"2026-12-04"})";
  EXPECT_EQ(Invoke({day, day, "1", "\"2\""}), true);
  EXPECT_EQ(Balances(), "-1 9 -1 -1 ") << "the 4th of December at shop 1, whatever the bill type";
  EXPECT_EQ(Invoke({day, day}), true);
  EXPECT_EQ(Balances(), "-1 9 9 -1 ") << "the 4th at every shop";
  EXPECT_EQ(Invoke({R"({"date":"1900-01-02"})", R"({"date":"2026-12-04"})", "2"}), true);
  EXPECT_EQ(Balances(), "-1 9 9 -1 ") << "up to the 4th at shop 2";
  EXPECT_EQ(Invoke({R"({"date":"2026-12-06"})"}), false) << "no open bill from the 6th on";
  EXPECT_EQ(Invoke(), true);
  EXPECT_EQ(Balances(), "9 9 9 9 ") << "the defaults: every open bill";
}

}  // namespace
}  // namespace tovan::testing
