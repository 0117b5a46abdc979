// The reference host database: the demo data is reproducible and
// consistent (settlements, units, stock), deleting an audited stock bill
// gives its stock back, and a failed build leaves no file behind.  That the
// component's statements find their columns is shown by every closing and
// cancellation the other suites run on this schema.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/database_builder.h"
#include "platform/data/data_error.h"
#include "platform/data/open.h"
#include "platform/data/sqlite/backend.h"
#include "tests/support/temp_dir.h"

namespace tovan::hostlib {
namespace {

using automation::CDbl;
using automation::CLng;
using automation::CStr;
using automation::Date;
using automation::VarType;

DemoOptions Demo(int bills, int lines, uint32_t seed = 7) {
  DemoOptions o;
  o.bills = bills;
  o.lines = lines;
  o.seed = seed;
  o.last_day = Date::FromParts(2026, 12, 4);
  o.days = 6;
  o.return_share = 0.2;
  return o;
}

// Plain SQLite on the built file, for checks the component never makes.
data::ResultSet Native(data::Connection& c, const std::string& sql) {
  return static_cast<data::sqlite::SqliteBackend&>(c.backend()).ExecuteNative(sql, {});
}
double NativeNumber(data::Connection& c, const std::string& sql) {
  data::ResultSet rows = Native(c, sql);
  if (rows.RowCount() == 0) {
    ADD_FAILURE() << "no row: " << sql;
    return -1;
  }
  return CDbl(rows.At(0, 0));
}
void Script(data::Connection& c, const std::string& sql) {
  static_cast<data::sqlite::SqliteBackend&>(c.backend()).ExecuteScript(sql);
}

// The component's own T-SQL, through the dialect layer.
int64_t Changed(data::Connection& c, const std::string& tsql) { return c.ExecuteBatch(tsql).records_affected; }

class DemoData : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::TempDir;
    BuildDatabase(dir_->File("demo.db"), Demo(300, 8));
    conn_ = data::OpenConnection(dir_->File("demo.db"));
  }
  static void TearDownTestSuite() {
    conn_.reset();
    delete dir_;
  }
  static inline testing::TempDir* dir_ = nullptr;
  static inline std::shared_ptr<data::Connection> conn_;
};

TEST_F(DemoData, BillsAddUp) {
  data::Connection& c = *conn_;
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_LS_Retail WHERE FDailyBillID = 0 AND FDailyBillNo = ''"), 300);
  // Lines make the total, settlements pay the total less the discount, with the bill's sign.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_LS_Retail r WHERE abs(FTotalAmount - (SELECT sum(FAmount) FROM "
                            "T_LS_RetailEntry e WHERE e.FID = r.FID)) > 0.001"), 0);
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_LS_Retail r WHERE abs(FTotalAmount - FDiscountAmount - (SELECT "
                            "sum(FSettleAmount) FROM t_LS_RetailEntry2 s WHERE s.FID = r.FID)) > 0.001"), 0);
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_LS_Retail WHERE (FBillType = 1) <> (FTotalAmount > 0) OR "
                            "abs(FDiscountAmount) >= abs(FTotalAmount)"), 0);
  EXPECT_GT(NativeNumber(c, "SELECT count(*) FROM t_LS_Retail WHERE FDiscountAmount <> 0"), 0);
  EXPECT_EQ(NativeNumber(c, "SELECT count(DISTINCT FSettleID) FROM t_LS_RetailEntry2"), 6) << "methods 0 to 5";
  EXPECT_NEAR(NativeNumber(c, "SELECT avg(n) FROM (SELECT count(*) AS n FROM T_LS_RetailEntry GROUP BY FID)"), 8, 1);
  double returns = NativeNumber(c, "SELECT count(*) FROM t_LS_Retail WHERE FBillType = 2");
  EXPECT_GT(returns, 30);
  EXPECT_LT(returns, 90);

  // Bills on each of the six days up to the last one; the period opens on the first.
  EXPECT_EQ(NativeNumber(c, "SELECT count(DISTINCT substr(FDate, 1, 10)) FROM t_LS_Retail"), 6);
  EXPECT_EQ(CStr(Native(c, "SELECT min(FDate) FROM t_LS_Retail").At(0, 0)).substr(0, 10), "2026-11-29");
  EXPECT_EQ(CStr(Native(c, "SELECT max(FDate) FROM t_LS_Retail").At(0, 0)).substr(0, 10), "2026-12-04");
  EXPECT_EQ(CStr(Native(c, "SELECT FValue FROM t_SystemProfile WHERE FCategory = 'ic' AND FKey = 'currentperiod'").At(0, 0)), "11");

  // The counters stand at the numbers already used.
  EXPECT_GE(NativeNumber(c, "SELECT FMaxNum FROM t_ICMaxNum WHERE FTableName = 't_ls_retail'"), 300);
  EXPECT_EQ(NativeNumber(c, "SELECT FCurNo FROM t_BillCodeRule WHERE FBillType = '1080002'"), returns);
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_LS_Retail WHERE FBillNo = 'LT' || printf('%06d', " +
                                std::to_string(static_cast<int>(returns)) + ")"), 1);
}

