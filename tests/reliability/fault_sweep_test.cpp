// Faults everywhere a closing or a cancellation can meet one: each statement
// in turn, the host's plug-ins answering failures, the progress display
// raising.  The commands run in process exactly as the binary runs them;
// after every run the database is as it was, or, when the run reported
// success, exactly what a clean run writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "cli/commands.h"
#include "platform/data/backend_wrappers.h"
#include "platform/host/global_context.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

using data::FaultInjector;

struct Outcome {
  int exit_code;
  int64_t statements;
  int64_t fired;
  std::string failed_text;
};

// The settlement sum of a closing reads as 0 when it cannot be read (its
// contract: the caller cannot tell a failure from a real zero), so such a
// closing stands, whole, with the amounts that gives.
bool IsSwallowedRead(const std::string& text) { return text.find("sum(FSettleAmount) as FAmount") != std::string::npos; }

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
  ~ScopedEnv() { ::unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
};

// A run that succeeded although a statement failed wrote what a clean run
// writes, except search-index rows: the index is best effort by design (a
// closing does not fail because of it), so a row may be missing, never wrong.
bool AsCleanRunWrites(const std::string& now, const std::string& clean) {
  if (now == clean) return true;
  auto [now_rest, now_index] = SplitTable(now, "t_searchinfo_temp");
  auto [clean_rest, clean_index] = SplitTable(clean, "t_searchinfo_temp");
  if (now_rest != clean_rest) return false;
  return std::all_of(now_index.begin(), now_index.end(), [&](const std::string& row) {
    return std::find(clean_index.begin(), clean_index.end(), row) != clean_index.end();
  });
}

class FaultSweep : public ::testing::Test {
 protected:
  // Runs `command` on a fresh host context of this thread with `injector` on
  // every connection it opens, then closes them as the process's end would.
  template <class Command>
  Outcome Run(Command command, const std::shared_ptr<FaultInjector>& injector) {
    auto& global = host::GlobalContext::ForThread();
    global.Reset();
    global.AddConnectionInitializer([injector](data::Connection& c) { data::InjectFaults(c, injector); });
    int code;
    {
      QuietOutput quiet;
      code = command();
    }
    global.Reset();
    return {code, injector->statements_seen(), injector->faults_fired(), injector->last_failed_text()};
  }
  template <class Command>
  int Run(Command command) {
    return Run(command, FaultInjector::AtStatement(0, FaultInjector::Action::Fail)).exit_code;
  }

  auto Close(automation::DispatchPtr events = nullptr) const {
    return [this, events] {
      cli::CloseOptions options;
      options.db = host_.db();
      options.date = "2026-12-04";
      options.type = "sales";
      options.shop = "all";
      options.client = "314";
      options.check_bill = true;
      options.in_cust = "305";
      options.events = events;
      return cli::RunClose(options);
    };
  }
  auto Cancel(const std::string& ids, automation::DispatchPtr events = nullptr) const {
    return [this, ids, events] {
      cli::CancelOptions options;
      options.db = host_.db();
      options.ids = ids;
      options.reason = "the sweep";
      options.events = events;
      return cli::RunCancel(options);
    };
  }

