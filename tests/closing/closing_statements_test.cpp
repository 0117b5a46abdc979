// The statement texts the closing and the cancellation send, as the server
// receives them (captured by the statement trace).
#include <gtest/gtest.h>

#include <sstream>

#include "cancel/closed_bill_queries.h"
#include "cancel/reference_check.h"
#include "cancel/voucher_check.h"
#include "closing/aggregation.h"
#include "closing/batch_allocation.h"
#include "closing/rollback.h"
#include "closing/stock_bill_saving.h"
#include "component/cls_data.h"
#include "component/cls_un_bal_data.h"
#include "platform/data/backend_wrappers.h"
#include "platform/host/data_context.h"
#include "tests/closing/closing_test_data.h"

namespace tovan::closing {
namespace {

using automation::CStr;
using automation::Date;
using automation::Variant;
using testing::Record;
using Records = std::vector<std::string>;

// The first record that starts with `prefix`, for a readable diff.
std::string Starting(const Records& records, const std::string& prefix) {
  for (const auto& r : records)
    if (r.rfind(prefix, 0) == 0) return r;
  return "<nothing starts with " + prefix + ">";
}

class SentStatements : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SalesDay(data_);
    data_.Exec("UPDATE t_LS_Retail SET FDiscountAmount=10 WHERE FID=21");
  }
  std::shared_ptr<data::Connection> Connection() {
    binding_.OpenDataContext(host_.db());
    return binding_.GetConnection();
  }
  // Closes the sales day through the class; answers the daily bill's number.
  std::string Close(const std::string& ids = "22,20,21") {
    testing::Closing closing;
    closing.ids = ids;
    EXPECT_TRUE(closing.Run(host_)) << closing.message;
    return data_.Text("select FBillNo from t_LS_DailyBill");
  }

  testing::TraceFile trace_;  // before the host opens any connection
  testing::HostFixture host_{testing::SmallDemo(0)};
  testing::ClosingData data_{host_};
  component::ContextBinding binding_;
};