TEST_F(DemoData, LinesAreInTheirOwnUnitAndShowTheBaseUnit) {
  data::Connection& c = *conn_;
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM T_LS_RetailEntry WHERE abs(FShowQty - FQty * FCoefficient) > 1e-9"), 0);
  // The line's unit belongs to the item's unit group and carries that coefficient.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM T_LS_RetailEntry e JOIN t_ICItem i ON i.FItemID = e.FItemID "
                            "LEFT JOIN t_MeasureUnit u ON u.FMeasureUnitID = e.FShowUnitID AND u.FUnitGroupID = "
                            "i.FUnitGroupID WHERE u.FCoefficient IS NULL OR u.FCoefficient <> e.FCoefficient"), 0);
  EXPECT_GE(NativeNumber(c, "SELECT count(DISTINCT FCoefficient) FROM T_LS_RetailEntry"), 5) << "several units sold";
  EXPECT_GT(NativeNumber(c, "SELECT count(*) FROM T_LS_RetailEntry WHERE FAuxPropID <> 0"), 0);
  EXPECT_GT(NativeNumber(c, "SELECT count(*) FROM T_LS_RetailEntry e JOIN t_Stock s ON s.FItemID = e.FStock "
                            "WHERE s.FTypeID = 502"), 0) << "some goods are sold from the custody stock";
  // Every line's item has the rows the aggregation joins.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM T_LS_RetailEntry e WHERE NOT EXISTS (SELECT 1 FROM t_Item i WHERE "
                            "i.FItemID = e.FItemID) OR NOT EXISTS (SELECT 1 FROM t_Stock s WHERE s.FItemID = e.FStock)"), 0);
}

TEST_F(DemoData, StockCoversEverySaleBatchByBatch) {
  data::Connection& c = *conn_;
  // What a sales closing allocates: positive batches of the item, stock and property.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM (SELECT FItemID, FStock, FAuxPropID, sum(FShowQty) AS sold FROM "
                            "T_LS_RetailEntry WHERE FShowQty > 0 GROUP BY 1, 2, 3) s WHERE sold > (SELECT "
                            "ifnull(sum(FQty), 0) FROM t_CC_Inventory i WHERE i.FItemID = s.FItemID AND i.FStockID = "
                            "s.FStock AND i.FAuxPropID = s.FAuxPropID AND i.FQty > 0) - 1e-9"), 0);
  // The check of goods costed by batch adds the lines' own quantities at the bill's stock.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM (SELECT r.FStock, e.FItemID, sum(e.FQty) AS sold FROM t_LS_Retail r "
                            "JOIN T_LS_RetailEntry e ON e.FID = r.FID JOIN t_Goods g ON g.FItemID = e.FItemID WHERE "
                            "g.FTrack = 80 AND r.FBillType = 1 GROUP BY 1, 2) s WHERE sold > (SELECT ifnull(sum(FQty), 0) "
                            "FROM t_CC_Inventory i WHERE i.FStockID = s.FStock AND i.FItemID = s.FItemID)"), 0);
  // Batch-managed goods come in several dated batches; the others in one row without a batch.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_CC_Inventory v JOIN t_ICItem i ON i.FItemID = v.FItemID WHERE "
                            "(i.FIsBatchManager = 1) <> (v.FBatchNo <> '')"), 0);
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM (SELECT count(*) AS n FROM t_CC_Inventory WHERE FBatchNo <> '' "
                            "GROUP BY FItemID, FStockID, FAuxPropID) WHERE n < 2"), 0);
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_CC_Inventory WHERE FBatchNo <> '' AND (FKFDate IS NULL OR "
                            "FPeriodDate <> date(FKFDate, '+' || FKFPeriod || ' days'))"), 0);
  // Batch numbers sort as the batches were made.
  EXPECT_EQ(NativeNumber(c, "SELECT count(*) FROM t_CC_Inventory a JOIN t_CC_Inventory b ON a.FItemID = b.FItemID AND "
                            "a.FStockID = b.FStockID AND a.FAuxPropID = b.FAuxPropID AND a.FBatchNo < b.FBatchNo "
                            "WHERE a.FKFDate >= b.FKFDate"), 0);
}

