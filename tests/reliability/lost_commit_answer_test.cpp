// A COMMIT whose answer never comes back is reported as what the server did:
// done when it committed, not done when it never saw the COMMIT, and
// unknown only when the server cannot be asked afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "backoffice/cancellation.h"
#include "backoffice/closing.h"
#include "backoffice/session.h"
#include "host/events_switch.h"
#include "tests/support/cli_run.h"
#include "tests/support/commit_cutting_proxy.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

namespace bo = backoffice;
using Cut = CommitCuttingProxy::Cut;

automation::DispatchPtr Progress() {
  return std::make_shared<hostlib::EventsSwitch>(std::make_unique<hostlib::RecordingDisplay>());
}

bo::ClosingRequest DayOfShop(const char* shop) {
  bo::ClosingRequest request;
  request.date = automation::Date::FromParts(2026, 12, 4);
  request.bill_type = "1";
  request.shop = shop;
  request.client = 314;
  return request;
}

class LostCommitAnswer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnServer() || ServerHost().empty()) GTEST_SKIP() << "a lost COMMIT answer is a server's matter";
    host_.emplace(SmallDemo(60, 6, 11));
    proxy_.emplace(ServerHost());
  }

  // A session whose every connection goes through the proxy.
  bo::Session Proxied() { return bo::Session(bo::SessionOptions{proxy_->Through(host_->db())}); }

  int64_t Count(const std::string& sql) { return automation::CLng(host_->Scalar(sql)); }
  int64_t DailyBills() { return Count("SELECT count(*) FROM t_LS_DailyBill"); }
  int64_t ClosedBillsOfShop(int shop) {
    return Count("SELECT count(*) FROM t_LS_Retail WHERE FDailyBillID<>0 AND FBranchShop=" + std::to_string(shop));
  }
  std::string LastAudit(const std::string& event) {
    return automation::CStr(host_->Scalar("SELECT FResult FROM t_AuditLog WHERE FEvent='" + event +
                                          "' ORDER BY FID DESC LIMIT 1"));
  }

  // Whether `holds` comes true within a few seconds: the session the proxy cut
  // off finishes the COMMIT it received after the host has already answered.
  static bool Settles(const std::function<bool()>& holds) {
    for (int i = 0; i < 250; ++i) {
      if (holds()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::optional<HostFixture> host_;
  std::optional<CommitCuttingProxy> proxy_;
};

TEST_F(LostCommitAnswer, AClosingIsReportedAsWhatTheServerDid) {
  // Cut before the server sees the COMMIT: not done, nothing written, and it says why.
  {
    bo::Session session = Proxied();
    proxy_->CutNextCommit(Cut::kBeforeCommitPassed);
    try {
      bo::RunClosing(session, DayOfShop("1"), Progress());
      ADD_FAILURE() << "reported done";
    } catch (const bo::OperationFailed& e) {
      EXPECT_NE(e.message.find("not committed"), std::string::npos) << e.message;
      ASSERT_FALSE(e.causes.empty());
      EXPECT_EQ(e.causes.front(), "cause: the connection to the database server was lost");
    }
    EXPECT_EQ(proxy_->cuts(), 1);
    EXPECT_EQ(DailyBills(), 0);
    EXPECT_EQ(ClosedBillsOfShop(1), 0);
    EXPECT_EQ(LastAudit("close"), "failed");
  }
  // Cut after it passed: the server committed, so the closing is done, reported
  // with what it produced, and never run a second time.
  {
    bo::Session session = Proxied();
    proxy_->CutNextCommit(Cut::kAfterCommitPassed);
    bo::ClosingResult done = bo::RunClosing(session, DayOfShop("1"), Progress());
    EXPECT_EQ(proxy_->cuts(), 2);
    EXPECT_EQ(DailyBills(), 1);
    EXPECT_EQ(Count("SELECT count(*) FROM t_LS_DailyBill WHERE FID=" + std::to_string(done.daily_bill_id)), 1);
    EXPECT_EQ(Count("SELECT count(*) FROM t_LS_Retail WHERE FDailyBillID=" + std::to_string(done.daily_bill_id)),
              done.plan.bills);
    EXPECT_FALSE(done.stock_bill_no.empty());
    EXPECT_EQ(LastAudit("close"), "done");
  }
  // Committed, and the server cannot be reached to ask: unknown, never failed.
  {
    bo::Session session = Proxied();
    proxy_->CutNextCommit(Cut::kAfterCommitPassed, /*then_unreachable=*/true);
    try {
      bo::RunClosing(session, DayOfShop("2"), Progress());
      ADD_FAILURE() << "reported done";
    } catch (const bo::OutcomeUnknown& e) {
      EXPECT_EQ(e.message, "unknown: check `closed`");
      ASSERT_FALSE(e.causes.empty());
      EXPECT_NE(e.causes.front().find("the server cannot be asked"), std::string::npos) << e.causes.front();
    }
    EXPECT_TRUE(Settles([&] { return ClosedBillsOfShop(2) > 0; })) << "it stands";
    EXPECT_EQ(DailyBills(), 2) << "once";
  }
}

TEST_F(LostCommitAnswer, ACancellationIsReportedAsWhatTheServerDid) {
  int32_t first = 0, second = 0;
  {
    bo::Session direct(bo::SessionOptions{host_->db()});
    first = bo::RunClosing(direct, DayOfShop("1"), Progress()).daily_bill_id;
    second = bo::RunClosing(direct, DayOfShop("2"), Progress()).daily_bill_id;
  }
  const std::string reason = "counted again";
  bo::Session session = Proxied();

  proxy_->CutNextCommit(Cut::kBeforeCommitPassed);
  bo::CancelResult refused = bo::CancelClosings(session, std::to_string(first), reason, Progress());
  EXPECT_TRUE(refused.cancelled.empty());
  ASSERT_EQ(refused.failed.size(), 1u);
  EXPECT_EQ(refused.failed[0].id, first);
  ASSERT_GE(refused.failed[0].lines.size(), 2u);
  EXPECT_NE(refused.failed[0].lines[0].find("not committed"), std::string::npos) << refused.failed[0].lines[0];
  EXPECT_EQ(refused.failed[0].lines.back(), "cause: the connection to the database server was lost");
  EXPECT_EQ(DailyBills(), 2) << "the closing still stands";
  EXPECT_GT(ClosedBillsOfShop(1), 0);

  proxy_->CutNextCommit(Cut::kAfterCommitPassed);
  bo::CancelResult done = bo::CancelClosings(session, std::to_string(first), reason, Progress());
  EXPECT_TRUE(done.ok());
  ASSERT_EQ(done.cancelled.size(), 1u);
  EXPECT_EQ(done.cancelled[0].id, first);
  EXPECT_EQ(ClosedBillsOfShop(1), 0) << "its bills are open again";
  EXPECT_EQ(LastAudit("cancel"), "done");

  proxy_->CutNextCommit(Cut::kAfterCommitPassed, /*then_unreachable=*/true);
  bo::CancelResult unknown = bo::CancelClosings(session, std::to_string(second), reason, Progress());
  EXPECT_FALSE(unknown.ok());
  EXPECT_TRUE(unknown.cancelled.empty());
  EXPECT_TRUE(unknown.failed.empty());
  ASSERT_EQ(unknown.unknown.size(), 1u);
  EXPECT_EQ(unknown.unknown[0].id, second);
  EXPECT_EQ(unknown.unknown[0].lines.front(), "unknown: check `closed`");
  EXPECT_TRUE(Settles([&] { return ClosedBillsOfShop(2) == 0; })) << "the server did cancel it";
}

TEST_F(LostCommitAnswer, TheCommandHasAnExitCodeForUnknown) {
  TempDir dir;
  const std::string db = proxy_->Through(host_->db());
  const std::vector<std::string> close{"close", "--db", db, "--date", "2026-12-04", "--type", "sales",
                                       "--shop", "1", "--client", "314"};
  proxy_->CutNextCommit(Cut::kAfterCommitPassed);
  CliRun done = RunDailybalance(dir, close);
  EXPECT_EQ(done.exit_code, 0) << done.out << done.err;
  EXPECT_NE(done.out.find("daily bill"), std::string::npos) << done.out;

  proxy_->CutNextCommit(Cut::kAfterCommitPassed, /*then_unreachable=*/true);
  std::vector<std::string> json = close;
  json[8] = "2";
  json.push_back("--json");
  CliRun unknown = RunDailybalance(dir, json);
  EXPECT_EQ(unknown.exit_code, 3) << unknown.out << unknown.err;
  EXPECT_NE(unknown.out.find("{\"result\": \"unknown\", \"message\": \"unknown: check `closed`\""), std::string::npos)
      << unknown.out;
  EXPECT_EQ(proxy_->cuts(), 2);
  EXPECT_TRUE(Settles([&] { return DailyBills() == 2; }));
}

}  // namespace
}  // namespace tovan::testing
