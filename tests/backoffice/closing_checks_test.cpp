// The back office refuses what the data refutes before the component runs,
// names the offending values, and writes nothing; what it accepts closes
// with the values it settled (the bills' own day, the stored customer).
#include <gtest/gtest.h>

#include "backoffice/closing.h"
#include "backoffice/input_checks.h"
#include "tests/backoffice/backoffice_test_support.h"

namespace tovan::testing {
namespace {

using backoffice::ClosingRequest;
using backoffice::Refusal;
using automation::Date;

TEST(ClosingChecks, RefusalsNameTheValueAndWriteNothing) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  auto& session = office.session();
  const std::string shop1 = office.Bills("2026-12-04", 1, 1), shop2 = office.Bills("2026-12-04", 1, 2);
  ASSERT_FALSE(shop1.empty());
  ASSERT_FALSE(shop2.empty());
  const std::string first = shop1.substr(0, shop1.find(','));
  const std::string before = office.host().Dump({"t_AuditLog"});

  struct Case {
    const char* name;
    ClosingRequest request;
    const char* field;
    std::string names;  // a text the message must hold
  };
  auto with = [&](std::function<void(ClosingRequest&)> edit) {
    ClosingRequest r;
    r.ids = shop1;
    r.client = 314;
    edit(r);
    return r;
  };
  const Case cases[] = {
      {"unknown id", with([](auto& r) { r.ids = "999999"; }), "bills", "no retail bill 999999"},
      {"unknown among known", with([&](auto& r) { r.ids = shop1 + ",999991,999992,999993,999994,999995,999996,999997"; }),
       "bills", "999991, 999992, 999993, 999994, 999995 and 2 more"},
      {"an id twice", with([&](auto& r) { r.ids = first + ",0" + first; }), "bills", "more than once: " + first},
      {"a day of four shops", with([](auto& r) { r.ids.clear(), r.date = Date::FromParts(2026, 12, 4), r.bill_type = "1"; }),
       "shop", "4 shops"},
      {"a shop of other bills", with([](auto& r) { r.shop = "东城店"; }), "shop", "not bills of 东城店"},
      {"an unknown shop", with([](auto& r) { r.shop = "nowhere"; }), "shop", "no shop nowhere"},
      {"a date before the bills", with([](auto& r) { r.date = Date::FromParts(2026, 12, 3); }), "date",
       "before the latest bill's day 2026-12-04"},
      {"a date after today", with([](auto& r) { r.date = Date::FromParts(9999, 12, 31); }), "date", "after today"},
      {"a date before the period", with([](auto& r) { r.date = Date::FromParts(1900, 1, 1); }), "date",
       "before the current period"},
      {"days without a date", with([&](auto& r) { r.ids = office.Bills("2026-12-03", 1, 1) + "," + shop1; }), "date",
       "span 2 days (2026-12-03 to 2026-12-04)"},
      {"a group heading as customer", with([](auto& r) { r.client = 301; }), "client", "301 华东区 is a group heading"},
      {"no such customer", with([](auto& r) { r.client = 999; }), "client", "no customer 999"},
      {"a heading receives", with([](auto& r) { r.check_bill = true, r.in_cust = 301; }), "inCust", "group heading"},
      {"a receiver without a check bill", with([](auto& r) { r.in_cust = 305; }), "inCust", "check bill"},
  };
  for (const Case& c : cases) {
    auto refusal = RefusalOf([&] { backoffice::RunClosing(session, c.request, BackOfficeHost::Progress()); });
    if (!refusal) continue;
    EXPECT_EQ(refusal->field, c.field) << c.name;
    EXPECT_NE(refusal->message.find(c.names), std::string::npos) << c.name << ": " << refusal->message;
    EXPECT_EQ(refusal->message.find('\n'), std::string::npos) << c.name;
  }
  EXPECT_EQ(office.host().Dump({"t_AuditLog"}), before) << "a refusal writes nothing but its audit row";
  EXPECT_EQ(automation::CLng(office.host().Scalar(
                "SELECT count(*) FROM t_AuditLog WHERE FEvent='close' AND FResult='refused' AND FUserID=1")),
            static_cast<int32_t>(std::size(cases)));

  // Without a date the closing takes the bills' business day, never the clock;
  // a check bill without a receiver takes the stored one and says so.
  ClosingRequest request = with([](auto& r) { r.check_bill = true; });
  backoffice::ClosingPlan plan = backoffice::PlanClosing(session, request);
  EXPECT_EQ(plan.date, Date::FromParts(2026, 12, 4));
  EXPECT_EQ(plan.in_cust, 304);
  EXPECT_TRUE(plan.in_cust_stored);
  EXPECT_EQ(plan.shops, std::vector<int32_t>{1});
  backoffice::ClosingResult closed = backoffice::RunClosing(session, request, BackOfficeHost::Progress());
  EXPECT_EQ(closed.message, "日结成功");
  EXPECT_EQ(closed.plan.bills, backoffice::IdCount(shop1));
  EXPECT_EQ(automation::DateToText(automation::CDate(office.host().Scalar(
                "SELECT FDate FROM t_LS_DailyBill WHERE FID=" + std::to_string(closed.daily_bill_id)))),
            "2026-12-04");
  ASSERT_TRUE(closed.check_bill_no);
  EXPECT_EQ(automation::CLng(office.host().Scalar("SELECT FInCustID FROM t_rp_Checkbill WHERE FBillNo='" +
                                                  *closed.check_bill_no + "'")),
            304);

  // Bills closed since are a conflict, named with their daily bill.
  auto again = RefusalOf([&] { backoffice::RunClosing(session, request, BackOfficeHost::Progress()); });
  ASSERT_TRUE(again);
  EXPECT_EQ(again->kind, Refusal::Kind::kConflict);
  EXPECT_NE(again->message.find(first + " (" + closed.daily_bill_no + ")"), std::string::npos) << again->message;

  // With no receiver stored, a check bill needs one given.
  office.host().Query("DELETE FROM t_UserProfile WHERE FKey='InCustID'");
  ClosingRequest other = with([&](auto& r) { r.ids = shop2, r.check_bill = true; });
  auto no_receiver = RefusalOf([&] { backoffice::PlanClosing(session, other); });
  ASSERT_TRUE(no_receiver);
  EXPECT_EQ(no_receiver->field, "inCust");
}

TEST(ClosingChecks, TheSessionKnowsItsUserAndDatabase) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  EXPECT_EQ(office.session().user_name(), "系统管理员");
  auto unknown = RefusalOf([&] { backoffice::Session({office.host().db(), 999}); });
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->field, "user");
  EXPECT_NE(unknown->message.find("999"), std::string::npos);
  // The host's protocol tool passes its user on as given.
  EXPECT_NO_THROW(backoffice::Session({office.host().db(), 999, 2, false}));
  TempDir dir;
  auto missing = RefusalOf([&] { backoffice::Session({dir.File("none.db")}); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->field, "db");
}

}  // namespace
}  // namespace tovan::testing
