// A whole closing with its runs of writes sent as set-based statements
// against the same closing sent one statement at a time: the component
// sends the same statements (the trace) and leaves every row the same.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/automation/variant.h"
#include "tests/support/cli_run.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

struct Closed {
  std::string trace;
  std::string rows;
};

std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
  return text;
}

// Closes the demo's last day (every shop, with a check bill) on a database of its own.
Closed CloseDay(bool set_runs) {
  TempDir dir;
  Closed closed;
  HostFixture host(SmallDemo(60, 6, 11));
  EXPECT_EQ(RunDailybalance(dir, {"register"}).exit_code, 0);
  const std::string trace = dir.File("trace.sql");
  ::setenv("DAILYBALANCE_TRACE", trace.c_str(), 1);
  if (!set_runs) ::setenv("DAILYBALANCE_SET_RUNS", "0", 1);
  CliRun close = RunDailybalance(dir, {"close", "--db", host.db(), "--date", "2026-12-04", "--type", "sales", "--shop",
                                       "all", "--client", "314", "--check-bill", "--in-cust", "305"});
  ::unsetenv("DAILYBALANCE_SET_RUNS");
  ::unsetenv("DAILYBALANCE_TRACE");
  EXPECT_EQ(close.exit_code, 0) << close.out << close.err;
  std::stringstream text;
  text << std::ifstream(trace).rdbuf();
  closed.trace = text.str();
  // The audit log holds the clock's time of each entry, and the daily bill its closing's.
  closed.rows = std::regex_replace(host.Dump({"t_AuditLog"}), std::regex(Today() + " \\d\\d:\\d\\d:\\d\\d"),
                                   "<clock>");
  return closed;
}

TEST(SetRuns, AClosingLeavesEveryRowAsOneStatementAtATimeDoes) {
  DAILYBALANCE_REQUIRE_BACKEND();
  const Closed one_by_one = CloseDay(false);
  const Closed set_based = CloseDay(true);
  ASSERT_NE(one_by_one.trace.find("update T_LS_RetailEntry set FBalAmount="), std::string::npos)
      << "the closing brought the balance amounts up to date";
  EXPECT_TRUE(one_by_one.trace == set_based.trace) << "the component's statements differ";
  // Line by line, for a readable difference.
  std::istringstream a(one_by_one.rows), b(set_based.rows);
  std::string table;
  int differences = 0;
  for (std::string left, right; std::getline(a, left) && differences < 10;) {
    std::getline(b, right);
    if (left.starts_with("== ")) table = left;
    if (left != right) {
      ++differences;
      ADD_FAILURE() << table << "\n  one by one: " << left << "\n  set-based:  " << right;
    }
  }
  EXPECT_EQ(one_by_one.rows.size(), set_based.rows.size());
}

// On the server the closing's balance updates stay on their page (the retail
// lines keep room for them), so none of them writes into the table's indexes.
TEST(SetRuns, TheServersBalanceUpdatesStayOnTheirPage) {
  DAILYBALANCE_REQUIRE_BACKEND();
  if (!OnServer()) GTEST_SKIP() << "pages are the server's";
  TempDir dir;
  HostFixture host(SmallDemo(60, 6, 11));
  ASSERT_EQ(RunDailybalance(dir, {"register"}).exit_code, 0);
  CliRun close = RunDailybalance(dir, {"close", "--db", host.db(), "--date", "2026-12-04", "--type", "sales", "--shop",
                                       "all", "--client", "314"});
  ASSERT_EQ(close.exit_code, 0) << close.out << close.err;
  // A session's counts reach the statistics when it ends, a moment after the command has.
  double updated = 0, on_page = 0;
  for (int wait = 0; wait < 50 && updated == 0; ++wait) {
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto rows = host.Query("SELECT n_tup_upd, n_tup_hot_upd FROM pg_stat_user_tables WHERE relname = 'T_LS_RetailEntry'");
    ASSERT_EQ(rows.RowCount(), 1u);
    updated = automation::CDbl(rows.At(0, 0));
    on_page = automation::CDbl(rows.At(0, 1));
  }
  ASSERT_GT(updated, 100) << "the closing updated the balance amounts";
  EXPECT_GE(on_page / updated, 0.95) << on_page << " of " << updated << " updates stayed on their page";
}

}  // namespace
}  // namespace tovan::testing