std::string Dump(const std::string& path) {
  auto c = data::OpenConnection(path);
  std::string out;
  for (const char* sql :
       {"SELECT count(*), total(FTotalAmount), total(FDiscountAmount), group_concat(FBillNo || FSaleTime || FBranchShop || "
        "FCashier) FROM t_LS_Retail",
        "SELECT count(*), total(FQty), total(FShowQty), total(FAmount), group_concat(FItemID || '/' || FShowUnitID || "
        "'/' || FAuxPropID || '/' || FStock) FROM T_LS_RetailEntry",
        "SELECT count(*), total(FSettleAmount), group_concat(FSettleID) FROM t_LS_RetailEntry2",
        "SELECT count(*), total(FQty), group_concat(FBatchNo || FKFDate) FROM t_CC_Inventory",
        "SELECT group_concat(FTableName || FMaxNum) FROM t_ICMaxNum",
        "SELECT group_concat(FKey || FValue) FROM t_SystemProfile"}) {
    data::ResultSet rows = Native(*c, sql);
    for (const auto& cell : rows.cells) out += CStr(cell) + "|";
    out += "\n";
  }
  return out;
}

TEST(DemoGenerator, SameOptionsSameRows) {
  testing::TempDir dir;
  BuildDatabase(dir.File("a.db"), Demo(120, 6, 42));
  BuildDatabase(dir.File("b.db"), Demo(120, 6, 42));
  BuildDatabase(dir.File("c.db"), Demo(120, 6, 43));
  EXPECT_EQ(Dump(dir.File("a.db")), Dump(dir.File("b.db")));
  EXPECT_NE(Dump(dir.File("a.db")), Dump(dir.File("c.db")));

  // Master data alone: no bills, no stock, the period of the given day.
  DemoOptions empty = Demo(0, 10);
  BuildDatabase(dir.File("empty.db"), empty);
  auto c = data::OpenConnection(dir.File("empty.db"));
  EXPECT_EQ(NativeNumber(*c, "SELECT count(*) FROM t_LS_Retail"), 0);
  EXPECT_EQ(NativeNumber(*c, "SELECT count(*) FROM t_CC_Inventory"), 0);
  EXPECT_GT(NativeNumber(*c, "SELECT count(*) FROM t_ICItem"), 20);
  EXPECT_EQ(CStr(Native(*c, "SELECT FValue FROM t_SystemProfile WHERE FKey = 'CurrentPeriod'").At(0, 0)), "12");
}

