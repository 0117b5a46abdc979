// Cancelling closings through clsUnBalData: what is given back, what is
// refused, the voucher texts and the queries that list closed bills.
#include <gtest/gtest.h>

#include "component/cls_un_bal_data.h"
#include "platform/data/backend_wrappers.h"
#include "platform/host/data_context.h"
#include "tests/closing/closing_test_data.h"

namespace tovan::cancel {
namespace {

using automation::CStr;
using automation::Variant;
using testing::Closing;
using testing::ClosingData;

const std::vector<std::string> kChanging = {"t_searchinfo_temp", "t_ICMaxNum", "t_BillCodeRule"};

std::string Keys(const foundation::Vector& list) {
  std::string out;
  for (int32_t p = 1; p <= list.UpperBound(); ++p) {
    for (const auto& [key, value] : list.Record(p)->entries()) out += key + "=" + CStr(value) + " ";
    out += ";";
  }
  return out;
}

TEST(UnBalData, CloseThenCancelGivesEverythingBack) {
  testing::HostFixture host(testing::SmallDemo(0));
  ClosingData data(host);
  testing::SalesDay(data);
  std::string before = host.Dump(kChanging);
  Closing closing;
  ASSERT_TRUE(closing.Run(host)) << closing.message;
  std::string stock_id = data.Text("select FID from t_cc_stockbill");
  std::string check_id = data.Text("select FID from t_rp_Checkbill");

  // Late-bound, as the host calls it: the message comes back by reference.
  component::clsUnBalData cls;
  auto events = hostlib::MakeRecordingSwitch();
  std::vector<Variant> args{Variant(automation::DispatchPtr(events)), Variant(host.db()), Variant("1"),
                            Variant("the caller's text")};
  EXPECT_EQ(CStr(cls.Invoke("UnBalData", automation::InvokeKind::Get, args)), "True");
  EXPECT_EQ(CStr(args[3]), "反日结完成！");
  EXPECT_TRUE(host.Dump(kChanging) == before) << host.Dump(kChanging);
  EXPECT_EQ(data.Rows("select FKey, FSearchText, FObjectId, FAction from t_searchinfo_temp order by FKey"),
            "System=yw|BillID=" + stock_id + "|ClassTypeID=1030002|BillTypeID=3001|||1|2,System=yw|BillID=" +
                check_id + "|ClassTypeID=1050003|BillTypeID=5024|||1|2");
  EXPECT_EQ(testing::Events(events),
            (std::vector<std::string>{"ShowProgressText:", "ShowProgressText:正在进行处理...", "SetProgressMax:1",
                                      "SetProgressMin:0", "SetProgressValue:0", "SetProgressValue:1"}));
  EXPECT_EQ(cls.GetUnBalProgressValue(), 0) << "the position is not moved by the cancellation";

  // Ids that name no closed daily bill give no row: nothing to do.
  std::string message = "kept?";
  EXPECT_TRUE(cls.UnBalData(hostlib::MakeRecordingSwitch(), host.db(), "1,999", message));
  EXPECT_EQ(message, "反日结完成！");

  // An empty list is a failing statement.
  message = "lines so far\r\n";
  EXPECT_FALSE(cls.UnBalData(hostlib::MakeRecordingSwitch(), host.db(), "", message));
  EXPECT_EQ(message.rfind("反日结失败！\r\n", 0), 0u) << message;
  EXPECT_GT(message.size(), std::string("反日结失败！\r\n").size()) << "the database's error text follows";
}

// Two closings; the first one's generated bills are then used elsewhere.
TEST(UnBalData, RefusedBillsStayWhileTheOthersAreCancelled) {
  struct Case {
    const char* name;
    const char* arrange;  // $S: the first closing's stock bill, $C: its check bill
    int32_t app_type;
    const char* line;     // after "反日结单据 <number> "
    bool check_bill_stays;
    const char* fault = nullptr;      // statements containing it fail
    const char* before = "注意：";    // the message before the line: the caller's, or what the plug-in wrote
  };
  const Case cases[] = {
      {"stock bill voucher", "UPDATE t_cc_stockbill SET FVoucherID=7 WHERE FID=$S", 1,
       "失败：该单据已被关联使用，不能反日结。", true},
      {"stock bill voucher", "UPDATE t_cc_stockbill SET FVoucherID=7 WHERE FID=$S", 2,
       "失败：该单据已被关联使用或已生成凭证，不能反日结。", true},
      {"check bill voucher", "UPDATE t_rp_Checkbill SET FVoucherID=7 WHERE FID=$C", 3,
       "失败：该单据已被关联使用或已生成凭证，不能反日结。", true},
      {"receipt names the stock bill",
       "INSERT INTO t_RP_RBillEntry (FID, FSourceBillID, FSourceClassTypeID) VALUES (1, $S, 1030002)", 1,
       "失败：该单据已被关联使用，不能反日结。", true},
      {"check entry names the stock bill",
       "INSERT INTO t_RP_CheckBillentry2 (FID, FSourceBillID, FSourceClassTypeID) VALUES (1, $S, 1030002)", 2,
       "失败：该单据已被关联使用或已生成凭证，不能反日结。", true},
      {"stock entry names the stock bill",
       "INSERT INTO t_CC_StockBillEntry (FID, FIndex, FClassID_SRC, FID_SRC) VALUES (1, 1, 1030002, $S)", 2,
       "失败：该单据已被关联使用或已生成凭证，不能反日结。", true},
      {"receipt names the check bill",
       "INSERT INTO t_RP_RBillEntry (FID, FSourceBillID, FSourceClassTypeID) VALUES (1, $C, 1050003)", 2,
       "失败：该单据已被关联使用或已生成凭证，不能反日结。", true},
      {"reference check fails", "SELECT 1", 1, "失败：该单据已被关联使用，不能反日结。", true,
       "t_RP_CheckBillentry2 where FSourceClassTypeID=1030002 and FSourceBillID=$S"},
      {"write-off not undone", "UPDATE t_rp_Checkbill SET FStatus=0 WHERE FID=$C", 2, "失败。", true, nullptr,
       "核销单未核销"},
      // The check bill was deleted before the audit failed: that stays done.
      {"audit not undone", "UPDATE t_cc_stockbill SET FStatus=0 WHERE FID=$S", 2, "失败。", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ", app type " + std::to_string(c.app_type));
    testing::HostFixture host(testing::SmallDemo(0), c.app_type);
    ClosingData data(host);
    testing::SalesDay(data);
    Closing first, second;
    first.ids = "20,21";
    second.ids = "22";
    ASSERT_TRUE(first.Run(host)) << first.message;
    ASSERT_TRUE(second.Run(host)) << second.message;
    std::string stock = data.Text("select FID from t_cc_stockbill order by FID limit 1");
    std::string check = data.Text("select FID from t_rp_Checkbill order by FID limit 1");
    std::string number = data.Text("select FBillNo from t_LS_DailyBill where FID=1");
    auto with_ids = [&](std::string text) {
      for (auto [from, to] : {std::pair<std::string, std::string>{"$S", stock}, {"$C", check}})
        for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, 2, to);
      return text;
    };
    data.Exec(with_ids(c.arrange));
    if (c.fault != nullptr)
      data::InjectFaults(*host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(host.db()),
                         data::FaultInjector::OnText(with_ids(c.fault), data::FaultInjector::Action::Fail));

    component::clsUnBalData cls;
    std::string message = "注意：";
    EXPECT_FALSE(cls.UnBalData(hostlib::MakeRecordingSwitch(), host.db(), "1,2", message));
    EXPECT_EQ(message, c.before + ("反日结单据 " + number + " " + c.line + "\r\n"));
    // The refused closing is whole; the other one is gone.
    EXPECT_EQ(data.Rows("select FID from t_LS_DailyBill"), "1");
    EXPECT_EQ(data.Rows("select FID from t_cc_stockbill"), stock);
    EXPECT_EQ(data.Rows("select count(*) from t_rp_Checkbill"), c.check_bill_stays ? "1" : "0");
    EXPECT_EQ(data.Rows("select FID, FDailyBillID from t_LS_Retail order by FID"), "20|1,21|1,22|0");
    EXPECT_EQ(data.Rows("select count(*) from t_CC_StockBillEntry where FID_SRC=2"), "0");
  }
}

// Stock bills 501 (C) and 502 (D) of daily bill 9; check bills A and B from them.
class Vouchers : public ::testing::Test {
 protected:
  void SetUp() override {
    data_.Exec("INSERT INTO t_cc_stockbill (FID, FBillNo, FVoucherID) VALUES (501, 'C', 7), (502, 'D', 0)");
    data_.Exec("INSERT INTO t_CC_StockBillEntry (FID, FIndex, FClassID_SRC, FID_SRC) VALUES "
               "(501, 1, 1090001, 9), (501, 2, 1090001, 9), (502, 1, 1090001, 9)");
    data_.Exec("INSERT INTO t_rp_Checkbill (FID, FBillNo, FVoucherID) VALUES (601, 'A', 1), (602, 'B', 2), "
               "(603, 'E', NULL)");
    data_.Exec("INSERT INTO t_rp_Checkbillentry1 (FID, FIndex, FSourceBillID, FSourceClassTypeID) VALUES "
               "(601, 1, 501, 1030002), (601, 2, 502, 1030002), (602, 1, 502, 1030002), (603, 1, 501, 1030002)");
  }
  std::pair<bool, std::string> Check(const std::string& ids, std::string message = "") {
    bool found = cls_.GenerateVch(host_.db(), ids, message);
    return {found, message};
  }
  testing::HostFixture host_{testing::SmallDemo(0)};
  ClosingData data_{host_};
  component::clsUnBalData cls_;
};

TEST_F(Vouchers, NamesTheBillsThatCarryVouchers) {
  using Answer = std::pair<bool, std::string>;
  EXPECT_EQ(Check("9"), (Answer{true, "核销单：A,B,销售单：C"}));
  EXPECT_EQ(Check(""), (Answer{false, ""}));
  EXPECT_EQ(Check("", "untouched"), (Answer{false, "untouched"}));
  EXPECT_EQ(Check("8"), (Answer{false, ""})) << "a daily bill without a stock bill";
  data_.Exec("UPDATE t_rp_Checkbill SET FVoucherID=0");
  EXPECT_EQ(Check("9"), (Answer{true, "销售单：C"}));
  data_.Exec("UPDATE t_rp_Checkbill SET FVoucherID=3 WHERE FID=601");
  data_.Exec("UPDATE t_cc_stockbill SET FVoucherID=NULL");
  EXPECT_EQ(Check("8,9"), (Answer{true, "核销单：A"})) << "named once though it covers both stock bills";
  data_.Exec("UPDATE t_rp_Checkbill SET FVoucherID=0");
  EXPECT_EQ(Check("9"), (Answer{false, ""}));
  EXPECT_EQ(Check("9)"), (Answer{false, ""})) << "a failing statement";
}

TEST(UnBalProgress, PercentRoundsHalvesToEven) {
  struct Case {
    int32_t position, total, percent;
  };
  for (const Case& c : {Case{1, 8, 12}, Case{27, 200, 14}, Case{3, 8, 38}, Case{5, 8, 62}, Case{1, 3, 33},
                        Case{2, 3, 67}, Case{5, 0, 0}, Case{8, 8, 100}}) {
    component::ProgressCounters counters{c.position, c.total};
    EXPECT_EQ(counters.PercentAsInteger(), c.percent) << c.position << "/" << c.total;
  }
  testing::HostFixture host(testing::SmallDemo(0));
  EXPECT_EQ(component::clsUnBalData().GetUnBalProgressValue(), 0);
}

TEST(ClosedBillQueries, ListTheClosedBillsAndTheirRetailBills) {
  testing::HostFixture host(testing::SmallDemo(0));
  ClosingData data(host);
  testing::SalesDay(data);
  Closing closing;
  ASSERT_TRUE(closing.Run(host)) << closing.message;
  std::string number = data.Text("select FBillNo from t_LS_DailyBill");
  data.Exec("INSERT INTO t_LS_DailyBill (FBillNo, FDate) VALUES ('RJ-EMPTY', '2026-12-04')");  // no entries: not listed
  data.Exec("DELETE FROM t_LS_RetailEntry2 WHERE FID=22");
  data.Bill(23, 0);
  data.Exec("UPDATE t_LS_Retail SET FDailyBillID=1, FCashier=99 WHERE FID=23");
  data.Exec("INSERT INTO t_LS_DailyBillEntry (FID, FIndex, FID_SRC, FBillNo_SRC) VALUES (1, 3, 23, 'LS000023')");

  component::clsUnBalData cls;
  std::string no_filter, by_number = "b.FBillNo like 'RJ%'", other_year = "b.FBillNo like 'RJ2024%'", bad = "1=(";
  auto total = cls.SetTotalData(host.db(), no_filter);
  ASSERT_TRUE(total);
  EXPECT_EQ(Keys(*total), "FDate=2026-12-04 FBillNo=" + number + " FID=1 ;");
  ASSERT_TRUE(cls.SetTotalData(host.db(), by_number));
  EXPECT_EQ(cls.SetTotalData(host.db(), by_number)->Count(), 1);
  ASSERT_TRUE(cls.SetTotalData(host.db(), other_year));
  EXPECT_EQ(cls.SetTotalData(host.db(), other_year)->Count(), 0);
  EXPECT_FALSE(cls.SetTotalData(host.db(), bad));

  auto detail = cls.SetDetailData(host.db(), "1");
  ASSERT_TRUE(detail);
  EXPECT_EQ(testing::SortedRecords(Keys(*detail)),
            testing::SortedRecords("FID=1 FID_SRC=22 FBillNo_SRC=LS000022 FDate=2026-12-04 FBranchShop=中心店 FCashier=王芳 FSettleAmount=0 ;"
            "FID=1 FID_SRC=20 FBillNo_SRC=LS000020 FDate=2026-12-04 FBranchShop=中心店 FCashier=王芳 FSettleAmount=30 ;"
            "FID=1 FID_SRC=21 FBillNo_SRC=LS000021 FDate=2026-12-04 FBranchShop=中心店 FCashier=王芳 FSettleAmount=100 ;"))
      << "bill 23 has no cashier on file";
  EXPECT_FALSE(cls.SetDetailData(host.db(), "abc"));

  std::string all, one = "a.FID=21", none = "c.FID=999", broken = "a.FID=";
  EXPECT_EQ(cls.GetUnBalDataID(host.db(), all), "20,21,22,23");
  EXPECT_EQ(cls.GetUnBalDataID(host.db(), one), "21");
  EXPECT_EQ(cls.GetUnBalDataID(host.db(), none), "");
  EXPECT_EQ(cls.GetUnBalDataID(host.db(), broken), "");
}

}  // namespace
}  // namespace tovan::cancel