  // Fails each statement of a clean run of `command` in turn; answers how
  // many faults fired.
  template <class Command>
  int SweepStatements(Command command) {
    const std::string& db = host_.db();
    const std::string pristine = dir_.File("pristine.db");
    CopyDatabase(db, pristine);
    std::string before = Snapshot(db);
    Outcome clean = Run(command, FaultInjector::AtStatement(0, FaultInjector::Action::Fail));
    EXPECT_EQ(clean.exit_code, 0);
    std::string after = Snapshot(db);
    EXPECT_NE(after, before);
    CopyDatabase(pristine, db);

    int fired = 0, succeeded = 0;
    for (int64_t k = 1; k <= clean.statements; ++k) {
      Outcome run = Run(command, FaultInjector::AtStatement(k, FaultInjector::Action::Fail));
      EXPECT_EQ(run.fired, 1) << "statement " << k;
      fired += static_cast<int>(run.fired);
      std::string now = Snapshot(db);
      if (run.exit_code == 0) {
        ++succeeded;
        if (IsSwallowedRead(run.failed_text)) {
          EXPECT_EQ(SplitTable(now, "t_LS_Retail").second, SplitTable(after, "t_LS_Retail").second)
              << "statement " << k << ": the closing stands whole, every bill stamped as in a clean run";
        } else {
          EXPECT_TRUE(AsCleanRunWrites(now, after))
              << "statement " << k << " failed, the run succeeded, but " << FirstDifference(after, now) << "\n" << run.failed_text << "\n" << DifferingRows(after, now);
        }
        CopyDatabase(pristine, db);
      } else {
        EXPECT_TRUE(now == before) << "statement " << k << " failed and left a trace: " << FirstDifference(before, now);
        // A server's identities and sequences never go back, and rows a failed
        // run wrote and took back still lie where its stored rows are: the next
        // run starts from the pristine copy, drawing the same numbers and
        // reading unordered rows in the same order.
        if (now != before || OnServer()) CopyDatabase(pristine, db);
      }
    }
    std::cout << "[ sweep    ] " << clean.statements << " statements, " << fired << " faults injected, " << succeeded
              << " runs succeeded regardless\n";
    return fired;
  }

  // Closes the day once, for tests that cancel it.
  void CloseTheDay() { ASSERT_EQ(Run(Close()), 0); }
  // The id of the nth daily bill there is: a server's identities never go
  // back, so the runs that failed before have used some up.
  std::string DailyBill(int nth) const {
    auto rows = host_.Query("select FID from t_LS_DailyBill order by FID");
    return rows.RowCount() >= static_cast<size_t>(nth) ? automation::CStr(rows.At(static_cast<size_t>(nth - 1), 0))
                                                       : "0";
  }

  HostFixture host_{SmallDemo(30, 5, 7)};
  TempDir dir_;
};

TEST_F(FaultSweep, EveryStatementOfAClosing) {
  // The closing is representative: batch-managed goods and a check bill.
  EXPECT_GT(SweepStatements(Close()), 100);
  ASSERT_EQ(Run(Close()), 0);
  EXPECT_GT(automation::CLng(host_.Scalar("select count(*) from t_CC_StockBillEntry where FBatchNo<>''")), 0);
  EXPECT_EQ(automation::CLng(host_.Scalar("select count(*) from t_rp_Checkbill where FStatus=1")), 1);
}

TEST_F(FaultSweep, EveryStatementOfACancellation) {
  CloseTheDay();
  EXPECT_GT(SweepStatements(Cancel(DailyBill(1))), 10);
}

TEST_F(FaultSweep, PlugInsThatFailLeaveNoTrace) {
  std::string before = Snapshot(host_.db());
  for (const char* fault : {"audit=0", "audit=2", "audit=-1", "audit=raise", "writeoff=false", "writeoff=raise"}) {
    ScopedEnv env("DAILYBALANCE_PLUGIN_FAULT", fault);
    EXPECT_EQ(Run(Close()), 1) << fault;
    std::string now = Snapshot(host_.db());
    EXPECT_TRUE(now == before) << fault << ": " << FirstDifference(before, now);
  }

  CloseTheDay();
  const std::string daily_bill = DailyBill(1);
  std::string closed = Snapshot(host_.db());
  for (const char* fault : {"unaudit=0", "unaudit=2", "unaudit=raise", "undo=false", "undo=raise"}) {
    ScopedEnv env("DAILYBALANCE_PLUGIN_FAULT", fault);
    EXPECT_EQ(Run(Cancel(daily_bill)), 1) << fault;
    std::string now = Snapshot(host_.db());
    EXPECT_TRUE(now == closed) << fault << ": " << FirstDifference(closed, now);
  }
}

