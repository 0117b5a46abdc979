// The stages a closing runs before it writes its bills: the aggregation of
// the goods lines, the batch allocation, the reconciliation of the entry
// amounts and the search-index texts.
#include <gtest/gtest.h>

#include <map>

#include "closing/aggregation.h"
#include "closing/batch_allocation.h"
#include "closing/entry_amounts.h"
#include "closing/search_index.h"
#include "closing/stock_bill_assembly.h"
#include "closing/stock_bill_saving.h"
#include "platform/automation/error.h"
#include "platform/host/data_context.h"
#include "tests/closing/closing_test_data.h"

namespace tovan::closing {
namespace {

using automation::CStr;
using automation::Date;
using automation::Variant;
using testing::ClosingData;
using testing::List;
using testing::Record;

// "key=value ..." of a record, in key order.
std::string Describe(const foundation::Dictionary& record) {
  std::string out;
  for (const auto& [key, value] : record.entries())
    out += key + "=" + (value.IsNull() ? std::string("NULL") : CStr(value)) + " ";
  return out;
}

class ClosingStages : public ::testing::Test {
 protected:
  std::shared_ptr<data::Connection> Connection() {
    binding_.OpenDataContext(host_.db());
    return binding_.GetConnection();
  }

  testing::HostFixture host_{testing::SmallDemo(0)};
  ClosingData data_{host_};
  // No call scope: every statement commits at once, so the checks below see it.
  component::ContextBinding binding_;
};

TEST_F(ClosingStages, AggregationRegroupsInBaseUnitsWithMagnitudes) {
  data_.Bill(21, 0);
  data_.Bill(22, 0, 0, 2);
  data_.Line(21, 1101, 2, 40, 2, 12);  // two dozen
  data_.Line(22, 1101, 5, 10);         // five pieces of the same item
  data_.Line(21, 1102, 4, 100);
  data_.Line(22, 1102, -1, -30);  // nets with the line above
  data_.Line(22, 1103, -3, -9);   // a return line alone
  data_.Line(21, 1104, 1, 3.5, 1, 1, 205);  // custody stock: no cost
  data_.Line(21, 1104, 1, 3.5);
  auto connection = Connection();

  for (int run = 0; run < 2; ++run) {  // the second run drops and rebuilds #0408
    auto result = AggregateRetailLines(binding_, connection, "21,22");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->Count(), 6);
    std::map<std::string, std::string> lines;
    for (int32_t p = 1; p < result->UpperBound(); ++p) {
      auto line = result->Record(p);
      lines[CStr(line->Value("FItemID")) + "@" + CStr(line->Value("FStock"))] = Describe(*line);
    }
    EXPECT_EQ(lines["1101@202"],
              "FItemID=1101 FShowUnitID=1 FCoefficient=1 FStock=202 FAuxPropID=0 FAmount=50 FShowQty=29 FQty=29 "
              "FTypeID=500 FIsBatchManager=False FUnitID=1 FSecUnitID=3 FSecCoefficient=24 FTaxRate=17 "
              "FCostPrice=1.4 ");
    EXPECT_NE(lines["1102@202"].find("FAmount=70 FShowQty=3 FQty=3 "), std::string::npos) << lines["1102@202"];
    EXPECT_NE(lines["1103@202"].find("FAmount=9 FShowQty=3 FQty=3 "), std::string::npos) << lines["1103@202"];
    EXPECT_NE(lines["1104@205"].find("FTypeID=502 "), std::string::npos);
    EXPECT_NE(lines["1104@205"].find("FCostPrice=0 "), std::string::npos) << lines["1104@205"];
    EXPECT_NE(lines["1104@202"].find("FCostPrice=2.45 "), std::string::npos) << lines["1104@202"];
    EXPECT_EQ(Describe(*result->Record(result->UpperBound())), "FTotalAmount=118 ");
  }

  // Bills without goods lines: the total alone, Null.
  data_.Bill(23, 0);
  auto empty = AggregateRetailLines(binding_, connection, "23");
  ASSERT_TRUE(empty);
  ASSERT_EQ(empty->Count(), 1);
  EXPECT_TRUE(empty->Record(1)->Value("FTotalAmount").IsNull());

