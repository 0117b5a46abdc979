// The reference host database: the component's statements run against its
// schema, the demo data is reproducible and consistent (settlements, units,
// stock), deleting an audited stock bill gives its stock back, and a failed
// build leaves no file behind.
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
data::ResultSet Rows(data::Connection& c, const std::string& tsql) { return c.ExecuteBatch(tsql).rows; }
int64_t Changed(data::Connection& c, const std::string& tsql) { return c.ExecuteBatch(tsql).records_affected; }

// The FIDs of the first n open bills of a type, as an SQL in-list.
std::string BillIds(data::Connection& c, int type, int n) {
  return CStr(Native(c, "SELECT group_concat(FID) FROM (SELECT FID FROM t_LS_Retail WHERE FBillType = " +
                            std::to_string(type) + " ORDER BY FID LIMIT " + std::to_string(n) + ")")
                  .At(0, 0));
}

class HostSchema : public ::testing::Test {
 protected:
  void Build(const DemoOptions& options) {
    path_ = dir_.File("host.db");
    BuildDatabase(path_, options);
    conn_ = data::OpenConnection(path_);
  }
  testing::TempDir dir_;
  std::string path_;
  std::shared_ptr<data::Connection> conn_;
};

TEST_F(HostSchema, ClosingStatementsFindTheirColumns) {
  Build(Demo(40, 5));
  data::Connection& c = *conn_;
  std::string sales = BillIds(c, demo::kRetailSaleType, 6);

  // Balance amounts: read open bills and lines, write one line back by its key.
  EXPECT_EQ(Rows(c, "select FID,FTotalAmount,FDiscountAmount from T_LS_Retail where FDailyBillID=0").RowCount(), 40u);
  EXPECT_GE(Rows(c, "select FEntryID,FID,FAmount from T_LS_RetailEntry where FID='1'").RowCount(), 1u);
  EXPECT_EQ(Changed(c, "update T_LS_RetailEntry set FBalAmount='6.66666666666667' where FEntryID='1'"), 1);
  Native(c, "UPDATE T_LS_RetailEntry SET FBalAmount = FAmount - FAmount * (SELECT FDiscountAmount / FTotalAmount "
            "FROM t_LS_Retail r WHERE r.FID = T_LS_RetailEntry.FID)");

  // Stock is enough for every sale and every returned batch item has a row.
  std::string all_sales = BillIds(c, demo::kRetailSaleType, 1000);
  std::string all_returns = BillIds(c, demo::kRetailReturnType, 1000);
  EXPECT_EQ(Rows(c, "select t1.*,t2.FQty,i.FName as FName,i.FNumber as FNumber from \r\n(select FItemID as FItemID,"
                    "FStock,FAuxPropID,sum(isnull(FShowQty,0)) as FQty from t_ls_retailentry where FID in (\r\n" +
                        all_sales +
                        ") group by FItemID,FStock,FAuxPropID ) t1 inner join t_ICItem i on t1.FItemID=i.FItemID \r\n"
                        " left join  (select fItemID,FStockID,FAuxPropID,sum(isnull(FQty,0)) as FQty from "
                        "t_cc_inventory \r\n group by fItemID,FStockID,FAuxPropID) t2 on t1.FItemID=t2.FItemID and "
                        "t1.FStock=t2.FStockID and t1.FAuxPropID=t2.FAuxPropID \r\nwhere isnull(t2.FQty,0)<isnull(t1.FQty,0) "
                        " Order by i.FNumber")
                .RowCount(),
            0u);
  EXPECT_EQ(Rows(c, "select i.FName as FName,i.FNumber as FNumber from t_ls_retailentry t1 Inner Join t_ICItem i on "
                    "t1.FItemID=i.FItemID \r\n Left Join t_cc_Inventory t2 on t1.FItemID=t2.FItemID  and "
                    "t1.FStock=t2.FStockID and t1.FAuxPropID=t2.FAuxPropID \r\n Where t1.FID in (" +
                        all_returns + ") and i.FIsBatchManager=1 and t2.FQty is null group by i.FName,i.FNumber")
                .RowCount(),
            0u);
  EXPECT_GE(Rows(c, "SELECT  T_LS_Retail.FStock,T_LS_RetailEntry.FItemID, SUM(T_LS_RetailEntry.FQty) AS FQty FROM "
                    "T_LS_Retail INNER JOIN T_LS_RetailEntry ON T_LS_Retail.FID = T_LS_RetailEntry.FID INNER JOIN "
                    "t_Goods ON T_LS_RetailEntry.FItemID = t_Goods.FItemID WHERE t_Goods.FTrack = '80' and  "
                    "T_LS_Retail.FID in (" + all_sales + ") GROUP BY T_LS_Retail.FStock,T_LS_RetailEntry.FItemID ")
                .RowCount(),
            1u);

  // Aggregation: the per-group amounts add up to the total of the lines.
  c.ExecuteBatch(
      "if object_id('tempdb..#0408') is not null drop table #0408\r\nSELECT * INTO #0408 FROM (\r\n select b.FItemID,"
      "b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,Abs(sum(b.FBalAmount)) as FAmount,Abs(sum(b.FQty)) as "
      "FShowQty,Abs(sum(b.FShowQty)) as FQty,c.FTypeID as FTypeID  from T_LS_RetailEntry b Inner Join t_LS_Retail a "
      "on a.FID=b.FID \r\n Inner Join t_stock c on b.FStock=c.FItemID \r\n Where  a.FID in (" + sales +
      ") Group by b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,c.FTypeID\r\n ) tmp\r\nupdate #0408 "
      "set FShowUnitID=(select FUnitID from t_icitem where FItemID=#0408.FItemID ),FShowQty=FShowQty*FCoefficient,"
      "FCoefficient=1\r\nWhere FCoefficient <> 1");
  data::ResultSet lines = Rows(
      c, "Set NoCount On \r\nSelect t.*,h.FIsBatchManager,h.FUnitID,h.FSecUnitID,h.FSecCoefficient,i.FTaxRate,case when "
         "t.FTypeID=502 then 0 else h.FCostPrice end as FCostPrice from (\r\nselect FItemID,FShowUnitID,FCoefficient,"
         "FStock,FAuxPropID,Abs(sum(FAmount)) as FAmount,Abs(sum(FShowQty)) as FShowQty,Abs(sum(FQty)) as FQty,FTypeID "
         "as FTypeID \r\n from #0408 Group by FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,FTypeID  ) t \r\n "
         "Inner Join t_ICItem h on t.FItemID=h.FItemID Inner Join t_Item i on t.FItemID=i.FItemID \r\nSet NoCount Off");
  ASSERT_GT(lines.RowCount(), 0u);
  double amount = 0, base_qty = 0;
  for (size_t r = 0; r < lines.RowCount(); ++r) {
    amount += CDbl(lines.At(r, 5));
    base_qty += CDbl(lines.At(r, 6));
    EXPECT_EQ(CDbl(lines.At(r, 2)), 1.0) << "every group is in the base unit";
  }
  double total = CDbl(Rows(c, "Set NoCount On \r\nSelect Abs(sum(b.FBalAmount)) as FTotalAmount from t_Ls_RetailEntry b "
                              "Inner Join t_LS_Retail a on a.FID=b.FID \r\n Where  a.FID in (" + sales +
                              ")\r\nSet NoCount Off")
                         .At(0, 0));
  EXPECT_NEAR(amount, total, 1e-6);
  EXPECT_NEAR(base_qty, NativeNumber(c, "SELECT sum(FShowQty) FROM T_LS_RetailEntry WHERE FID IN (" + sales + ")"), 1e-6);
  EXPECT_EQ(Rows(c, "Set NoCount On \r\nselect sum(FSettleAmount) as FAmount from t_LS_RetailEntry2  \r\n Where FID in (" +
                        sales + ") And FSettleID in (0,3,4) \r\nSet NoCount Off")
                .RowCount(),
            1u);
  data::ResultSet batch = Native(c, "SELECT FItemID || ' and FAuxPropID=' || FAuxPropID || ' and FStockID=' || "
                                   "FStockID FROM t_CC_Inventory WHERE FBatchNo <> '' LIMIT 1");
  ASSERT_EQ(batch.RowCount(), 1u);
  data::ResultSet batches = Rows(c, "Set NoCount On \r\nselect * from t_CC_Inventory where FItemID=" +
                                        CStr(batch.At(0, 0)) + " and FQty>0 order by FBatchNo \r\nSet NoCount Off");
  ASSERT_GE(batches.RowCount(), 1u);
  EXPECT_EQ(batches.At(0, 5).type(), VarType::Date) << "FKFDate";

  // The daily bill: its FID comes from the database, its number from the largest of the day.
  Changed(c, "Insert into t_LS_DailyBill(FClassTypeID,FBillNo,FDate,FEmpID,FInvoiceType,FClient,FTaxRate) \r\n "
             "Values(1090001,'RJ20261204000009','2026-12-04','1',\r\n2021,314,17)");
  data::ResultSet daily = Rows(c, "select FID from t_ls_DailyBill where FBillNo='rj20261204000009'");
  ASSERT_EQ(daily.RowCount(), 1u) << "bill numbers compare without regard to case";
  std::string daily_id = CStr(daily.At(0, 0));
  EXPECT_EQ(CLng(Rows(c, " select max( convert(bigint,replace(FBillNo,left(FBillNo,10),'')) )+1 as FBillNo from "
                         "t_LS_DailyBill where FBillNo like 'RJ20261204%' ")
                     .At(0, 0)),
            10);
  Changed(c, "Insert into t_LS_DailyBillEntry (FID,FIndex,FID_SRC,FBillNo_SRC) \r\nselect " + daily_id +
                 ",0,FID,FBillNo from t_LS_Retail where FID=1\r\nInsert into t_LS_DailyBillEntry (FID,FIndex,FID_SRC,"
                 "FBillNo_SRC) \r\nselect " + daily_id + ",1,FID,FBillNo from t_LS_Retail where FID=3");
  EXPECT_EQ(Changed(c, "Update t_LS_Retail set FDailyBillID=" + daily_id +
                           ",FDailyBillNo='RJ20261204000009'\r\n Where FID in (1,3)"),
            2);

  // The stock bill as the closing assembles it: every header and entry key is a column.
  Changed(c, "Insert into t_cc_stockbill (FID,FBillNo,FCustID,FCurPayID,FClassTypeID,FDate,FCheckDate,"
             "FSettleLimitDate,FBillTypeID,FBillerID,FCheckerID,FExplanation,fdeptid,FAllAmount,FCurPayAmount,"
             "FCurCheckAmount,FBalanceStyle,FAcctNo,FCheckAmount,FUnCheckAmount,FInvoiceType,FStatus) Values(1001,"
             "'XOUT000001','314','314',1030002,'2026-12-04','2026-12-04','2026-12-04',3001,1,1,'POS零售单日结生成',0,"
             "120.5,100,100,0,'1',100,20.5,'2021',0)");
  Changed(c, "Insert into t_CC_StockBillEntry (FID,FIndex,FItemID,FUnitID,FShowUnitID,FCoefficient,FAuxPropID,"
             "FSCStockID,FQty,FShowQty,FUnRejectQty,FBatchNo,FKFPeriod,FKFDate,FPeriodDate,FCostPrice,FCostAmount,"
             "FDiscountAmount,FDiscountRate,FInTaxAmount,FAmount,FTaxAmount,FTaxPrice,FPriceDiscount,FPrice,FSecUnitID,"
             "FSecCoefficient,FSecQty,FUnRejectAuxQty,FSecPrice,FTaxRate,FClassID_SRC,FBillNo_SRC,FID_SRC) Values(1001,"
             "1,'1124','1','1','1','0','202',3,3,3,'P20261023-03','180','2026-10-23','2027-04-21','2.45',7.35,0,100,"
             "10.5,9.29,1.21,3.5,3.09666666666667,3.09666666666667,'3','24',0.125,0.125,74.32,13,1090001,"
             "'RJ20261204000009'," + daily_id + ")");
  data::ResultSet entry = Rows(c, "select FItemID,FKFDate,FQty,FBatchNo from t_CC_StockBillEntry where FID=1001");
  ASSERT_EQ(entry.RowCount(), 1u);
  EXPECT_EQ(entry.At(0, 0).type(), VarType::Long) << "quoted IDs are stored as numbers";
  EXPECT_EQ(entry.At(0, 1).type(), VarType::Date);
  EXPECT_EQ(entry.At(0, 2).type(), VarType::Double);

  // The check bill, exactly as saved.
  Changed(c, "insert into t_rp_Checkbill (FID,FClassTypeID,FBillNo,FBillTypeID,FDate,FExplanation,FBillerID,"
             "FCheckerID,FCheckDate,FAmount,FOutCustID,FInCustID,FHint1,FStatus,fdeptid)\r\n Values( 1001,1050003,"
             "'CHK000001',5024,'2026-12-04','POS零售单日结生成',1,\r\n1,'2026-12-04',20.5,314,304,'应收',0,0)");
  Changed(c, "insert into t_rp_Checkbillentry1(FID,FIndex,FIsSelected,FSourceBillNo,FBillDate,FSourceClassTypeDesc,"
             "FBillAmount,FBillCheckAmount,FBillUnCheckAmount,FBillSettleAmount,FSourceBillID,FSourceClassTypeID,"
             "FInitItemID) \r\n Values(1001,1,1,'XOUT000001','2026-12-04','销售发货',120.5,100,20.5,20.5,1001,1030002,"
             "314)");

  // The search index: captions in tab order, the name lookups, the row.
  data::ResultSet head = Rows(c, "Select FKey,FCaption_CHS from icclasstableinfo where FClassTypeID=1030002 and "
                                 "FVisible=-1 and FPage=1 order by FTabIndex ");
  ASSERT_GT(head.RowCount(), 10u);
  EXPECT_EQ(CStr(head.At(0, 0)), "FBillNo");
  data::ResultSet body = Rows(c, "Select FKey,FCaption_CHS from icclasstableinfo where FClassTypeID=1030002 and "
                                 "FVisible=-1 and FPage=2 order by FTabIndex ");
  ASSERT_GT(body.RowCount(), 3u);
  EXPECT_EQ(CStr(body.At(1, 0)), "FBaseProperty3");
  for (const char* lookup :
       {"select FNumber,FName from t_Organization where FItemId=314", "select FName from t_BaseBillTypeData where FID=2021",
        "select FName from t_SettleAcct where FItemID=1", "Select FNumber,FName,FModel from t_ICItem where FItemID=1124",
        "Select FName from t_MeasureUnit where FMeasureUnitID=1", "Select FName from t_Stock where FItemID=202",
        "Select FName from t_AuxItem where FItemID=0"})
    EXPECT_EQ(Rows(c, lookup).RowCount(), 1u) << lookup;
  Changed(c, "Insert into t_searchinfo_temp (FSearchText,FKey,FObjectId) values('[销售单-销售发货] 单据编号*:XOUT000001 "
             "摘要*:POS''s ','System=yw|BillID=1001|ClassTypeID=1030002|BillTypeID=3001|',1)");
}