TEST_F(FaultSweep, AVoucherCheckThatCannotBeMadeCountsAsNoVoucher) {
  // The voucher check answers False on a failure, and the cancellation goes on:
  // the bill is cancelled whole, as one without vouchers would be.
  std::string open = Snapshot(host_.db());
  CloseTheDay();
  auto voucher_reads = FaultInjector::OnText("FVoucherID", FaultInjector::Action::Fail);
  EXPECT_EQ(Run(Cancel(DailyBill(1)), voucher_reads).exit_code, 0);
  EXPECT_GT(voucher_reads->faults_fired(), 0);
  EXPECT_EQ(automation::CLng(host_.Scalar("select count(*) from t_LS_DailyBill")), 0);
  EXPECT_EQ(SplitTable(Snapshot(host_.db()), "t_LS_Retail").second, SplitTable(open, "t_LS_Retail").second);
}

TEST_F(FaultSweep, EachDailyBillOfACancellationGoesWholeOrStays) {
  CloseTheDay();
  auto close_day_before = [this] {
    cli::CloseOptions options;
    options.db = host_.db();
    options.date = "2026-12-03";
    options.type = "sales";
    options.shop = "all";
    options.client = "314";
    return cli::RunClose(options);
  };
  ASSERT_EQ(Run(close_day_before), 0);
  const std::string first = DailyBill(1), second = DailyBill(2), both_bills = first + "," + second;
  const std::string two_closed = dir_.File("two-closed.db"), vouchered = dir_.File("vouchered.db");
  CopyDatabase(host_.db(), two_closed);
  std::string both = Snapshot(host_.db());

  // The second daily bill's stock bill carries a voucher: it is refused, the first is cancelled.
  host_.Query(
      "update t_cc_stockbill set FVoucherID=7 where FID in (select FID from t_CC_StockBillEntry where "
      "FClassID_SRC=1090001 and FID_SRC=" + second + ")");
  CopyDatabase(host_.db(), vouchered);
  ASSERT_EQ(Run(Cancel(first)), 0);
  std::string first_only = Snapshot(host_.db());
  CopyDatabase(vouchered, host_.db());
  EXPECT_EQ(Run(Cancel(both_bills)), 1);
  std::string now = Snapshot(host_.db());
  EXPECT_TRUE(now == first_only) << FirstDifference(first_only, now);

  // With the un-audit failing, neither moves: the check bill the first one
  // had already given up before its audit was undone comes back too.
  CopyDatabase(two_closed, host_.db());
  ScopedEnv env("DAILYBALANCE_PLUGIN_FAULT", "unaudit=0");
  EXPECT_EQ(Run(Cancel(both_bills)), 1);
  now = Snapshot(host_.db());
  EXPECT_TRUE(now == both) << FirstDifference(both, now);
}

TEST_F(FaultSweep, AProgressDisplayThatFailsLeavesNoTrace) {
  const std::string pristine = dir_.File("pristine.db");
  auto sweep = [&](auto make_command) {
    CopyDatabase(host_.db(), pristine);
    std::string before = Snapshot(host_.db());
    auto counting = std::make_shared<FailingEventsSwitch>(0);
    EXPECT_EQ(Run(make_command(counting)), 0);
    std::string after = Snapshot(host_.db());
    CopyDatabase(pristine, host_.db());
    EXPECT_GT(counting->calls(), 3);
    for (int n = 1; n <= counting->calls(); ++n) {
      EXPECT_EQ(Run(make_command(std::make_shared<FailingEventsSwitch>(n))), 1) << "call " << n;
      std::string now = Snapshot(host_.db());
      EXPECT_TRUE(now == before) << "call " << n << ": " << FirstDifference(before, now);
    }
    CopyDatabase(pristine, host_.db());
    std::cout << "[ sweep    ] " << counting->calls() << " progress calls failed in turn\n";
    return after;
  };
  std::string closed = sweep([this](automation::DispatchPtr events) { return Close(events); });
  CloseTheDay();
  EXPECT_TRUE(Snapshot(host_.db()) == closed);
  const std::string daily_bill = DailyBill(1);
  sweep([this, &daily_bill](automation::DispatchPtr events) { return Cancel(daily_bill, events); });
}

}  // namespace
}  // namespace tovan::testing