TEST_F(SentStatements, BalanceAmountsAggregationAndBatches) {
  component::clsData cls;
  trace_.Clear();
  ASSERT_TRUE(cls.UpdateBalAmount(host_.db()));
  Records balance = trace_.Records();
  ASSERT_GE(balance.size(), 6u);
  EXPECT_EQ(Records(balance.begin(), balance.begin() + 6),
            (Records{"select FID,FTotalAmount,FDiscountAmount from T_LS_Retail where FDailyBillID=0",
                     "select FEntryID,FID,FAmount from T_LS_RetailEntry where FID='20'",
                     "update T_LS_RetailEntry set FBalAmount='30' where FEntryID='1'",
                     "select FEntryID,FID,FAmount from T_LS_RetailEntry where FID='21'",
                     "update T_LS_RetailEntry set FBalAmount='54' where FEntryID='2'",
                     "update T_LS_RetailEntry set FBalAmount='36' where FEntryID='3'"}));

  auto connection = Connection();
  trace_.Clear();
  ASSERT_TRUE(AggregateRetailLines(binding_, connection, "21,22"));
  SumSettleAmount(binding_, connection, "FID in (21,22)", "0,3,4");
  EXPECT_EQ(
      trace_.Records(),
      (Records{
          "if object_id('tempdb..#0408') is not null drop table #0408\r\n"
          "SELECT * INTO #0408 FROM (\r\n"
          " select b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,Abs(sum(b.FBalAmount)) as FAmount,"
          "Abs(sum(b.FQty)) as FShowQty,Abs(sum(b.FShowQty)) as FQty,c.FTypeID as FTypeID  from T_LS_RetailEntry b "
          "Inner Join t_LS_Retail a on a.FID=b.FID \r\n"
          " Inner Join t_stock c on b.FStock=c.FItemID \r\n"
          " Where  a.FID in (21,22) Group by b.FItemID,b.FShowUnitID,b.FCoefficient,b.FStock,b.FAuxPropID,c.FTypeID\r\n"
          " ) tmp\r\n"
          "update #0408 set FShowUnitID=(select FUnitID from t_icitem where FItemID=#0408.FItemID ),"
          "FShowQty=FShowQty*FCoefficient,FCoefficient=1\r\n"
          "Where FCoefficient <> 1",
          "Set NoCount On \r\n"
          "Select t.*,h.FIsBatchManager,h.FUnitID,h.FSecUnitID,h.FSecCoefficient,i.FTaxRate,case when t.FTypeID=502 "
          "then 0 else h.FCostPrice end as FCostPrice from (\r\n"
          "select FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,Abs(sum(FAmount)) as FAmount,Abs(sum(FShowQty)) "
          "as FShowQty,Abs(sum(FQty)) as FQty,FTypeID as FTypeID \r\n"
          " from #0408 Group by FItemID,FShowUnitID,FCoefficient,FStock,FAuxPropID,FTypeID  ) t \r\n"
          " Inner Join t_ICItem h on t.FItemID=h.FItemID Inner Join t_Item i on t.FItemID=i.FItemID \r\n"
          "Set NoCount Off",
          "Set NoCount On \r\n"
          "Select Abs(sum(b.FBalAmount)) as FTotalAmount from t_Ls_RetailEntry b Inner Join t_LS_Retail a on "
          "a.FID=b.FID \r\n"
          " Where  a.FID in (21,22)\r\n"
          "Set NoCount Off",
          "Set NoCount On \r\n"
          "select sum(FSettleAmount) as FAmount from t_LS_RetailEntry2  \r\n"
          " Where FID in (21,22) And FSettleID in (0,3,4) \r\n"
          "Set NoCount Off"}));

  trace_.Clear();
  for (const char* mode : {"1", "2", "3"}) ASSERT_TRUE(AllocateBatches(binding_, connection, 1107, 0, 202, 4, mode));
  const std::string select =
      "Set NoCount On \r\nselect * from t_CC_Inventory where FItemID=1107 and FAuxPropID=0 and FStockID=202";
  EXPECT_EQ(trace_.Records(), (Records{select + " and FQty>0 order by FBatchNo \r\nSet NoCount Off",
                                       select + " order by FBatchNo \r\nSet NoCount Off",
                                       select + "order by FBatchNo \r\nSet NoCount Off"}));
}

