// The listings an operator reads: the open bills of a filter, the closed
// days with what each closing produced, one day in full, the cancellation's
// own report, and the known system options.  Every figure is checked
// against the database, and the order is the same on both engines.
#include <gtest/gtest.h>

#include "backoffice/cancellation.h"
#include "backoffice/closed_days.h"
#include "backoffice/closing.h"
#include "backoffice/input_checks.h"
#include "backoffice/open_bills.h"
#include "backoffice/system_options.h"
#include "tests/backoffice/backoffice_test_support.h"

namespace tovan::testing {
namespace {

namespace bo = backoffice;
using automation::Date;

double Sum(HostFixture& host, const std::string& sql) { return automation::CDbl(host.Scalar(sql)); }

bo::ClosingResult CloseShop(BackOfficeHost& office, int shop, bool check_bill) {
  bo::ClosingRequest request;
  request.date = Date::FromParts(2026, 12, 4);
  request.bill_type = "1";
  request.shop = std::to_string(shop);
  request.client = 314;
  request.check_bill = check_bill;
  if (check_bill) request.in_cust = 305;
  return bo::RunClosing(office.session(), request, BackOfficeHost::Progress());
}

TEST(Listings, OpenBillsFollowTheirFilterInDateThenIdOrder) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  bo::OpenBillList all = bo::ListOpenBills(office.session(), {});
  ASSERT_EQ(all.bills.size(), 60u);
  for (size_t i = 1; i < all.bills.size(); ++i) {
    const auto &a = all.bills[i - 1], &b = all.bills[i];
    EXPECT_TRUE(a.date < b.date || (a.date == b.date && a.id < b.id)) << a.id << " before " << b.id;
  }
  EXPECT_NEAR(all.total, Sum(office.host(), "SELECT sum(FTotalAmount) FROM t_LS_Retail"), 0.005);

  bo::OpenBillFilter filter;
  filter.from = filter.to = Date::FromParts(2026, 12, 4);
  filter.type = "2";
  filter.shop = 3;
  bo::OpenBillList some = bo::ListOpenBills(office.session(), filter);
  std::string ids;
  for (const bo::OpenBill& b : some.bills) {
    EXPECT_EQ(b.date, "2026-12-04");
    EXPECT_EQ(b.type, "returns");
    EXPECT_EQ(b.shop, "西城店");
    ids += (ids.empty() ? "" : ",") + std::to_string(b.id);
  }
  EXPECT_EQ(ids, office.Bills("2026-12-04", 2, 3));

  filter.from = Date::FromParts(2026, 12, 5);
  auto reversed = RefusalOf([&] { bo::ListOpenBills(office.session(), filter); });
  ASSERT_TRUE(reversed);
  EXPECT_EQ(reversed->field, "from");
}

TEST(Listings, ClosedDaysShowWhatEachClosingProducedAndCancelReportsOnlyWhatItDid) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  HostFixture& host = office.host();
  bo::ClosingResult first = CloseShop(office, 1, true);
  bo::ClosingResult second = CloseShop(office, 2, false);
  const std::string id1 = std::to_string(first.daily_bill_id), id2 = std::to_string(second.daily_bill_id);

  bo::ClosedDayList list = bo::ListClosedDays(office.session(), {});
  ASSERT_EQ(list.days.size(), 2u);
  EXPECT_EQ(list.days[0].id, second.daily_bill_id) << "newest first";
  const bo::ClosedDay& day = list.days[1];
  EXPECT_EQ(day.bill_no, first.daily_bill_no);
  EXPECT_EQ(day.date, "2026-12-04");
  EXPECT_EQ(day.shops, std::vector<std::string>{"中心店"});
  EXPECT_EQ(day.bills, static_cast<int>(first.plan.bills));
  EXPECT_NEAR(day.amount, Sum(host, "SELECT sum(FTotalAmount) FROM t_LS_Retail WHERE FDailyBillID=" + id1), 0.005);
  EXPECT_EQ(day.stock_bill_no, first.stock_bill_no);
  EXPECT_EQ(day.check_bill_no, *first.check_bill_no);
  EXPECT_EQ(list.days[0].check_bill_no, "");
  EXPECT_EQ(day.operator_name, "系统管理员");
  EXPECT_EQ(day.closed_at.size(), 19u) << day.closed_at;
  EXPECT_EQ(list.bills, day.bills + list.days[0].bills);

