// A whole closing of one day's sales on the demo database, and its
// cancellation, through the component's stages as the classes run them.
#include <gtest/gtest.h>

#include <cmath>

#include "cancel/cancel_driver.h"
#include "closing/balance_amount.h"
#include "closing/closing_driver.h"
#include "host/events_switch.h"
#include "platform/host/data_context.h"
#include "tests/support/host_fixture.h"

namespace tovan::closing {
namespace {

using automation::CDbl;
using automation::CStr;
using automation::Variant;

std::string Join(const data::ResultSet& rows) {
  std::string out;
  for (size_t r = 0; r < rows.RowCount(); ++r) out += (r ? "," : "") + CStr(rows.At(r, 0));
  return out;
}

// The settlement records the closing dialog hands in: one per method used.
std::shared_ptr<foundation::Vector> Settlements(const testing::HostFixture& host, const std::string& ids) {
  auto rows = host.Query("select FSettleID, sum(FSettleAmount) from t_LS_RetailEntry2 where FID in (" + ids +
                         ") group by FSettleID order by FSettleID");
  auto vec = foundation::Vector::Create();
  for (size_t r = 0; r < rows.RowCount(); ++r) {
    auto record = foundation::Dictionary::Create();
    record->SetValue("FSettleAmount", rows.At(r, 1));
    record->SetValue("FSettleItemID", Variant(CStr(rows.At(r, 0))));
    record->SetValue("FSettleAcctItemID", Variant(int32_t{0}));
    vec->Add(Variant(record));
  }
  return vec;
}

TEST(ClosingFlow, CloseThenCancelLeavesTheDatabaseAsBefore) {
  testing::HostFixture host;
  component::ContextBinding binding;
  {
    host::CallScope scope;
    ASSERT_TRUE(UpdateBalAmount(binding, host.db()));
  }
  std::string ids = Join(host.Query(
      "select FID from t_LS_Retail where FDailyBillID=0 and FBillType=1 and FDate='2026-12-04' order by FID"));
  ASSERT_FALSE(ids.empty());
  const std::vector<std::string> changing = {"t_searchinfo_temp", "t_ICMaxNum", "t_BillCodeRule"};
  std::string before = host.Dump(changing);
  double stock_before = CDbl(host.Scalar("select sum(FQty) from t_CC_Inventory"));

  ClosingRequest request;
  request.events = hostlib::MakeRecordingSwitch();
  request.data_source = host.db();
  request.retail_bill_ids = ids;
  request.parameters.bill_type = "1";
  request.parameters.bal_date = automation::Date::FromParts(2026, 12, 4);
  request.parameters.invoice_type = "2021";
  request.parameters.client = "314";
  request.parameters.tax = 17;
  request.parameters.settlements = Settlements(host, ids);
  request.create_check_bill = true;
  request.in_customer_id = 301;
  std::string message;
  bool closed;
  {
    host::CallScope scope;
    closed = ProcessDailyBalance(binding, request, message);
  }
  ASSERT_TRUE(closed) << message;
  EXPECT_EQ(message, "日结成功");

  // One daily bill numbered RJ + today + 000001, one entry per retail bill in sID order.
  auto today = automation::Date::Now().ToParts();
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "RJ%04d%02d%02d", today.year, today.month, today.day);
  EXPECT_EQ(CStr(host.Scalar("select FBillNo from t_LS_DailyBill")), std::string(prefix) + "000001");
  std::string daily_id = CStr(host.Scalar("select FID from t_LS_DailyBill"));
  EXPECT_EQ(Join(host.Query("select FID_SRC from t_LS_DailyBillEntry order by FIndex")), ids);
  EXPECT_EQ(CStr(host.Scalar("select count(*) from t_LS_Retail where FDailyBillID=" + daily_id)),
            CStr(host.Scalar("select count(*) from t_LS_Retail where FID in (" + ids + ")")));

  // The stock bill: audited, entries adding up to its total to the cent, stock reduced by its quantity.
  auto stock = host.Query("select FID, FAllAmount, FStatus, FBillTypeID from t_cc_stockbill");
  ASSERT_EQ(stock.RowCount(), 1u);
  std::string stock_id = CStr(stock.At(0, 0));
  EXPECT_EQ(CStr(stock.At(0, 2)), "1");
  double entries_total = CDbl(host.Scalar("select sum(FInTaxAmount) from t_CC_StockBillEntry where FID=" + stock_id));
  EXPECT_NEAR(entries_total, CDbl(stock.At(0, 1)), 0.005);
  double shipped = CDbl(host.Scalar("select sum(FQty) from t_CC_StockBillEntry where FID=" + stock_id));
  EXPECT_NEAR(CDbl(host.Scalar("select sum(FQty) from t_CC_Inventory")), stock_before - shipped, 1e-6);
  EXPECT_EQ(CStr(host.Scalar("select FStatus from t_rp_Checkbill")), "1") << "the check bill is written off";
  EXPECT_EQ(CStr(host.Scalar("select count(*) from t_searchinfo_temp where FKey='System=yw|BillID=" + stock_id +
                             "|ClassTypeID=1030002|BillTypeID=3001|'")),
            "1");

  auto& recorded = static_cast<hostlib::RecordingDisplay&>(
      static_cast<hostlib::EventsSwitch&>(*request.events).display());
  ASSERT_GE(recorded.calls().size(), 5u);
  EXPECT_EQ(recorded.calls()[1].first, "ShowProgressText");
  EXPECT_EQ(CStr(recorded.calls()[1].second), "正在进行处理...");

  // The cancellation gives back everything but the index rows it replaces and the counters.
  component::ProgressCounters progress;
  std::string cancel_message;
  bool cancelled;
  {
    host::CallScope scope;
    cancelled = cancel::UnBalData(binding, hostlib::MakeRecordingSwitch(), host.db(), daily_id, cancel_message, progress);
  }
  ASSERT_TRUE(cancelled) << cancel_message;
  EXPECT_EQ(cancel_message, "反日结完成！");
  EXPECT_EQ(host.Dump(changing), before);
  EXPECT_EQ(CStr(host.Scalar("select FAction from t_searchinfo_temp where FKey='System=yw|BillID=" + stock_id +
                             "|ClassTypeID=1030002|BillTypeID=3001|'")),
            "2");
  EXPECT_EQ(progress.total, 1) << "the total is the cancel list's count";
  EXPECT_EQ(progress.PercentAsInteger(), 0) << "no operation moves the position";
}

}  // namespace
}  // namespace tovan::closing