TEST_F(SentStatements, StockAndCheckBillInsertsAndEntryBatches) {
  auto header = Record({{"FClassTypeID", Variant(int32_t{1030002})},
                        {"FBillTypeID", Variant(int32_t{3002})},
                        {"FDate", Variant(Date::FromParts(2026, 12, 4))},
                        {"FCustID", Variant("314")},
                        {"FAllAmount", Variant(150.0)},
                        {"FCurCheckAmount", Variant(130.0)},
                        {"FUnCheckAmount", Variant(-20.0)},
                        {"fdeptid", Variant(int32_t{101})},
                        {"FExplanation", Variant("POS零售单日结生成")}});
  // Entry statements of exactly `length` characters for the stock bill 1001.
  auto entries_of = [](std::initializer_list<size_t> lengths, int32_t fid) {
    auto entries = foundation::Vector::Create();
    int32_t index = 0;
    for (size_t length : lengths) {
      std::string head = "Insert into t_CC_StockBillEntry (FID,FIndex,FItemID,FSCStockID,FQty,FAmount,FNote)  Values(" +
                         std::to_string(fid) + "," + std::to_string(++index) + ",1101,202,1,-120.5,'";
      entries->Add(Variant(Record({{"FItemID", Variant(int32_t{1101})},
                                   {"FSCStockID", Variant(int32_t{202})},
                                   {"FQty", Variant(1.0)},
                                   {"FAmount", Variant(-120.5)},
                                   {"FNote", Variant(std::string(length - head.size() - 2, 'n'))}})));
    }
    return entries;
  };
  auto statement = [&](const foundation::Vector& entries, int32_t p, int32_t fid) {
    return "Insert into t_CC_StockBillEntry (FID,FIndex,FItemID,FSCStockID,FQty,FAmount,FNote)  Values(" +
           std::to_string(fid) + "," + std::to_string(p) + ",1101,202,1,-120.5,'" +
           CStr(entries.Record(p)->Value("FNote")) + "')";
  };
  auto connection = Connection();
  auto three = entries_of({1500, 1500, 1500}, 1001);
  int32_t stock_id = 0, check_id = 0;
  trace_.Clear();
  ASSERT_TRUE(SaveStockAndCheckBill(binding_, connection, header.get(), three.get(), true, 301,
                                    Date::FromParts(2026, 12, 4), stock_id, check_id));
  ASSERT_EQ(stock_id, 1001);
  ASSERT_EQ(check_id, 1001);
  Records sent = trace_.Records();
  EXPECT_EQ(Starting(sent, "Insert into t_cc_stockbill"),
            "Insert into t_cc_stockbill (FID,FBillNo,FClassTypeID,FBillTypeID,FDate,FCustID,FAllAmount,FCurCheckAmount,"
            "FUnCheckAmount,fdeptid,FExplanation)  Values(1001,'XOUT000001',1030002,3002,'2026-12-04','314',150,130,20,"
            "101,'POS零售单日结生成')");
  // Two batches: the first two statements (3000 characters), then the third.
  Records batches;
  for (const auto& r : sent)
    if (r.find("Insert into t_CC_StockBillEntry") != std::string::npos) batches.push_back(r);
  EXPECT_EQ(statement(*three, 1, 1001).size(), 1500u);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_TRUE(batches[0] == "\r\n" + statement(*three, 1, 1001) + "\r\n" + statement(*three, 2, 1001));
  EXPECT_TRUE(batches[1] == statement(*three, 3, 1001));
  EXPECT_EQ(Starting(sent, "Select FKey,FCaption_CHS"),
            "Select FKey,FCaption_CHS from icclasstableinfo where FClassTypeID=1030002 and FVisible=-1 and FPage=1 "
            "order by FTabIndex ");
  EXPECT_EQ(Starting(sent, "insert into t_rp_Checkbill "),
            "insert into t_rp_Checkbill (FID,FClassTypeID,FBillNo,FBillTypeID,FDate,FExplanation,FBillerID,FCheckerID,"
            "FCheckDate,FAmount,FOutCustID,FInCustID,FHint1,FStatus,fdeptid)\r\n"
            " Values( 1001,1050003,'CHK000001',5024,'2026-12-04','POS零售单日结生成',1,\r\n"
            "1,'2026-12-04',20,314,301,'应收',0,101)");
  EXPECT_EQ(Starting(sent, "insert into t_rp_Checkbillentry1"),
            "insert into t_rp_Checkbillentry1(FID,FIndex,FIsSelected,FSourceBillNo,FBillDate,FSourceClassTypeDesc,"
            "FBillAmount,FBillCheckAmount,FBillUnCheckAmount,FBillSettleAmount,FSourceBillID,FSourceClassTypeID,"
            "FInitItemID) \r\n"
            " Values(1001,1,1,'XOUT000001','2026-12-04','销售退货',-150,-130,-20,-20,1001,1030002,314)");
  EXPECT_NE(Starting(sent, "Insert into t_searchinfo_temp (FSearchText,FKey,FObjectId) values('[核销单-应收转应收] "),
            "") << "the check bill is indexed";
  EXPECT_EQ(data_.Text("select FSourceBillID from t_rp_Checkbillentry1 where FID=1001"), "1001");

  // A bill of one entry: one batch, and no check bill when none is asked for.
  auto one = entries_of({1500}, 1002);
  trace_.Clear();
  ASSERT_TRUE(SaveStockAndCheckBill(binding_, connection, header.get(), one.get(), false, 0,
                                    Date::FromParts(2026, 12, 4), stock_id, check_id));
  EXPECT_EQ(check_id, 1001) << "no check bill asked for: left as it was";
  EXPECT_TRUE(Starting(trace_.Records(), "\r\nInsert into t_CC_StockBillEntry") == "\r\n" + statement(*one, 1, 1002));

  // A statement beyond the limit goes alone, between batches; the limit
  // counts characters (a Chinese character is three bytes of UTF-8).
  const std::string a(1000, 'a'), long_one(4200, 'b'), c(1000, 'c');
  EXPECT_EQ(BatchStatements({a, long_one, c}),
            (std::vector<std::string>{"\r\n" + a, long_one, c}));
  std::string chinese;
  for (int i = 0; i < 1500; ++i) chinese += "日";
  EXPECT_EQ(BatchStatements({chinese, chinese, chinese}),
            (std::vector<std::string>{"\r\n" + chinese + "\r\n" + chinese, chinese}));
}