TEST_F(HostSchema, CancelAndDialogStatementsFindTheirColumns) {
  Build(Demo(20, 3));
  data::Connection& c = *conn_;
  // A closed day as the closing leaves it: daily bill 1 with retail bills 1 and 2, stock bill 1001, check bill 1001.
  Script(c, "INSERT INTO t_LS_DailyBill (FBillNo, FDate) VALUES ('RJ20261204000001', '2026-12-04');"
            "INSERT INTO t_LS_DailyBillEntry (FID, FIndex, FID_SRC, FBillNo_SRC) SELECT 1, FID - 1, FID, FBillNo "
            "FROM t_LS_Retail WHERE FID IN (1, 2);"
            "UPDATE t_LS_Retail SET FDailyBillID = 1, FDailyBillNo = 'RJ20261204000001' WHERE FID IN (1, 2);"
            "INSERT INTO t_cc_stockbill (FID, FBillNo, FCustID, FAllAmount, FBillTypeID) VALUES (1001, 'XOUT000001', 314, 50, 3001);"
            "INSERT INTO t_CC_StockBillEntry (FID, FIndex, FClassID_SRC, FID_SRC, FBillNo_SRC) VALUES (1001, 1, 1090001, 1, 'RJ20261204000001');"
            "INSERT INTO t_rp_Checkbill (FID, FBillNo, FVoucherID) VALUES (1001, 'CHK000001', 0);"
            "INSERT INTO t_rp_Checkbillentry1 (FID, FIndex, FSourceBillID, FSourceClassTypeID) VALUES (1001, 1, 1001, 1030002);"
            "INSERT INTO t_RP_RBillEntry (FID, FSourceBillID, FSourceClassTypeID) VALUES (7, 1001, 1050003);");

  EXPECT_EQ(Rows(c, "select FID_SRC,FID,FBillNo_SRC from t_cc_stockbillentry where FClassID_SRC=1090001 and FID_SRC in "
                    "(1) group by FID_SRC,FID,FBillNo_SRC ").RowCount(), 1u);
  EXPECT_EQ(Rows(c, "select a.FID as FID  from t_cc_stockBill a inner join t_cc_stockbillEntry b on a.FID=b.FID \r\n "
                    "where b.FClassID_Src=1090001 and b.FID_SRC in (1) group by a.FID ").RowCount(), 1u);
  EXPECT_EQ(Rows(c, "select a.FID,a.FBillNo from t_rp_checkbill a inner join t_rp_checkbillEntry1 b on a.FID=b.FID \r\n "
                    "where isnull(a.FVoucherID,0)<>0 and b.FSourceClassTypeID=1030002 and b.FSourceBillID in (1001) "
                    "Group by a.FID,a.FBillNo").RowCount(), 0u);
  EXPECT_EQ(Rows(c, "select FID,FBillNo from t_cc_Stockbill where isnull(FVoucherID,0)<>0 and FID in (1001) Group by "
                    "FID,FBillNo").RowCount(), 0u) << "a bill inserted without a voucher has none";
  EXPECT_EQ(Rows(c, "Select top 1 1 from t_CC_stockBillEntry where FClassID_SRC=1030002 and FID_SRC=1001").RowCount(), 0u);
  EXPECT_EQ(Rows(c, "Select top 1 1 from t_RP_CheckBillentry2 where FSourceClassTypeID=1030002 and FSourceBillID=1001").RowCount(), 0u);
  EXPECT_EQ(Rows(c, "select top 1 1 from t_RP_RBillEntry where FSourceClassTypeID=1050003 and FSourceBillID=1001").RowCount(), 1u);
  EXPECT_EQ(Rows(c, "select distinct FID from t_rp_CheckBillEntry1 where FSourceClassTypeID=1030002 and FSourceBillID=1001").RowCount(), 1u);
  EXPECT_EQ(Rows(c, "select FID,FBillNo,FCustID,FAllAmount,FBillTypeID from T_CC_StockBill where FID='1001'").RowCount(), 1u);

  // Closed-bill lists of the cancel dialog.
  EXPECT_EQ(Rows(c, "select b.FDate,b.FBillNo,b.FID from t_LS_DailyBill b Inner Join t_LS_DailyBillEntry be on "
                    "b.FID=be.FID \r\n where b.FBillNo like 'RJ2026%'   group by b.FDate,b.FBillNo,b.FID").RowCount(), 1u);
  data::ResultSet detail = Rows(
      c, "select a.FID,a.FID_SRC,a.FBillNo_SRC,Convert(varchar(20),e.FDate,23) as FDate,c.FName as FBranchShop,"
         "d.FName as FCashier,isnull(f.FSettleAmount,0) as FSettleAmount From t_LS_DailyBillEntry a Inner Join "
         "t_LS_DailyBill b on a.FID = b.FID Inner Join t_LS_Retail e on a.FID_SRC = e.FID  left Join (select FID,"
         "sum(FSettleAmount) as FSettleAmount from t_LS_RetailEntry2 group by FID) f on e.FID=f.FID  Inner Join "
         "t_LS_BranchShop c on e.FBranchShop=c.FItemID  Inner Join t_LS_Cashier d on e.FCashier=d.FItemID Where a.FID=1");
  ASSERT_EQ(detail.RowCount(), 2u) << "every retail bill has its shop and cashier";
  EXPECT_EQ(CStr(detail.At(0, 3)).size(), 10u);
  EXPECT_EQ(Rows(c, "select a.FID from T_LS_Retail a \r\n Inner Join t_LS_DailyBill c on a.FDailyBillID=c.FID Where 1=1 ").RowCount(), 2u);

  // The cancellation's writes.
  c.ExecuteBatch("delete from t_searchinfo_temp where FKey like 'System=yw|BillID=1001|ClassTypeID=1030002|BillTypeID=3001|'"
                 "\r\nInsert into t_searchinfo_temp (FKey,FSearchText,FObjectID,FAction) values('System=yw|BillID=1001|"
                 "ClassTypeID=1030002|BillTypeID=3001|','',1,2)");
  EXPECT_EQ(Changed(c, "delete from t_RP_CheckBill where FID='1001'"), 1);
  EXPECT_EQ(Changed(c, "delete from t_RP_CheckBillEntry1 where FID='1001'"), 1);
  EXPECT_EQ(Changed(c, "delete from T_CC_StockBill where FID='1001'"), 1);
  EXPECT_EQ(Changed(c, "delete from T_CC_StockBillEntry where FID='1001'"), 1);
  EXPECT_EQ(Changed(c, "update T_LS_Retail set FDailyBillID=0,FDailyBillNo='' where FDailyBillID=1"), 2);
  EXPECT_EQ(Changed(c, "delete from t_LS_DailyBill where FID =1"), 1);
  EXPECT_EQ(Changed(c, "delete from t_LS_DailyBillEntry where FID =1"), 2);

  // The closing dialog: customers as a tree, contacts, tax rates, settlement.
  data::ResultSet roots = Rows(c, "Select FItemID,FName,FDetail,FLevel,FTaxRate,FNumber from t_Item where "
                                  "FItemClassID=4 And FParentID='0' order by FNumber asc");
  ASSERT_GE(roots.RowCount(), 2u);
  EXPECT_EQ(CStr(roots.At(0, 5)), "01");
  EXPECT_EQ(roots.At(0, 2).type(), VarType::Boolean);
  EXPECT_GE(CLng(Rows(c, "select  max(FLevel) from t_Item where FItemClassID=4").At(0, 0)), 3);
  EXPECT_EQ(Rows(c, "SELECT  t_Organization.FPhone, t_Organization.FFax,t_Organization.FContact, t_Item.FItemID, "
                    "t_Item.FName FROM  t_Organization RIGHT OUTER JOIN t_Item ON t_Organization.FItemID = "
                    "t_Item.FItemID where t_Item.FItemID='304'").RowCount(), 1u);
  EXPECT_EQ(Rows(c, "select FItemID,FTaxRate from t_Item where FItemID='1101'").RowCount(), 1u);
  EXPECT_EQ(Changed(c, "update t_Item set FTaxRate='13' where FItemID='1101'"), 1);
  EXPECT_EQ(Rows(c, "select FItemID,FName from t_SettleAcct Where FFixed=0 and FDeleted=0").RowCount(), 4u);
  EXPECT_EQ(CLng(Rows(c, "select FItemID,FName from t_SettleAcct where FName='现金'").At(0, 0)), 1);
  EXPECT_GE(Rows(c, "select b.FItemID,b.FName,sum(a.FSettleAmount) as FSettleAmount from t_LS_RetailEntry2 a Inner "
                    "join t_LS_Settle b on a.FSettleID=b.FItemID \r\n Where a.FID in (1,2,3,4,5,6,7,8) and b.FItemID in "
                    "(1,2,5) group by b.FItemID,b.FName").RowCount(), 1u);
  EXPECT_GE(Rows(c, "Select distinct(FBillType) from t_ls_Retail where FID in ('1','2')").RowCount(), 1u);
  EXPECT_EQ(Rows(c, "select top 1 1 from t_LS_Retail where FDate<'2026-11-29' and FID in ('1','2')").RowCount(), 0u);
  EXPECT_EQ(Rows(c, "Select FID from t_LS_Retail a left Join t_ls_BranchShop b on a.FBranchshop=b.FItemID  where "
                    "a.FDailyBillID=0  And a.FDate>'2026-11-28' And a.FDate<'2026-12-05'").RowCount(), 20u);
}

// One build shared by the checks of the data's consistency.
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
