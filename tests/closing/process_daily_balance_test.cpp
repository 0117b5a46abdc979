// ProcessDailyBalance through clsData: what a closing writes, and what each
// failing stage leaves behind.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "closing/closing_driver.h"
#include "component/cls_data.h"
#include "platform/data/backend_wrappers.h"
#include "platform/host/data_context.h"
#include "tests/closing/closing_test_data.h"

namespace tovan::closing {
namespace {

using automation::Date;
using automation::Variant;
using testing::Closing;
using testing::ClosingData;
using testing::SalesDay;

std::string DailyNumberPrefix() {
  auto today = Date::Now().ToParts();
  return fmt::format("RJ{:04}{:02}{:02}", today.year, today.month, today.day);
}

TEST(ProcessDailyBalance, ClosesTheBillsIntoOneDailyBillAndAnAuditedStockBill) {
  testing::HostFixture host(testing::SmallDemo(0));
  ClosingData data(host);
  SalesDay(data);
  Closing closing;
  ASSERT_TRUE(closing.Run(host)) << closing.message;
  EXPECT_EQ(closing.message, "日结成功");

  std::string number = data.Text("select FBillNo from t_LS_DailyBill");
  EXPECT_EQ(number, DailyNumberPrefix() + "000001");
  std::string daily_id = data.Text("select FID from t_LS_DailyBill");
  EXPECT_EQ(data.Rows("select FDate, FEmpID, FInvoiceType, FClient, FTaxRate from t_LS_DailyBill"),
            "2026-12-04|1|2021|314|13.5");
  EXPECT_EQ(data.Rows("select FIndex, FID_SRC, FBillNo_SRC from t_LS_DailyBillEntry order by FIndex"),
            "0|22|LS000022,1|20|LS000020,2|21|LS000021");
  EXPECT_EQ(data.Rows("select FDailyBillID, FDailyBillNo from t_LS_Retail order by FID"),
            fmt::format("{0}|{1},{0}|{1},{0}|{1}", daily_id, number));

  // The stock bill: audited, its entries adding up to its total, one per batch taken.
  std::string stock_id = data.Text("select FID from t_cc_stockbill");
  EXPECT_EQ(data.Rows("select FBillTypeID, FStatus, FCustID, FAllAmount, FCurPayAmount, FCheckAmount, "
                      "FUnCheckAmount, FAcctNo, FDeptID, FInvoiceType, FDate from t_cc_stockbill"),
            "3001|1|314|180|160|160|20|1|101|2021|2026-12-04");
  EXPECT_EQ(data.Text("select round(sum(FInTaxAmount), 2) from t_CC_StockBillEntry"), "180");
  EXPECT_EQ(data.Rows("select FItemID, FBatchNo, FQty from t_CC_StockBillEntry order by FItemID, FBatchNo"),
            "1101||34,1102||3,1107|B1|3,1107|B2|1");
  EXPECT_EQ(data.Rows("select distinct FClassID_SRC, FID_SRC, FBillNo_SRC from t_CC_StockBillEntry"),
            "1090001|" + daily_id + "|" + number);
  EXPECT_EQ(data.Rows("select FIndex from t_CC_StockBillEntry order by FIndex"), "1,2,3,4");
  EXPECT_EQ(data.Rows("select FItemID, FBatchNo, FQty from t_CC_Inventory order by FItemID, FBatchNo"),
            "1101||66,1102||7,1107|B1|0,1107|B2|4");

  // The check bill turns the unpaid 20 over to customer 301 and is written off.
  EXPECT_EQ(data.Rows("select FAmount, FOutCustID, FInCustID, FStatus from t_rp_Checkbill"),
            "20|314|301|1");
  EXPECT_EQ(data.Text("select FSourceBillID from t_rp_Checkbillentry1"), stock_id);
  std::string check_id = data.Text("select FID from t_rp_Checkbill");
  EXPECT_EQ(data.Rows("select FKey from t_searchinfo_temp where FSearchText<>'' order by FKey"),
            "System=yw|BillID=" + stock_id + "|ClassTypeID=1030002|BillTypeID=3001|,System=yw|BillID=" + check_id +
                "|ClassTypeID=1050003|BillTypeID=5024|");

  // Progress: the total record counts in the maximum; one value per aggregated line.
  EXPECT_EQ(testing::Events(closing.events),
            (std::vector<std::string>{"ShowProgressText:", "ShowProgressText:正在进行处理...", "SetProgressMax:4",
                                      "SetProgressMin:0", "SetProgressValue:0", "SetProgressValue:1",
                                      "SetProgressValue:2", "SetProgressValue:3"}));
}

TEST(ProcessDailyBalance, ReturnsComeBackIntoTheFirstBatch) {
  testing::HostFixture host(testing::SmallDemo(0));
  ClosingData data(host);
  SalesDay(data, 2);
  Closing closing;
  closing.bill_type = "2";
  ASSERT_TRUE(closing.Run(host)) << closing.message;
  EXPECT_EQ(data.Text("select FBillTypeID from t_cc_stockbill"), "3002");
  EXPECT_EQ(data.Rows("select FBatchNo, FQty from t_CC_StockBillEntry where FItemID=1107"), "B1|4");
  EXPECT_EQ(data.Rows("select FBatchNo, FQty from t_CC_Inventory where FItemID=1107 order by FBatchNo"),
            "B1|7,B2|5");
  EXPECT_EQ(data.Rows("select FSourceClassTypeDesc, FBillAmount, FBillUnCheckAmount from t_rp_Checkbillentry1"),
            "销售退货|-180|-20");
  EXPECT_EQ(data.Text("select FAmount from t_rp_Checkbill"), "20");
}

// Each failure undoes the closing: the tables are as before but for the
// counters behind numbers and IDs and the index rows already written.
TEST(ProcessDailyBalance, EveryFailingStageRemovesWhatItWrote) {
  struct Case {
    const char* name;
    std::function<void(ClosingData&, Closing&, const testing::HostFixture&)> arrange;
    const char* message;
  };
  const auto fail_on = [](const testing::HostFixture& host, const char* text) {
    data::InjectFaults(*host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(host.db()),
                       data::FaultInjector::OnText(text, data::FaultInjector::Action::Fail));
  };
  const Case cases[] = {
      {"total amount 0", [](ClosingData& d, Closing&, auto&) { d.Exec("UPDATE T_LS_RetailEntry SET FBalAmount=0"); },
       "生成日结单表头出错，日结失败"},
      {"no goods lines", [](ClosingData&, Closing& c, auto&) { c.ids = "99"; }, "生成日结单表头出错，日结失败"},
      {"no settlement records", [](ClosingData&, Closing& c, auto&) { c.vec = foundation::Vector::Create(); },
       "生成日结单表头出错，日结失败"},
      {"no events switch", [](ClosingData&, Closing& c, auto&) { c.events = nullptr; }, "生成日结单表头出错，日结失败"},
      {"audit refused",
       [](ClosingData& d, Closing&, auto&) { d.Exec("UPDATE t_CC_Inventory SET FQty=10 WHERE FItemID=1101"); },
       "生成销售单或核销单出错，日结失败"},
      {"write-off refused", [](ClosingData&, Closing& c, auto&) { c.in_customer = 99999; },
       "生成销售单或核销单出错，日结失败"},
      // Forty ids fill more than one batch: the first is sent, and refused, inside the loop.
      {"entry batch refused",
       [&](ClosingData&, Closing& c, auto& h) {
         for (int id = 1000; id < 1037; ++id) c.ids += "," + std::to_string(id);
         fail_on(h, "Insert into t_LS_DailyBillEntry");
       },
       "生成日结单表体出错，日结失败"},
      // The last batch is sent after the loop; its failure is seen with the stamping's.
      {"last entry batch refused",
       [&](ClosingData&, Closing&, auto& h) { fail_on(h, "Insert into t_LS_DailyBillEntry"); },
       "更新零售单出错，日结失败"},
      {"stamping refused", [&](ClosingData&, Closing&, auto& h) { fail_on(h, "Update t_LS_Retail set FDailyBillID="); },
       "更新零售单出错，日结失败"},
      {"no batch to allocate",
       [](ClosingData& d, Closing&, auto&) { d.Exec("DELETE FROM t_CC_Inventory WHERE FItemID=1107"); },
       "商品(内码1107)没有可分配的批次库存，日结失败"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::HostFixture host(testing::SmallDemo(0));
    ClosingData data(host);
    SalesDay(data);
    Closing closing;
    c.arrange(data, closing, host);
    const std::vector<std::string> changing = {"t_searchinfo_temp", "t_ICMaxNum", "t_BillCodeRule"};
    std::string before = host.Dump(changing);
    EXPECT_FALSE(closing.Run(host));
    EXPECT_EQ(closing.message, c.message);
    EXPECT_TRUE(host.Dump(changing) == before) << host.Dump(changing);
  }
  EXPECT_EQ(UnallocatedMessage("1107"), "商品(内码1107)没有可分配的批次库存，日结失败");
}

TEST(ProcessDailyBalance, SettlementRecordsFailAtTheStageThatReadsThem) {
  using testing::Record;
  auto settlements = [](Variant item, Variant amount, std::optional<Variant> account) {
    auto paid = Record({{"FSettleAmount", amount}, {"FSettleItemID", item}});
    if (account) paid->SetValue("FSettleAcctItemID", *account);
    return testing::List({paid, Record({{"FSettleAmount", Variant(-20.0)}, {"FSettleItemID", Variant("3")},
                                        {"FSettleAcctItemID", Variant("0")}})});
  };
  struct Case {
    const char* name;
    std::shared_ptr<foundation::Vector> vec;
    const char* message;
  };
  const Case cases[] = {
      // The header reads the account of its first record: a key it lacks fails the header.
      {"no account key", settlements(Variant("1"), Variant(160.0), std::nullopt), "生成日结单表头出错，日结失败"},
      // An account that is no id is refused where the stock bill would write it.
      {"account with a quote", settlements(Variant("1"), Variant(160.0), Variant("1' || '")),
       "生成销售单或核销单出错，日结失败"},
      {"account carrying a statement", settlements(Variant("1"), Variant(160.0), Variant("1;delete from t_LS_Retail")),
       "生成销售单或核销单出错，日结失败"},
      {"amount that is no number", settlements(Variant("1"), Variant("16O"), Variant("1")),
       "生成日结单表头出错，日结失败"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::HostFixture host(testing::SmallDemo(0));
    ClosingData data(host);
    SalesDay(data);
    Closing closing;
    closing.vec = c.vec;
    const std::vector<std::string> changing = {"t_searchinfo_temp", "t_ICMaxNum", "t_BillCodeRule"};
    std::string before = host.Dump(changing);
    EXPECT_FALSE(closing.Run(host));
    EXPECT_EQ(closing.message, c.message);
    EXPECT_TRUE(host.Dump(changing) == before) << host.Dump(changing);
  }

  // Numeric text is the number it holds: item "1.0" is paid at once, "160.0" is its amount.
  testing::HostFixture host(testing::SmallDemo(0));
  ClosingData data(host);
  SalesDay(data);
  Closing closing;
  closing.vec = settlements(Variant("1.0"), Variant("160.0"), Variant("1"));
  ASSERT_TRUE(closing.Run(host)) << closing.message;
  EXPECT_EQ(data.Rows("select FCurPayAmount, FCheckAmount, FAcctNo from t_cc_stockbill"), "160|160|1");
}

}  // namespace
}  // namespace tovan::closing