TEST_F(SentStatements, DailyBillHeaderEntriesAndStamping) {
  // Forty bills, of which only 21 and 22 exist: the entry statements fill more than one batch.
  std::string ids = "21,22";
  for (int id = 1000; id < 1038; ++id) ids += "," + std::to_string(id);
  trace_.Clear();
  std::string number = Close(ids);
  Records sent = trace_.Records();
  EXPECT_EQ(Starting(sent, "Insert into t_LS_DailyBill"),
            "Insert into t_LS_DailyBill(FClassTypeID,FBillNo,FDate,FEmpID,FInvoiceType,FClient,FTaxRate) \r\n"
            " Values(1090001,'" + number + "','2026-12-04','1',\r\n2021,314,13.5)");
  EXPECT_EQ(Starting(sent, "select FID from t_ls_DailyBill"),
            "select FID from t_ls_DailyBill where FBillNo='" + number + "'");
  EXPECT_EQ(Starting(sent, "Update t_LS_Retail"),
            "Update t_LS_Retail set FDailyBillID=1,FDailyBillNo='" + number + "'\r\n Where FID in (" + ids + ")");

  // Every entry statement once, in sID order, in two batches: the first is sent
  // before its counted length (CR LF not counted) would reach 4000.
  std::string all, id;
  size_t index = 0;
  for (std::istringstream list(ids); std::getline(list, id, ',');)
    all += "\r\nInsert into t_LS_DailyBillEntry (FID,FIndex,FID_SRC,FBillNo_SRC) \r\nselect 1," +
           std::to_string(index++) + ",FID,FBillNo from t_LS_Retail where FID=" + id;
  Records batches;
  for (const auto& r : sent)
    if (r.find("Insert into t_LS_DailyBillEntry") != std::string::npos) batches.push_back(r);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_TRUE(batches[0] + "\r\n" + batches[1] == all);
  const std::string statement = "\r\nInsert into";
  size_t counted = batches[0].size(), in_first = 0;
  for (size_t at = 0; (at = batches[0].find(statement, at)) != std::string::npos; at += 2, ++in_first) counted -= 2;
  EXPECT_LT(counted, 4000u);
  EXPECT_GE(counted + batches[1].find(statement), 4000u) << in_first << " statements in the first batch";
}