  EXPECT_FALSE(AggregateRetailLines(binding_, connection, "21,")) << "not an SQL list";
  EXPECT_FALSE(AggregateRetailLines(binding_, nullptr, "21"));
}

TEST_F(ClosingStages, SettlementSumIsSignedAndZeroWhenNothingMatches) {
  data_.Bill(21, 0);
  data_.Settle(21, 0, 20);
  data_.Settle(21, 3, -5.5);
  data_.Settle(21, 1, 100);
  auto connection = Connection();
  EXPECT_DOUBLE_EQ(SumSettleAmount(binding_, connection, "FID in (21)", "0,3,4"), 14.5);
  EXPECT_DOUBLE_EQ(SumSettleAmount(binding_, connection, "FID in (21)", "3"), -5.5);
  EXPECT_EQ(SumSettleAmount(binding_, connection, "FID in (21)", "4"), 0) << "a Null sum";
  EXPECT_EQ(SumSettleAmount(binding_, connection, "FID in (21)", ""), 0) << "the statement ends in Where";
  EXPECT_EQ(SumSettleAmount(binding_, nullptr, "FID in (21)", "0,3,4"), 0);
}

TEST_F(ClosingStages, BatchAllocationByMode) {
  using Batches = std::initializer_list<std::pair<const char*, double>>;
  for (auto [batch, qty] : Batches{{"A", 4}, {"B", 3}, {"C", 8}}) data_.Stock(1107, qty, batch);
  for (auto [batch, qty] : Batches{{"D", 6}, {"A", 4}, {"B", 0}, {"C", -2}}) data_.Stock(1108, qty, batch);
  data_.Stock(1109, 1.25, "A");
  data_.Stock(1109, 1.25, "B");
  data_.Exec("UPDATE t_CC_Inventory SET FKFDate='2026-01-02', FKFPeriod=270, FPeriodDate='2026-09-29' "
             "WHERE FBatchNo='A'");
  auto connection = Connection();
  auto allocate = [&](int32_t item, double qty, const char* mode) {
    auto rows = AllocateBatches(binding_, connection, item, 0, 202, qty, mode);
    if (!rows) return std::string("null");
    std::string out;
    for (int32_t p = 1; p <= rows->UpperBound(); ++p)
      out += CStr(rows->Record(p)->Value("FBatchNo")) + ":" + CStr(rows->Record(p)->Value("FQty")) + " ";
    return out;
  };
  EXPECT_EQ(allocate(1107, 10, "1"), "A:4 B:3 C:3 ");
  EXPECT_EQ(allocate(1107, 20, "1"), "A:4 B:3 C:8 ") << "the shortfall is not allocated";
  EXPECT_EQ(allocate(1107, 4, "1"), "A:4 ");
  EXPECT_EQ(allocate(1107, 0, "1"), "A:0 ");
  EXPECT_EQ(allocate(1108, 10, "1"), "A:4 D:6 ") << "batches without stock are not read";
  EXPECT_EQ(allocate(1108, 7, "2"), "A:7 ");
  EXPECT_EQ(allocate(1108, 1, "3"), "A:4 B:0 C:-2 D:6 ") << "any other mode takes every batch whole";
  EXPECT_EQ(allocate(1109, 2.5, "1"), "A:1.25 B:1.25 ");
  EXPECT_EQ(allocate(1110, 5, "1"), "");
  EXPECT_EQ(allocate(1110, 5, "2"), "");

  data_.Exec("UPDATE t_CC_Inventory SET FQty=-1 WHERE FItemID=1108 AND FBatchNo='A'");
  EXPECT_EQ(allocate(1108, 7, "2"), "A:7 ") << "whatever the first batch holds";

  auto rows = AllocateBatches(binding_, connection, 1107, 0, 202, 2, "1");
  ASSERT_TRUE(rows);
  EXPECT_EQ(Describe(*rows->Record(1)),
            "FQty=2 FBatchNo=A FKFDate=2026-01-02 FPeriodDate=2026-09-29 FKFPeriod=270 ");
  EXPECT_FALSE(AllocateBatches(binding_, nullptr, 1107, 0, 202, 2, "1"));
}

// An aggregated line as the aggregation packages it: every value text.
std::shared_ptr<foundation::Dictionary> AggregatedLine(const std::string& item, const std::string& amount,
                                                       const std::string& qty, const std::string& batch_managed,
                                                       const std::string& coefficient = "1",
                                                       const std::string& sec_coefficient = "24") {
  return Record({{"FItemID", Variant(item)},          {"FShowUnitID", Variant("1")},
                 {"FCoefficient", Variant(coefficient)}, {"FStock", Variant("202")},
                 {"FAuxPropID", Variant("0")},         {"FAmount", Variant(amount)},
                 {"FShowQty", Variant(qty)},           {"FQty", Variant(qty)},
                 {"FTypeID", Variant("500")},          {"FIsBatchManager", Variant(batch_managed)},
                 {"FUnitID", Variant("1")},            {"FSecUnitID", Variant("3")},
                 {"FSecCoefficient", Variant(sec_coefficient)}, {"FTaxRate", Variant("13")},
                 {"FCostPrice", Variant("1.4")}});
}

TEST_F(ClosingStages, StockBillHeaderFromTheSettlementRecords) {
  ClosingParameters parameters;
  parameters.bill_type = "1";
  parameters.bal_date = Date::FromParts(2026, 12, 4);
  parameters.invoice_type = "2020";
  parameters.client = "314";
  parameters.dept_id = 101;
  auto settle = [](double amount, const char* item, Variant account) {
    return Record(
        {{"FSettleAmount", Variant(amount)}, {"FSettleItemID", Variant(item)}, {"FSettleAcctItemID", account}});
  };
  parameters.settlements = List({settle(-50, "2", Variant("3")), settle(30, "1", Variant("0")),
                                 settle(20, "5", Variant("4")), settle(10, "3", Variant(""))});
  binding_.OpenDataContext(host_.db());
  EXPECT_EQ(Describe(*AssembleHeader(binding_, parameters)),
            "FCustID=314 FCurPayID=314 FClassTypeID=1030002 FDate=2026-12-04 FCheckDate=2026-12-04 "
            "FSettleLimitDate=2026-12-04 FBillTypeID=3001 FBillerID=1 FCheckerID=1 FExplanation=POS零售单日结生成 "
            "fdeptid=101 FAllAmount=110 FAcctNo=4 FCurPayAmount=50 FCurCheckAmount=50 FBalanceStyle=0 FCheckAmount=50 "
            "FUnCheckAmount=60 FInvoiceType=2020 FStatus=0 ");

  // Nothing paid at once: no check amount, all of it unchecked; the first record's account.
  parameters.bill_type = "2";
  parameters.settlements = List({settle(-50, "2", Variant("3")), settle(10, "3", Variant("2"))});
  auto returns = AssembleHeader(binding_, parameters);
  EXPECT_EQ(CStr(returns->Value("FBillTypeID")), "3002");
  EXPECT_FALSE(returns->Exists("FCheckAmount"));
  EXPECT_EQ(CStr(returns->Value("FUnCheckAmount")), "60");
  EXPECT_EQ(CStr(returns->Value("FAcctNo")), "3");

  parameters.settlements = List({});
  EXPECT_THROW(AssembleHeader(binding_, parameters), automation::AutomationError);
  parameters.settlements = nullptr;
  EXPECT_THROW(AssembleHeader(binding_, parameters), automation::AutomationError);
}

TEST_F(ClosingStages, StockBillEntriesPerBatchWithUnitPrices) {
  data_.Stock(1107, 3, "B1");
  data_.Stock(1107, 5, "B2");
  auto connection = Connection();
  ClosingParameters parameters;
  parameters.bill_type = "1";
  parameters.invoice_type = "2020";
  parameters.tax = 17;
  auto events = hostlib::MakeRecordingSwitch();
  auto aggregated = List({AggregatedLine("1101", "117", "10", "False"),
                          AggregatedLine("1107", "40", "4", "True", "1", "0"), Record({{"FTotalAmount", Variant(157.0)}})});
  auto assembled = AssembleEntries(binding_, connection, parameters, *aggregated, 0, 157, "RJ1", "7", events);
  ASSERT_TRUE(assembled.entries);
  ASSERT_EQ(assembled.entries->Count(), 3);
  EXPECT_EQ(Describe(*assembled.entries->Record(1)),
            "FItemID=1101 FUnitID=1 FShowUnitID=1 FCoefficient=1 FAuxPropID=0 FSCStockID=202 FQty=10 FShowQty=10 "
            "FUnRejectQty=10 FBatchNo= FKFPeriod=0 FKFDate=1900-01-01 FPeriodDate=1900-01-01 FCostPrice=1.4 "
            "FCostAmount=14 FDiscountAmount=0 FDiscountRate=100 FInTaxAmount=117 FAmount=100 FTaxAmount=17 "
            "FTaxPrice=11.7 FPriceDiscount=10 FPrice=10 FSecUnitID=3 FSecCoefficient=24 FSecQty=0.416666666666667 "
            "FUnRejectAuxQty=0.416666666666667 FSecPrice=240 FTaxRate=17 FClassID_SRC=1090001 FBillNo_SRC=RJ1 "
            "FID_SRC=7 ");
  // Two batches, the same unit prices, each entry's amounts from its own quantity.
  for (auto [p, expected] : {std::pair<int32_t, const char*>{2, "B1 3 30 25.64 4.36 10 8.5475 0"},
                             {3, "B2 1 10 8.55 1.45 10 8.5475 0"}}) {
    auto e = assembled.entries->Record(p);
    std::string got;
    for (const char* key :
         {"FBatchNo", "FQty", "FInTaxAmount", "FAmount", "FTaxAmount", "FTaxPrice", "FPrice", "FSecQty"})
      got += (got.empty() ? "" : " ") + CStr(e->Value(key));
    EXPECT_EQ(got, expected);
  }
  EXPECT_EQ(testing::Events(events), (std::vector<std::string>{"SetProgressValue:1", "SetProgressValue:2"}));

  // A deductible total of 30 over 300 takes 10 % off; another invoice type bears no tax.
  parameters.invoice_type = "2021";
  auto lines = List({AggregatedLine("1101", "100", "0", "False", "0"), Record({{"FTotalAmount", Variant(300.0)}})});
  auto reduced = AssembleEntries(binding_, connection, parameters, *lines, 30, 300, "RJ1", "7", events);
  ASSERT_TRUE(reduced.entries);
  auto e = reduced.entries->Record(1);
  std::string got;
  for (const char* key : {"FInTaxAmount", "FAmount", "FTaxAmount", "FTaxRate", "FTaxPrice", "FPrice"})
    got += (got.empty() ? "" : " ") + CStr(e->Value(key));
  EXPECT_EQ(got, "90 90 0 0 90 90")
      << "quantity 0: the prices are the amounts";

  // A batch-managed line without stock to allocate stops the assembly.
  auto unstocked = List({AggregatedLine("1108", "5", "1", "True"), Record({{"FTotalAmount", Variant(5.0)}})});
  auto stopped = AssembleEntries(binding_, connection, parameters, *unstocked, 0, 5, "RJ1", "7", events);
  EXPECT_FALSE(stopped.entries);
  ASSERT_TRUE(stopped.unallocated);
  EXPECT_EQ(stopped.unallocated->item_id, "1108");
  EXPECT_THROW(AssembleEntries(binding_, connection, parameters, *lines, 0, 300, "RJ1", "7", nullptr),
               automation::AutomationError)
      << "no events switch";
}

std::shared_ptr<foundation::Dictionary> Entry(double in_tax, double qty = 2, double tax_rate = 17) {
  return Record({{"FQty", Variant(qty)},
                 {"FPrice", Variant(0.0)},
                 {"FPriceDiscount", Variant(0.0)},
                 {"FDiscountRate", Variant(int16_t{100})},
                 {"FInTaxAmount", Variant(in_tax)},
                 {"FAmount", Variant(0.0)},
                 {"FTaxRate", Variant(tax_rate)},
                 {"FSecCoefficient", Variant(24.0)}});
}

std::string InTaxAmounts(const foundation::Vector& entries) {
  std::string out;
  for (int32_t p = 1; p <= entries.UpperBound(); ++p) out += CStr(entries.Record(p)->Value("FInTaxAmount")) + " ";
  return out;
}

TEST(EntryAmounts, TheDifferenceGoesToOneEntryThatMovesToTheEnd) {
  auto header = Record({{"FAllAmount", Variant(100.0)}});
  auto entries = List({Entry(33.33), Entry(33.33), Entry(33.33)});
  ReconcileEntryAmounts(header.get(), entries.get());
  auto last = entries->Record(3);
  EXPECT_EQ(Describe(*last),
            "FQty=2 FPrice=14.25 FPriceDiscount=14.25 FDiscountRate=100 FInTaxAmount=33.34 FAmount=28.5 FTaxRate=17 "
            "FSecCoefficient=24 FTaxAmount=4.84 FTaxPrice=16.67 FSecPrice=342 ");

  // Already equal: nothing moves.
  auto same = List({Entry(60), Entry(40)});
  ReconcileEntryAmounts(header.get(), same.get());
  EXPECT_EQ(InTaxAmounts(*same), "60 40 ");
  EXPECT_EQ(CStr(same->Record(2)->Value("FAmount")), "0");

  // A last entry of 0 passes the difference to the last positive one, which goes last.
  auto zero_last = List({Entry(40, 1), Entry(50, 0, 0), Entry(0)});
  ReconcileEntryAmounts(header.get(), zero_last.get());
  EXPECT_EQ(InTaxAmounts(*zero_last), "40 0 60 ");
  EXPECT_EQ(CStr(zero_last->Record(3)->Value("FAmount")), "60") << "tax rate 0";
  EXPECT_EQ(CStr(zero_last->Record(3)->Value("FTaxAmount")), "0");
  EXPECT_EQ(CStr(zero_last->Record(3)->Value("FPrice")), "60") << "quantity 0";
  EXPECT_EQ(CStr(zero_last->Record(3)->Value("FTaxPrice")), "60");

  // Nothing positive: the first entry takes it.
  auto zeros = List({Entry(0, 1, 0), Entry(0, 1, 0)});
  ReconcileEntryAmounts(header.get(), zeros.get());
  EXPECT_EQ(InTaxAmounts(*zeros), "0 100 ");

  // Above the total: the last entry is lowered.
  auto above = List({Entry(60.004, 1, 0), Entry(40.01, 1, 0)});
  ReconcileEntryAmounts(header.get(), above.get());
  EXPECT_EQ(InTaxAmounts(*above), "60.004 40 ");

  auto untouched = List({Entry(1)});
  ReconcileEntryAmounts(Record({}).get(), untouched.get());
  ReconcileEntryAmounts(header.get(), List({}).get());
  EXPECT_EQ(InTaxAmounts(*untouched), "1 ");
}

TEST(EntryBatches, BatchesStayBelowFourThousandCharacters) {
  const std::string a(1500, 'a'), b(1500, 'b'), c(1500, 'c'), long_one(4200, 'L'), half(2000, 'h');
  EXPECT_EQ(BatchStatements({a, b, c}), (std::vector<std::string>{"\r\n" + a + "\r\n" + b, c}));
  EXPECT_EQ(BatchStatements({long_one}), (std::vector<std::string>{"\r\n" + long_one}));
  EXPECT_EQ(BatchStatements({a, long_one, b}), (std::vector<std::string>{"\r\n" + a, long_one, b}));
  EXPECT_EQ(BatchStatements({half, half}), (std::vector<std::string>{"\r\n" + half, half})) << "4000 is reached";
  EXPECT_TRUE(BatchStatements({}).empty());
}

TEST_F(ClosingStages, SearchTextsFollowTheCaptionsAndLookUpNames) {
  auto header = Record({{"FExplanation", Variant("店'内")},
                        {"FClassTypeID", Variant(int32_t{1030002})},
                        {"FBillTypeID", Variant(int32_t{3001})},
                        {"FCustID", Variant("304")},
                        {"FBillerID", Variant(int16_t{1})},
                        {"FCheckerID", Variant(int16_t{1})},
                        {"FDate", Variant(Date::FromParts(2026, 12, 4))},
                        {"fdeptid", Variant(int32_t{0})},
                        {"FInvoiceType", Variant("2021")},
                        {"FAcctNo", Variant(int32_t{99})},
                        {"FAllAmount", Variant(100.5)},
                        {"FCurPayAmount", Variant(int32_t{0})}});
  auto entries = List({Record({{"FTaxAmount", Variant(int32_t{0})},
                               {"FQty", Variant(2.0)},
                               {"FSCStockID", Variant("202")},
                               {"FUnitID", Variant("1")},
                               {"FAuxPropID", Variant("0")},
                               {"FItemID", Variant("1101")}}),
                       Record({{"FItemID", Variant("9999")}, {"FUnitID", Variant("99")}})});
  auto connection = Connection();
  AddBillSearchIndex(binding_, connection, entries.get(), header.get(), "77", "XOUT9");
  EXPECT_EQ(data_.Text("select FSearchText from t_searchinfo_temp where "
                       "FKey='System=yw|BillID=77|ClassTypeID=1030002|BillTypeID=3001|'"),
            "[销售单-销售发货] 单据编号*:XOUT9 日期*:2026-12-04 购货单位*:浦东新星超市 部门*: 发票类型*:普通发票 "
            "结算账户*: 摘要*:店'内 价税合计*:100.5 本次收款*: "
            "商品代码*:01.001 商品名称*:矿泉水 规格型号*:550ml 辅助属性*:无 单位*:瓶 数量*:2 发货仓库*:中心店仓 税额*:0 "
            "商品代码*: 商品名称*: 规格型号*: 单位*: ");

  // Without a class type there is no text to make.
  auto no_class = Record({{"FCustID", Variant("304")}});
  AddBillSearchIndex(binding_, connection, entries.get(), no_class.get(), "78", "XOUT10");
  EXPECT_EQ(data_.Text("select count(*) from t_searchinfo_temp"), "1");

  auto check = Record({{"FDate", Variant(Date::FromParts(2026, 12, 4))},
                       {"FOutCustId", Variant("314")},
                       {"FInCustID", Variant(int32_t{99999})},
                       {"FExplanation", Variant("POS零售单日结生成")},
                       {"FSouceBillNo", Variant("XOUT9")},
                       {"FBillDate", Variant(Date::FromParts(2026, 12, 4))},
                       {"FSourceClassTypeDesc", Variant("销售发货")},
                       {"FBillAmount", Variant(150.0)},
                       {"FBillCheckAmount", Variant(130.0)},
                       {"FBillUnCheckAmount", Variant(20.0)},
                       {"FBillSettleAmount", Variant(20.0)}});
  AddCheckBillSearchIndex(connection, check.get(), "88", "CHK9");
  EXPECT_EQ(data_.Text("select FSearchText from t_searchinfo_temp where "
                       "FKey='System=yw|BillID=88|ClassTypeID=1050003|BillTypeID=5024|'"),
            "[核销单-应收转应收] 单据编号*:CHK9 日期*:2026-12-04 转出客户*:零售客户 转入客户*: 摘要*:POS零售单日结生成 "
            "源单编号*:XOUT9 单据日期*:2026-12-04 源单类型*:销售发货 单据金额*:150 已核销金额*:130 未核销金额*:20 "
            "本次核销金额*:20 备注*: ");
}

}  // namespace
}  // namespace tovan::closing
