// The statements of a whole closing and of its cancellation, exactly as the
// component sends them and as the backend runs them, reach the tables that
// grow with every closed day through indexes: none of them walks such a
// table, or one of its indexes, from end to end.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "platform/automation/error.h"
#include "platform/data/open.h"
#include "platform/data/sqlite/backend.h"
#include "platform/data/sqlite/tsql_dialect.h"
#include "tests/support/cli_run.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

using data::sqlite::TranslatedStatement;

// Tables whose rows grow with bills, closings and cancellations.
const char* const kGrowing[] = {"t_LS_Retail",      "T_LS_RetailEntry",     "t_LS_RetailEntry2",   "t_LS_DailyBill",
                                "t_LS_DailyBillEntry", "t_cc_stockbill",    "t_CC_StockBillEntry", "t_rp_Checkbill",
                                "t_rp_Checkbillentry1", "t_RP_CheckBillentry2", "t_RP_RBillEntry",  "t_searchinfo_temp",
                                "t_CC_StockPosting"};

class Planner {
 public:
  explicit Planner(const std::string& db)
      : connection_(data::OpenConnection(db)),
        db_(static_cast<data::sqlite::SqliteBackend&>(connection_->backend())) {
    std::string names;
    for (const char* t : kGrowing) names += std::string(names.empty() ? "'" : ",'") + t + "'";
    auto rows = db_.ExecuteNative("SELECT rootpage, name FROM sqlite_master WHERE tbl_name IN (" + names +
                                      ") COLLATE NOCASE",
                                  {});
    for (size_t r = 0; r < rows.RowCount(); ++r)
      growing_[automation::CLng(rows.At(r, 0))] = automation::CStr(rows.At(r, 1));
  }
  size_t growing_btrees() const { return growing_.size(); }

  // The growing tables and indexes the statement's program walks whole (a
  // Rewind or Last on a cursor opened on them), triggers included; `error`
  // when it cannot be planned.
  std::set<std::string> WalkedWhole(const std::string& sql, std::string& error) {
    std::set<std::string> walked;
    data::ResultSet program;
    try {
      program = db_.ExecuteNative("EXPLAIN " + sql, {});
    } catch (const automation::AutomationError& e) {
      error = e.description();
      return walked;
    }
    std::map<int32_t, int32_t> root_of_cursor;
    for (size_t r = 0; r < program.RowCount(); ++r) {
      // Trigger programs follow the statement's, each numbering its cursors from 0.
      if (automation::CLng(program.At(r, 0)) == 0) root_of_cursor.clear();
      std::string opcode = automation::CStr(program.At(r, 1));
      int32_t p1 = automation::CLng(program.At(r, 2)), p2 = automation::CLng(program.At(r, 3));
      bool main_db = automation::CLng(program.At(r, 4)) == 0;
      if ((opcode == "OpenRead" || opcode == "OpenWrite") && main_db) root_of_cursor[p1] = p2;
      if (opcode == "Rewind" || opcode == "Last") {
        auto cursor = root_of_cursor.find(p1);
        if (cursor != root_of_cursor.end() && growing_.contains(cursor->second)) walked.insert(growing_[cursor->second]);
      }
    }
    return walked;
  }

 private:
  std::shared_ptr<data::Connection> connection_;
  data::sqlite::SqliteBackend& db_;
  std::map<int32_t, std::string> growing_;
};

TEST(StatementPlans, ClosingAndCancellationReachGrowingTablesThroughIndexes) {
  TempDir dir;
  const std::string db = dir.File("shop.db"), trace = dir.File("trace.sql");
  hostlib::BuildDatabase(db, SmallDemo(60, 6, 11));
  ASSERT_EQ(RunDailybalance(dir, {"register"}).exit_code, 0);
  ::setenv("DAILYBALANCE_TRACE", trace.c_str(), 1);
  CliRun close = RunDailybalance(dir, {"close", "--db", db, "--date", "2026-12-04", "--type", "sales", "--shop",
                                       "all", "--client", "314", "--check-bill", "--in-cust", "305"});
  CliRun cancel = RunDailybalance(dir, {"cancel", "--db", db, "1", "--reason", "test"});
  ::unsetenv("DAILYBALANCE_TRACE");
  ASSERT_EQ(close.exit_code, 0) << close.out << close.err;
  ASSERT_EQ(cancel.exit_code, 0) << cancel.out << cancel.err;

  std::stringstream text;
  text << std::ifstream(trace).rdbuf();
  const std::string all = text.str();
  Planner planner(db);
  ASSERT_GT(planner.growing_btrees(), 20u);
  size_t planned = 0;
  std::function<void(const std::vector<TranslatedStatement>&)> check = [&](const auto& statements) {
    for (const TranslatedStatement& s : statements) {
      if (s.kind == TranslatedStatement::Kind::Skip) continue;
      std::string error;
      std::set<std::string> walked = planner.WalkedWhole(s.sql, error);
      // The closing's temporary table exists only on the closing's connection.
      if (!error.empty() && error.find("#0408") != std::string::npos) continue;
      EXPECT_EQ(error, "") << s.sql;
      for (const std::string& name : walked) ADD_FAILURE() << "walks " << name << " whole: " << s.original;
      ++planned;
      check(s.then);
    }
  };
  // Planned as the backend runs them: with their values as parameters.
  for (size_t at = 0, end; (end = all.find("\n-- end --\n", at)) != std::string::npos; at = end + 11) {
    const std::string batch = all.substr(at, end - at);
    std::vector<data::sqlite::Token> tokens;
    if (!data::sqlite::Tokenize(batch, tokens).ok) continue;
    auto translation = data::sqlite::TranslateTokens(batch, tokens, /*parameterize=*/true);
    if (translation.ok) check(translation.statements);  // the rest are stored-procedure calls
  }
  EXPECT_GT(planned, 50u) << "the trace holds the closing and the cancellation";
}

}  // namespace
}  // namespace tovan::testing