TEST_F(SentStatements, RollbackOfEachStage) {
  auto rollback = [&](int32_t stage, const std::string& number, int32_t stock, int32_t check, std::string& message) {
    trace_.Clear();
    RollbackClosing(binding_, stage, message, number, stock, check, "7,8");
    return trace_.Records();
  };
  const std::string daily = "delete from t_ls_dailybillEntry where FID in (select FID from t_ls_dailyBill where "
                            "FBillNo='RJ1')\r\ndelete from t_ls_dailybill where FBillNo='RJ1'\r\n";
  std::string message = "before";
  EXPECT_EQ(rollback(0, " RJ1 ", 5, 9, message), Records{"delete from t_ls_dailybill where FBillNo='RJ1'"});
  EXPECT_EQ(message, "生成日结单表头出错，日结失败");
  EXPECT_EQ(rollback(0, "  ", 0, 0, message), Records{});
  EXPECT_EQ(rollback(1, "RJ1", 5, 0, message),
            Records{"delete from t_cc_stockbill where FID=5\r\ndelete from t_cc_stockbillEntry where FID=5\r\n" +
                    daily});
  EXPECT_EQ(message, "生成销售单或核销单出错，日结失败");
  EXPECT_EQ(rollback(1, "RJ1", 0, 0, message), Records{daily});
  EXPECT_EQ(rollback(2, "RJ1", 0, 0, message), Records{daily});
  EXPECT_EQ(message, "生成日结单表体出错，日结失败");
  EXPECT_EQ(rollback(3, "RJ1", 5, 9, message),
            Records{"delete from t_rp_checkbill where FID=9\r\ndelete from t_rp_checkbillEntry1 where FID=9\r\n"
                    "delete from t_cc_stockbill where FID=5\r\ndelete from t_cc_stockbillEntry where FID=5\r\n" +
                    daily + "update t_ls_retail set FDailyBillID=0,FDailyBillNo='' where FID in (7,8)"});
  EXPECT_EQ(message, "更新零售单出错，日结失败");
  for (int32_t stage : {5, -1}) {
    message.clear();
    EXPECT_EQ(rollback(stage, "RJ1", 5, 9, message), Records{});
    EXPECT_EQ(message, "日结失败");
  }

  // A batch the database refuses: the stage's message stays, nothing is raised.
  data::InjectFaults(*Connection(), data::FaultInjector::OnText("delete", data::FaultInjector::Action::Fail));
  message.clear();
  rollback(2, "RJ1", 5, 9, message);
  EXPECT_EQ(message, "生成日结单表体出错，日结失败");
  message = "before";
  rollback(0, "RJ1", 0, 0, message);
  EXPECT_EQ(message, "before") << "stage 0 sets its message after the delete";
}

