// Batches that differ only in their values share one translation (and on a
// server one prepared statement): each must still answer for its own values,
// whatever their kind, and a batch the server cannot prepare runs as text.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/data/data_error.h"
#include "platform/data/postgresql/backend.h"
#include "platform/data/recordset.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"
#include "tests/support/host_fixture.h"

namespace tovan::data {
namespace {

std::string Rows(Connection& conn, const std::string& sql) {
  auto rs = conn.Execute(sql);
  std::string out;
  for (; !rs->EOF_(); rs->MoveNext()) {
    if (!out.empty()) out += ",";
    for (int32_t c = 0; c < rs->FieldCount(); ++c) out += (c ? "|" : "") + automation::CStr(rs->Value(c));
  }
  return out;
}

class StatementShapes : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = OpenConnection(host_.db());
    conn_->Execute("insert into t_LS_Retail (FID, FBillNo, FTotalAmount) values (7, 'it''s', 12)");
    conn_->Execute("insert into t_LS_Retail (FID, FBillNo, FTotalAmount) values (8, 'x', 2.5)");
    conn_->Execute("insert into t_LS_Retail (FID, FBillNo, FTotalAmount) values (9, N'y', '0.125')");
  }
  testing::HostFixture host_{testing::SmallDemo(0)};
  std::shared_ptr<Connection> conn_;
};

TEST_F(StatementShapes, EachBatchAnswersForItsOwnValues) {
  Connection& conn = *conn_;
  EXPECT_EQ(Rows(conn, "select FBillNo, FTotalAmount from t_LS_Retail where FID in (7,8,9) order by FID"),
            "it's|12,x|2.5,y|0.125");
  EXPECT_EQ(Rows(conn, "select FBillNo from t_LS_Retail where FID=7"), "it's");
  EXPECT_EQ(Rows(conn, "select FBillNo from t_LS_Retail where FID=8"), "x");
  // Numeric text compared with a number column, in the same place.
  EXPECT_EQ(Rows(conn, "select FID from t_LS_Retail where FID='9'"), "9");
  EXPECT_EQ(Rows(conn, "select FID from t_LS_Retail where FID='8'"), "8");
  EXPECT_EQ(Rows(conn, "select FID from t_LS_Retail where FTotalAmount='0.125'"), "9");
  // A whole number too large for an integer column finds nothing and fails nothing.
  EXPECT_EQ(Rows(conn, "select FID from t_LS_Retail where FID=5000000000"), "");
  EXPECT_EQ(Rows(conn, "select FID from t_LS_Retail where FID=7"), "7");
  // Quotes inside a value, and a value that looks like a parameter.
  conn.Execute("update t_LS_Retail set FBillNo='$1 ''a''' where FID=8");
  EXPECT_EQ(Rows(conn, "select FID from t_LS_Retail where FBillNo='$1 ''a'''"), "8");
  EXPECT_EQ(Rows(conn, "select FBillNo from t_LS_Retail where FID=8"), "$1 'a'");
  // Many batches of one shape, each with its values.
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    conn.Execute(fmt::format("insert into t_LS_Retail (FID, FBillNo) values ({}, 'B{}')", 100 + i, i));
    ASSERT_EQ(Rows(conn, fmt::format("select FBillNo from t_LS_Retail where FID={}", 100 + i)), fmt::format("B{}", i));
  }
  EXPECT_EQ(Rows(conn, "select count(*) from t_LS_Retail where FBillNo like 'B%'"), "100");
}

TEST_F(StatementShapes, ABatchThatMakesTheTableItUsesRuns) {
  // The second statement names a table only the first one makes: it cannot
  // be prepared before the batch runs, so the batch goes as text.
  for (const char* id : {"7", "9"}) {
    conn_->Execute(std::string("if object_id('tempdb..#s') is not null drop table #s\r\n") +
                   "SELECT * INTO #s FROM t_LS_Retail WHERE FID=" + id +
                   "\r\nupdate #s set FBillNo='z' where FID=" + id);
    EXPECT_EQ(Rows(*conn_, "select FID, FBillNo from #s"), std::string(id) + "|z");
  }
}

