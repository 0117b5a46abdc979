// Operators and their rights, and the audit trail of what they did: a closer
// closes their own shop and nothing else, a supervisor cancels with a
// reason, an admin manages operators and options; every attempt leaves one
// row, and the rows cannot be changed.
#include <gtest/gtest.h>

#include "backoffice/audit.h"
#include "backoffice/cancellation.h"
#include "backoffice/closing.h"
#include "backoffice/operators.h"
#include "backoffice/system_options.h"
#include "tests/backoffice/backoffice_test_support.h"

namespace tovan::testing {
namespace {

namespace bo = backoffice;
using automation::Date;

bo::ClosingRequest DayOfShop(int shop) {
  bo::ClosingRequest request;
  request.date = Date::FromParts(2026, 12, 4);
  request.bill_type = "1";
  request.shop = std::to_string(shop);
  request.client = 314;
  return request;
}

TEST(Operators, RightsPerRoleAndTheAuditTrail) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  bo::Session& admin = office.session();
  // The demo's shop manager (2) closes shop 1; the accountant (3) supervises.
  bo::Session closer({office.host().db(), 2});
  bo::Session supervisor({office.host().db(), 3});
  ASSERT_EQ(closer.acting()->role, bo::Role::kCloser);
  EXPECT_EQ(closer.acting()->shops, std::vector<int32_t>{1});

  auto forbidden = RefusalOf([&] { bo::RunClosing(closer, DayOfShop(2), BackOfficeHost::Progress()); });
  ASSERT_TRUE(forbidden);
  EXPECT_EQ(forbidden->kind, bo::Refusal::Kind::kForbidden);
  EXPECT_NE(forbidden->message.find("shop 2"), std::string::npos) << forbidden->message;
  // Without settings of their own, an operator closes with the shared ones.
  bo::ClosingRequest shared = DayOfShop(1);
  shared.client.reset();
  EXPECT_EQ(bo::PlanClosing(closer, shared).client, 314);
  bo::ClosingResult own = bo::RunClosing(closer, DayOfShop(1), BackOfficeHost::Progress());
  EXPECT_EQ(automation::CLng(office.host().Scalar("SELECT FEmpID FROM t_LS_DailyBill WHERE FID=" +
                                                  std::to_string(own.daily_bill_id))),
            2) << "the operator is the component's user";
  const std::string day = std::to_string(own.daily_bill_id);

  EXPECT_EQ(RefusalOf([&] { bo::CancelClosings(closer, day, "wrong", BackOfficeHost::Progress()); })->kind,
            bo::Refusal::Kind::kForbidden);
  EXPECT_EQ(RefusalOf([&] { bo::CancelClosings(supervisor, day, " ", BackOfficeHost::Progress()); })->field, "reason");
  EXPECT_TRUE(bo::CancelClosings(supervisor, day, "a till miscounted", BackOfficeHost::Progress()).ok());

  EXPECT_EQ(RefusalOf([&] { bo::SetOption(supervisor, "IC", "AllowNegativeStock", "1"); })->kind,
            bo::Refusal::Kind::kForbidden);
  EXPECT_EQ(RefusalOf([&] { bo::AddOperator(closer, 9, "X", bo::Role::kAdmin, {}); })->kind,
            bo::Refusal::Kind::kForbidden);

  // An admin adds a closer, gives a password, and disables them again.
  EXPECT_EQ(RefusalOf([&] { bo::AddOperator(admin, 9, "新店长", bo::Role::kCloser, {}); })->field, "shops");
  bo::AddOperator(admin, 9, "新店长", bo::Role::kCloser, {3});
  EXPECT_EQ(RefusalOf([&] { bo::AddOperator(admin, 9, "again", bo::Role::kSupervisor, {}); })->kind,
            bo::Refusal::Kind::kConflict);
  EXPECT_EQ(RefusalOf([&] { bo::SetPassword(admin, 9, "short"); })->field, "password");
  bo::SetPassword(admin, 9, "correct horse battery");
  EXPECT_TRUE(bo::VerifyPassword(admin, 9, "correct horse battery"));
  EXPECT_FALSE(bo::VerifyPassword(admin, 9, "correct horse battery!"));
  const std::string hash = automation::CStr(office.host().Scalar("SELECT FPasswordHash FROM t_Users WHERE FUserID=9"));
  EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
  EXPECT_EQ(hash.find("correct"), std::string::npos);
  bo::DisableOperator(admin, 9);
  EXPECT_FALSE(bo::VerifyPassword(admin, 9, "correct horse battery"));
  EXPECT_EQ(RefusalOf([&] { bo::Session({office.host().db(), 9}); })->field, "user");

  // One row per attempt, refusals included, each with who and what.
  std::vector<bo::AuditRow> rows = bo::ReadAuditTrail(admin, {});
  auto count = [&](const std::string& event, const std::string& result) {
    return std::count_if(rows.begin(), rows.end(), [&](const bo::AuditRow& r) {
      return r.event == event && r.result == result;
    });
  };
  EXPECT_EQ(count("close", "refused"), 1);
  EXPECT_EQ(count("close", "done"), 1);
  EXPECT_EQ(count("cancel", "refused"), 2);
  EXPECT_EQ(count("cancel", "done"), 1);
  EXPECT_EQ(count("option", "refused"), 1);
  EXPECT_EQ(count("user", "refused"), 4);
  EXPECT_EQ(count("user", "done"), 3);
  auto done = std::find_if(rows.begin(), rows.end(), [](const bo::AuditRow& r) {
    return r.event == "cancel" && r.result == "done";
  });
  ASSERT_NE(done, rows.end());
  EXPECT_EQ(done->user, "财务会计");
  EXPECT_EQ(done->shops, std::vector<int32_t>{1});
  EXPECT_EQ(done->bills, own.plan.bills);
  EXPECT_EQ(done->daily_bill_no, own.daily_bill_no);
  EXPECT_NE(done->message.find("a till miscounted"), std::string::npos);
  bo::AuditFilter by_shop;
  by_shop.shop = 1;
  EXPECT_EQ(bo::ReadAuditTrail(admin, by_shop).size(), 2u) << "the closing and the cancellation of shop 1";

  // The trail takes rows and nothing else.
  EXPECT_ANY_THROW(office.host().Query("UPDATE t_AuditLog SET FResult='done'"));
  EXPECT_ANY_THROW(office.host().Query("DELETE FROM t_AuditLog"));
  EXPECT_EQ(bo::ReadAuditTrail(admin, {}).size(), rows.size());
}

}  // namespace
}  // namespace tovan::testing