TEST_F(SentStatements, CancellationAndItsQueries) {
  Close();
  component::clsUnBalData cls;
  std::string message;
  trace_.Clear();
  ASSERT_TRUE(cls.UnBalData(hostlib::MakeRecordingSwitch(), host_.db(), "1", message)) << message;
  const std::string stock_key = "System=yw|BillID=1001|ClassTypeID=1030002|BillTypeID=3001|";
  const std::string check_key = "System=yw|BillID=1001|ClassTypeID=1050003|BillTypeID=5024|";
  EXPECT_EQ(trace_.Records(),
            (Records{
                "select FID_SRC,FID,FBillNo_SRC from t_cc_stockbillentry where FClassID_SRC=1090001 and FID_SRC in (1) "
                "group by FID_SRC,FID,FBillNo_SRC ",
                "select a.FID as FID  from t_cc_stockBill a inner join t_cc_stockbillEntry b on a.FID=b.FID \r\n"
                " where b.FClassID_Src=1090001 and b.FID_SRC in (1) group by a.FID ",
                "select a.FID,a.FBillNo from t_rp_checkbill a inner join t_rp_checkbillEntry1 b on a.FID=b.FID \r\n"
                " where isnull(a.FVoucherID,0)<>0 and b.FSourceClassTypeID=1030002 and b.FSourceBillID in (1001) "
                "Group by a.FID,a.FBillNo",
                "select FID,FBillNo from t_cc_Stockbill where isnull(FVoucherID,0)<>0 and FID in (1001) Group by "
                "FID,FBillNo",
                "Select top 1 1 from t_CC_stockBillEntry where FClassID_SRC=1030002 and FID_SRC=1001",
                "select top 1 1 from t_RP_RBillEntry where FSourceClassTypeID=1030002 and FSourceBillID=1001",
                "Select top 1 1 from t_RP_CheckBillentry2 where FSourceClassTypeID=1030002 and FSourceBillID=1001",
                "select distinct FID from t_rp_CheckBillEntry1 where FSourceClassTypeID=1030002 and FSourceBillID=1001",
                "Select top 1 1 from t_RP_RBillEntry where FSourceClassTypeID=1050003 and FSourceBillID=1001",
                "delete from t_RP_CheckBill where FID='1001'",
                "delete from t_RP_CheckBillEntry1 where FID='1001'",
                "delete from t_searchinfo_temp where FKey like '" + check_key +
                    "'\r\ninsert into t_searchinfo_temp (FKey,FSearchText,FObjectID,FAction) values('" + check_key +
                    "','',1,2)",
                "select FID,FBillNo,FCustID,FAllAmount,FBillTypeID from T_CC_StockBill where FID='1001'",
                "delete from T_CC_StockBill where FID='1001'",
                "delete from T_CC_StockBillEntry where FID='1001'",
                "delete from t_searchinfo_temp where FKey like '" + stock_key +
                    "'\r\nInsert into t_searchinfo_temp (FKey,FSearchText,FObjectID,FAction) values('" + stock_key +
                    "','',1,2)",
                "update T_LS_Retail set FDailyBillID=0,FDailyBillNo='' where FDailyBillID=1",
                "delete from t_LS_DailyBill where FID =1",
                "delete from t_LS_DailyBillEntry where FID =1"}));

  Close();
  std::string filter = "b.FBillNo like 'RJ%'", none;
  trace_.Clear();
  ASSERT_TRUE(cls.SetTotalData(host_.db(), filter));
  ASSERT_TRUE(cls.SetTotalData(host_.db(), none));
  ASSERT_TRUE(cls.SetDetailData(host_.db(), "2"));
  std::string by_bill = "c.FID=2";
  EXPECT_EQ(testing::SortedIds(cls.GetUnBalDataID(host_.db(), by_bill)), "20,21,22") << "in no particular order";
  EXPECT_EQ(
      trace_.Records(),
      (Records{"select b.FDate,b.FBillNo,b.FID from t_LS_DailyBill b Inner Join t_LS_DailyBillEntry be on b.FID=be.FID "
               "\r\n where b.FBillNo like 'RJ%'   group by b.FDate,b.FBillNo,b.FID",
               "select b.FDate,b.FBillNo,b.FID from t_LS_DailyBill b Inner Join t_LS_DailyBillEntry be on b.FID=be.FID "
               "\r\n where 1=1   group by b.FDate,b.FBillNo,b.FID",
               "select a.FID,a.FID_SRC,a.FBillNo_SRC,Convert(varchar(20),e.FDate,23) as FDate,c.FName as FBranchShop,"
               "d.FName as FCashier,isnull(f.FSettleAmount,0) as FSettleAmount From t_LS_DailyBillEntry a Inner Join "
               "t_LS_DailyBill b on a.FID = b.FID Inner Join t_LS_Retail e on a.FID_SRC = e.FID  left Join (select "
               "FID,sum(FSettleAmount) as FSettleAmount from t_LS_RetailEntry2 group by FID) f on e.FID=f.FID  Inner "
               "Join t_LS_BranchShop c on e.FBranchShop=c.FItemID  Inner Join t_LS_Cashier d on e.FCashier=d.FItemID "
               "Where a.FID=2",
               "select a.FID from T_LS_Retail a \r\n Inner Join t_LS_DailyBill c on a.FDailyBillID=c.FID Where 1=1 "
               " And c.FID=2"}));
}

}  // namespace
}  // namespace tovan::closing