TEST_F(StatementShapes, AFailingStatementFailsAloneAndThoseBeforeItStand) {
  // In a batch, in a run of held writes, inside a unit and outside one.
  auto bill_no = [&](int id) {
    return automation::CStr(host_.Scalar(fmt::format("SELECT FBillNo FROM t_LS_Retail WHERE FID={}", id)));
  };
  auto attempt = [&](const std::function<void()>& writes) {
    try {
      writes();
      return 0;
    } catch (const automation::AutomationError& e) {
      return e.number();
    }
  };
  for (bool in_unit : {false, true}) {
    SCOPED_TRACE(in_unit ? "inside a unit" : "outside a unit");
    std::optional<host::HostUnitOfWork> unit;
    if (in_unit) {
      unit.emplace();
      host::GlobalContext::ForThread().GetDataContext()->OpenDsn(host_.db());
    }
    Connection& conn = in_unit ? *host::GlobalContext::ForThread().GetDataContext()->GetConnection() : *conn_;
    EXPECT_EQ(attempt([&] {
                conn.Execute(
                    "update t_LS_Retail set FBillNo='a' where FID=7\r\n"
                    "update t_LS_Retail set FBillNo='b' where FID=8\r\n"
                    "insert into t_LS_Retail (FID, FBillNo) values (9, 'again')\r\n"
                    "update t_LS_Retail set FBillNo='c' where FID=9");
              }),
              kDatabaseError);
    // Held back on a server, the failure comes at the end of the run at the latest.
    EXPECT_EQ(attempt([&] {
                StatementRun run(conn);
                conn.Execute("update t_LS_Retail set FTotalAmount=1 where FID=7");
                conn.Execute("update t_LS_Retail set FTotalAmount=2 where FID=8");
                conn.Execute("insert into t_LS_Retail (FID, FBillNo) values (8, 'again')");
                conn.Execute("update t_LS_Retail set FTotalAmount=3 where FID=9");
                run.Finish();
              }),
              kDatabaseError);
    if (unit) unit->Commit();
    EXPECT_EQ(bill_no(7), "a");
    EXPECT_EQ(bill_no(8), "b");
    EXPECT_EQ(bill_no(9), "y") << "the statement after the failing one did not run";
    EXPECT_EQ(Rows(*conn_, "select FID, FTotalAmount from t_LS_Retail where FID in (7,8,9) order by FID"),
              "7|1,8|2,9|0.125");
    EXPECT_EQ(Rows(*conn_, "select count(*) from t_LS_Retail"), "3");
    conn_->Execute("update t_LS_Retail set FBillNo='it''s', FTotalAmount=12 where FID=7");
    conn_->Execute("update t_LS_Retail set FBillNo='x', FTotalAmount=2.5 where FID=8");
  }
  host::GlobalContext::ForThread().Reset();
}

TEST_F(StatementShapes, AServerSessionMadeAgainPreparesAgain) {
  if (!IsServerDataSource(host_.db())) GTEST_SKIP() << "a server's sessions only";
  // The second run of a shape prepares it.
  EXPECT_EQ(Rows(*conn_, "select FBillNo from t_LS_Retail where FID=9"), "y");
  EXPECT_EQ(Rows(*conn_, "select FBillNo from t_LS_Retail where FID=7"), "it's");
  const int pid = static_cast<postgresql::PostgresBackend&>(conn_->backend()).ServerProcessId();
  host_.Query(fmt::format("SELECT pg_terminate_backend({})", pid));
  // The first exchange after the loss finds the session gone and makes it
  // again, outside a unit; the statement prepared before is prepared anew.
  std::string after;
  for (int attempt = 0; attempt < 2 && after.empty(); ++attempt) {
    try {
      after = Rows(*conn_, "select FBillNo from t_LS_Retail where FID=8");
    } catch (const automation::AutomationError&) {
    }
  }
  EXPECT_EQ(after, "x");
  EXPECT_EQ(Rows(*conn_, "select FBillNo from t_LS_Retail where FID=7"), "it's");
}

}  // namespace
}  // namespace tovan::data