  auto ids_of = [&](bo::ClosedDayFilter filter) {
    std::vector<int32_t> ids;
    for (const auto& d : bo::ListClosedDays(office.session(), filter).days) ids.push_back(d.id);
    return ids;
  };
  bo::ClosedDayFilter by_shop;
  by_shop.shop = 2;
  EXPECT_EQ(ids_of(by_shop), std::vector<int32_t>{second.daily_bill_id});
  bo::ClosedDayFilter by_number;
  by_number.number = first.daily_bill_no.substr(first.daily_bill_no.size() - 3);
  EXPECT_EQ(ids_of(by_number), std::vector<int32_t>{first.daily_bill_id});
  bo::ClosedDayFilter later;
  later.from = Date::FromParts(2026, 12, 5);
  EXPECT_TRUE(ids_of(later).empty());
  bo::ClosedDayFilter host_sql;
  host_sql.sql = "b.FID=" + id2;
  EXPECT_EQ(ids_of(host_sql), std::vector<int32_t>{second.daily_bill_id});
  host_sql.sql = "no such column";
  EXPECT_TRUE(RefusalOf([&] { bo::ListClosedDays(office.session(), host_sql); }));

  // One day in full: its bills, the stock bill's lines and the check bill, each as written.
  bo::DayDetails details = bo::ShowDay(office.session(), first.daily_bill_id);
  EXPECT_EQ(details.bills.size(), first.plan.bills);
  EXPECT_NEAR(details.bills_total, day.amount, 0.005);
  ASSERT_TRUE(details.stock_bill);
  EXPECT_EQ(details.stock_bill->bill_no, first.stock_bill_no);
  const std::string stock_id =
      automation::CStr(host.Scalar("SELECT FID FROM t_cc_stockbill WHERE FBillNo='" + first.stock_bill_no + "'"));
  EXPECT_EQ(details.stock_bill->lines.size(),
            static_cast<size_t>(automation::CLng(host.Scalar("SELECT count(*) FROM t_CC_StockBillEntry WHERE FID=" + stock_id))));
  EXPECT_NEAR(details.stock_bill->total,
              Sum(host, "SELECT sum(FAmount) FROM t_CC_StockBillEntry WHERE FID=" + stock_id), 0.005);
  for (const bo::StockLine& line : details.stock_bill->lines) EXPECT_FALSE(line.item_name.empty()) << line.index;
  ASSERT_TRUE(details.check_bill);
  EXPECT_EQ(details.check_bill->customer_id, 305);
  EXPECT_EQ(details.check_bill->customer, "陆家嘴便利店");
  EXPECT_TRUE(details.check_bill->written_off);
  EXPECT_NEAR(details.check_bill->amount,
              Sum(host, "SELECT FAmount FROM t_rp_Checkbill WHERE FBillNo='" + *first.check_bill_no + "'"), 0.005);
  EXPECT_FALSE(bo::ShowDay(office.session(), second.daily_bill_id).check_bill);

  // A cancellation with an id that does not stand cancels nothing; then each
  // daily bill it cancels is named, and only those.
  auto unknown = RefusalOf([&] { bo::CancelClosings(office.session(), id1 + ",999", "a till miscounted", BackOfficeHost::Progress()); });
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->kind, bo::Refusal::Kind::kConflict);
  EXPECT_NE(unknown->message.find("999"), std::string::npos);
  EXPECT_EQ(bo::ListClosedDays(office.session(), {}).days.size(), 2u);
  bo::CancelResult cancelled = bo::CancelClosings(office.session(), id1, "a till miscounted", BackOfficeHost::Progress());
  ASSERT_EQ(cancelled.cancelled.size(), 1u);
  EXPECT_EQ(cancelled.cancelled[0].bill_no, first.daily_bill_no);
  EXPECT_TRUE(cancelled.ok());
  EXPECT_TRUE(RefusalOf([&] { bo::CancelClosings(office.session(), id1, "a till miscounted", BackOfficeHost::Progress()); }));
  EXPECT_TRUE(RefusalOf([&] { bo::ShowDay(office.session(), first.daily_bill_id); }));
  EXPECT_EQ(bo::ListClosedDays(office.session(), {}).days.size(), 1u);
}

TEST(Listings, OptionsAreTheKnownKeysWithTheirTypes) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  auto& session = office.session();
  EXPECT_EQ(bo::ListOptions(session).size(), bo::KnownOptions().size());
  EXPECT_EQ(bo::ReadOption(session, "ic", "allownegativestock").value, "0");
  EXPECT_EQ(bo::SetOption(session, "IC", "CurrentPeriod", "012").value, "12");
  EXPECT_EQ(automation::CStr(office.host().Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey='CurrentPeriod'")), "12");
  using Setting = std::pair<const char*, const char*>;
  for (auto [key, value] : std::initializer_list<Setting>{
           {"AlowNegativeStock", "1"}, {"CurrentPeriod", "13"}, {"CurrentPeriod", "abc"}, {"AllowNegativeStock", "2"},
           {"CurrentYear", "-1"}}) {
    auto refusal = RefusalOf([&] { bo::SetOption(session, "IC", key, value); });
    ASSERT_TRUE(refusal) << key << "=" << value;
    EXPECT_NE(refusal->message.find(key), std::string::npos) << refusal->message;
  }
  EXPECT_EQ(automation::CLng(office.host().Scalar("SELECT count(*) FROM t_SystemProfile WHERE FKey='AlowNegativeStock'")), 0);
}

}  // namespace
}  // namespace tovan::testing