TEST(DemoGenerator, AFailedBuildLeavesNoFile) {
  testing::TempDir dir;
  std::string path = dir.File("x.db");
  BuildDatabase(path, Demo(5, 2));
  auto size = std::filesystem::file_size(path);
  try {
    BuildDatabase(path, Demo(5, 2));
    FAIL() << "an existing file is not overwritten";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), data::kDatabaseError);
  }
  EXPECT_EQ(std::filesystem::file_size(path), size);

  // Days before the year 100 cannot be written: the build fails after the schema is made.
  std::string broken = dir.File("broken.db");
  DemoOptions ancient = Demo(50, 2);
  ancient.last_day = Date::FromParts(100, 1, 2);
  try {
    BuildDatabase(broken, ancient);
    FAIL() << "a date out of range fails the build";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), data::kDatabaseError);
  }
  EXPECT_FALSE(std::filesystem::exists(broken));
  EXPECT_FALSE(std::filesystem::exists(broken + "-wal"));
}

TEST(StockPosting, DeletingAPostedStockBillGivesTheStockBack) {
  testing::TempDir dir;
  BuildDatabase(dir.File("s.db"), Demo(0, 1));
  auto c = data::OpenConnection(dir.File("s.db"));
  Script(*c,
         "INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty) VALUES (1124, 202, 0, 'P1', 10), "
         "(1124, 202, 0, 'P2', 5), (1101, 202, 0, '', 40);"
         "INSERT INTO t_cc_stockbill (FID, FBillNo) VALUES (1001, 'XOUT000001'), (1002, 'XOUT000002'), (1003, 'XOUT000003');");
  // The audit's own upsert finds the inventory's unique key; it then records what it posted.
  for (const char* posting : {"(1124, 202, 0, 'P1', -10)", "(1124, 202, 0, 'p2', -2)", "(1101, 202, 0, '', -15)",
                              "(1101, 202, 0, '', -5)"})
    Native(*c, std::string("INSERT INTO t_CC_Inventory (FItemID, FStockID, FAuxPropID, FBatchNo, FQty) VALUES ") +
                   posting + " ON CONFLICT (FItemID, FStockID, FAuxPropID, FBatchNo) DO UPDATE SET FQty = FQty + excluded.FQty");
  Script(*c, "INSERT INTO t_CC_StockPosting (FInterID, FEntryID, FItemID, FStockID, FAuxPropID, FBatchNo, FQty) VALUES "
             "(1001, 1, 1124, 202, 0, 'P1', -10), (1001, 2, 1124, 202, 0, 'p2', -2), (1001, 3, 1101, 202, 0, '', -15), "
             "(1001, 4, 1101, 202, 0, '', -5), (1003, 1, 1101, 205, 3, '', 4);");
  EXPECT_EQ(NativeNumber(*c, "SELECT count(*) FROM t_CC_Inventory"), 3) << "the batch key ignores letter case";
  EXPECT_EQ(NativeNumber(*c, "SELECT FQty FROM t_CC_Inventory WHERE FItemID = 1101"), 20);

  Changed(*c, "delete from t_cc_stockbill where FID=1001");
  EXPECT_EQ(NativeNumber(*c, "SELECT FQty FROM t_CC_Inventory WHERE FBatchNo = 'P1'"), 10);
  EXPECT_EQ(NativeNumber(*c, "SELECT FQty FROM t_CC_Inventory WHERE FBatchNo = 'P2'"), 5);
  EXPECT_EQ(NativeNumber(*c, "SELECT FQty FROM t_CC_Inventory WHERE FItemID = 1101"), 40) << "two postings of one row";
  EXPECT_EQ(NativeNumber(*c, "SELECT count(*) FROM t_CC_StockPosting WHERE FInterID = 1001"), 0);

  // A bill without postings (not audited, or un-audited) changes nothing; a row removed since comes back.
  Changed(*c, "delete from t_cc_stockbill where FID=1002");
  EXPECT_EQ(NativeNumber(*c, "SELECT total(FQty) FROM t_CC_Inventory"), 55);
  Changed(*c, "delete from t_cc_stockbill where FID=1003");
  EXPECT_EQ(NativeNumber(*c, "SELECT FQty FROM t_CC_Inventory WHERE FStockID = 205 AND FAuxPropID = 3"), -4);
  EXPECT_EQ(NativeNumber(*c, "SELECT count(*) FROM t_CC_StockPosting"), 0);
}

}  // namespace
}  // namespace tovan::hostlib
