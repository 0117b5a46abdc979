// The ADO-shaped data layer on the embedded database: typed fields, static
// recordsets, batches, stored procedures, the trace and the fault seam.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/data/backend_wrappers.h"
#include "platform/data/command.h"
#include "platform/data/data_error.h"
#include "platform/data/recordset.h"
#include "tests/support/scratch_db.h"

namespace tovan::data {
namespace {

using automation::AutomationError;
using automation::Variant;
using automation::VarType;

const char* kSchema = R"(
CREATE TABLE t_Bill (FID int PRIMARY KEY, FBillNo varchar(50), FDate datetime, FChecked bit,
                     FAmount money, FQty decimal(28,10), FNote nvarchar(255));
INSERT INTO t_Bill VALUES (1, 'A001', '2026-12-04', 1, 10.5, 2, NULL);
INSERT INTO t_Bill VALUES (2, '  B002 ', '2026-12-05 08:30:00', 0, 20, 1.5, 'x');
INSERT INTO t_Bill VALUES (3, 'C003', '2026-12-06', 0, 0, 0, '');
)";

int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

TEST(Recordset, StaticTypedAndDetachable) {
  testing::ScratchDb db(kSchema);
  auto conn = db.Open();
  auto rs = Recordset::Create();
  rs->Open("Set NoCount On \r\nselect * from t_Bill where FDate >= '2026-12-04' order by FID\r\nSet NoCount Off", conn,
           ado::kOpenStatic, ado::kLockOptimistic);
  rs->SetActiveConnection(nullptr);  // detached rows stay readable
  ASSERT_EQ(rs->RecordCount(), 3);
  ASSERT_EQ(rs->FieldCount(), 7);
  EXPECT_EQ(rs->FieldName(1), "FBillNo");
  EXPECT_FALSE(rs->BOF());

  EXPECT_EQ(rs->Value("fid").type(), VarType::Long);
  EXPECT_EQ(rs->Value("FDate").type(), VarType::Date);
  EXPECT_EQ(automation::CStr(rs->Value("FDate")), "2026-12-04");
  EXPECT_EQ(rs->Value("FChecked").type(), VarType::Boolean);
  EXPECT_EQ(automation::CStr(rs->Value("FChecked")), "True");
  EXPECT_EQ(rs->Value("FAmount").type(), VarType::Double);
  EXPECT_EQ(rs->Value("FQty").type(), VarType::Double);
  EXPECT_TRUE(rs->Value("FNote").IsNull());
  EXPECT_EQ(rs->Value(Variant(int32_t{1})).string(), "A001") << "by 0-based position";

  rs->MoveNext();
  EXPECT_EQ(rs->Value("FBillNo").string(), "  B002 ") << "text comes back as stored";
  EXPECT_EQ(automation::CStr(rs->Value("FDate")), "2026-12-05 08:30:00");
  EXPECT_EQ(rs->Value("FAmount").double_value(), 20.0);
  rs->MoveNext();
  rs->MoveNext();
  EXPECT_TRUE(rs->EOF_());
  EXPECT_EQ(ErrorOf([&] { rs->Value("FID"); }), adoerr::kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), adoerr::kNoCurrentRecord);
  rs->MoveFirst();
  EXPECT_EQ(ErrorOf([&] { rs->Value("NoSuchField"); }), adoerr::kItemNotFound);

  // Late-bound, as a host reads it: rs("FBillNo"), rs.Fields("FID").Value, Fields.Count.
  EXPECT_EQ(rs->Call("", "FBILLNO").string(), "A001");
  auto fields = rs->Call("Fields");
  EXPECT_EQ(fields.object()->Call("Count").long_value(), 7);
  auto field = fields.object()->Call("Item", "FID");
  EXPECT_EQ(field.object()->Call("Value").long_value(), 1);
  EXPECT_EQ(automation::CLng(field), 1) << "a field used as a value is its Value";

  rs->Close();
  EXPECT_EQ(ErrorOf([&] { rs->RecordCount(); }), adoerr::kObjectClosed);

  // An empty result still has its columns, and is at EOF and BOF at once.
  rs->Open("select FID, FBillNo from t_Bill where 1=0", conn);
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_TRUE(rs->EOF_());
  EXPECT_TRUE(rs->BOF());
  EXPECT_EQ(rs->FieldCount(), 2);
}

TEST(Connection, BatchesCountsAndErrors) {
  testing::ScratchDb db(kSchema);
  auto conn = db.Open();
  int32_t affected = -1;
  auto rs = conn->Execute("update t_Bill set FNote='n' where FID in (1,2)\r\nupdate t_Bill set FNote='m' where FID=3",
                          &affected);
  EXPECT_EQ(affected, 3);
  EXPECT_FALSE(rs->IsOpen()) << "a batch without a result set gives a closed recordset";

  // A quoted number against a numeric column compares as a number, as on the server.
  conn->Execute("update t_Bill set FAmount='30' where FID='3'", &affected);
  EXPECT_EQ(affected, 1);
  rs = conn->Execute("select FAmount from t_Bill where FID=3");
  EXPECT_EQ(rs->Value("FAmount").double_value(), 30.0);

  // The statements before a failing one stay executed; the error carries the database's message.
  try {
    conn->Execute("update t_Bill set FNote='before' where FID=1\r\nupdate t_NoSuchTable set x=1");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kDatabaseError);
    EXPECT_NE(e.description().find("t_NoSuchTable"), std::string::npos) << e.description();
  }
  EXPECT_EQ(conn->Execute("select FNote from t_Bill where FID=1")->Value("FNote").string(), "before");

  // Late-bound Execute writes RecordsAffected back.
  std::vector<Variant> args{Variant("delete from t_Bill where FID=3"), Variant(int32_t{0})};
  conn->Invoke("Execute", automation::InvokeKind::Get, args);
  EXPECT_EQ(automation::CLng(args[1]), 1);
}

// Batches that differ only in their values share one translation and one
// prepared statement; each must still mean exactly what its own text says.
TEST(Connection, BatchesOfOneShapeKeepTheirOwnValues) {
  testing::ScratchDb db(kSchema);
  auto conn = db.Open();
  auto text = [&](const std::string& sql) {
    auto rs = conn->Execute(sql);
    std::string out;
    for (; !rs->EOF_(); rs->MoveNext())
      for (int32_t c = 0; c < rs->FieldCount(); ++c) out.append(c ? "|" : out.empty() ? "" : ",").append(automation::CStr(rs->Value(c)));
    return out;
  };

  // A whole number, a decimal and text in the same place of the same shape.
  conn->Execute("insert into t_Bill (FID, FBillNo, FQty) values (7, 'it''s', 12)");
  conn->Execute("insert into t_Bill (FID, FBillNo, FQty) values (8, 'x', 2.5)");
  conn->Execute("insert into t_Bill (FID, FBillNo, FQty) values (9, N'y', '0.125')");
  EXPECT_EQ(text("select FBillNo, FQty from t_Bill where FID in (7,8,9) order by FID"), "it's|12,x|2.5,y|0.125");

  // Dates are compared in their canonical form, however they are written.
  EXPECT_EQ(text("select FID from t_Bill where FDate='2026-12-04'"), "1");
  EXPECT_EQ(text("select FID from t_Bill where FDate='2026/12/6'"), "3");

  // Literals that are not values stay what they are: result column names,
  // ORDER BY positions, TOP counts and LIKE patterns.
  auto rs = conn->Execute("select 1, 'a' as x from t_Bill where FID=1");
  EXPECT_EQ(rs->FieldName(0), "1");
  EXPECT_EQ(automation::CStr(conn->Execute("select 2, 'b' as x from t_Bill where FID=2")->Value(0)), "2");
  EXPECT_EQ(text("select FID, FBillNo from t_Bill where FID<4 order by 2"), "2|  B002 ,1|A001,3|C003");
  EXPECT_EQ(text("select FID, FBillNo from t_Bill where FID<4 order by 1 desc"), "3|C003,2|  B002 ,1|A001");
  EXPECT_EQ(text("select top 1 FID from t_Bill order by FID"), "1");
  EXPECT_EQ(text("select top 2 FID from t_Bill order by FID"), "1,2");
  EXPECT_EQ(text("select FID from t_Bill where FBillNo like 'A%'"), "1");
  EXPECT_EQ(ErrorOf([&] { conn->Execute("select FID from t_Bill where FBillNo like '[AB]%'"); }), kDatabaseError);

  // A list longer than a statement binds keeps its values in the text.
  std::string ids = "1";
  for (int i = 100; i < 400; ++i) ids.append(",").append(std::to_string(i));
  EXPECT_EQ(text("select count(*) from t_Bill where FID in (" + ids + ")"), "1");
  EXPECT_EQ(text("select count(*) from t_Bill where FID in (" + ids.substr(2) + ",2,3)"), "2");
}

TEST(Command, StoredProcedureParameters) {
  testing::ScratchDb db(kSchema);
  auto conn = db.Open();
  conn->backend().RegisterProcedure("NextNumber", [](ConnectionBackend&, std::vector<ProcedureArgument>& args) {
    // @Base input, @Result input/output
    args[1].value = Variant(automation::CLng(args[0].value) + automation::CLng(args[1].value) + 1);
    return int32_t{7};
  });
  auto cmd = Command::Create();
  cmd->SetActiveConnection(conn);
  cmd->SetCommandText("nextnumber");
  cmd->SetCommandType(ado::kCmdStoredProc);
  auto params = cmd->GetParameters();
  params->Append(cmd->CreateParameter("RETURN_VALUE", ado::kInteger, ado::kParamReturnValue, 0));
  params->Append(cmd->CreateParameter("@Base", ado::kVarChar, ado::kParamInput, 50, Variant("40")));
  params->Append(cmd->CreateParameter("@Result", ado::kInteger, ado::kParamInputOutput, 0, Variant(int32_t{1})));
  cmd->Execute(ado::kExecuteNoRecords);
  EXPECT_EQ(params->Item(Variant("@result"))->Value().long_value(), 42);
  EXPECT_EQ(params->Item(Variant(int32_t{0}))->Value().long_value(), 7);
  EXPECT_EQ(params->Item(Variant("@Base"))->Value().string(), "40") << "inputs are not written back";
  EXPECT_EQ(ErrorOf([&] { params->Item(Variant("@Nope")); }), 3265);

  cmd->SetCommandText("NoSuchProcedure");
  EXPECT_EQ(ErrorOf([&] { cmd->Execute(); }), kDatabaseError);
}

TEST(StatementHooks, TraceAndInjectedFaults) {
  testing::ScratchDb db(kSchema);
  std::string trace_path = db.dir().File("trace.sql");
  ::setenv("DAILYBALANCE_TRACE", trace_path.c_str(), 1);
  auto conn = db.Open();
  ::unsetenv("DAILYBALANCE_TRACE");
  conn->Execute("select 1\r\nselect 2");
  conn->Execute("update t_Bill set FNote='q' where FID=1");
  std::stringstream trace;
  trace << std::ifstream(trace_path).rdbuf();
  EXPECT_EQ(trace.str(), "select 1\r\nselect 2\n-- end --\nupdate t_Bill set FNote='q' where FID=1\n-- end --\n");

  InjectFaults(*conn, FaultInjector::AtStatement(2, FaultInjector::Action::Fail));
  conn->Execute("update t_Bill set FNote='first' where FID=1");
  EXPECT_EQ(ErrorOf([&] { conn->Execute("update t_Bill set FNote='second' where FID=1"); }), kDatabaseError);
  conn->Execute("update t_Bill set FNote='third' where FID=2");
  auto rs = conn->Execute("select FNote from t_Bill where FID=1");
  EXPECT_EQ(rs->Value("FNote").string(), "first") << "the failed statement did not run";

  auto on_text = FaultInjector::OnText("t_Bill set FAmount", FaultInjector::Action::Fail);
  InjectFaults(*conn, on_text);
  conn->Execute("select 1");
  EXPECT_EQ(ErrorOf([&] { conn->Execute("update t_Bill set FAmount=1"); }), kDatabaseError);
  EXPECT_EQ(on_text->statements_seen(), 2);
  EXPECT_EQ(on_text->faults_fired(), 1);
}

TEST(StatementHooks, WrappersOnlyWhereAsked) {
  testing::ScratchDb db(kSchema);
  auto plain = db.Open();
  EXPECT_EQ(&plain->statements(), &plain->backend()) << "no wrapper between a plain connection and its engine";

  std::string trace_path = db.dir().File("trace.sql");
  ::setenv("DAILYBALANCE_TRACE", trace_path.c_str(), 1);
  ::setenv("DAILYBALANCE_FAULT", "fail:FNote='bad'", 1);
  auto conn = db.Open();
  ::unsetenv("DAILYBALANCE_TRACE");
  ::unsetenv("DAILYBALANCE_FAULT");
  EXPECT_EQ(ErrorOf([&] { conn->Execute("update t_Bill set FNote='bad' where FID=1"); }), kDatabaseError);
  // The engine's own SQL is neither traced nor counted.
  conn->backend().ExecuteNative("UPDATE t_Bill SET FNote='bad' WHERE FID=2", {});
  conn->statements().ExecuteNative("UPDATE t_Bill SET FNote='bad' WHERE FID=3", {});

  // A test's plan takes the place of the environment's instead of adding to it.
  auto second = FaultInjector::AtStatement(2, FaultInjector::Action::Fail);
  InjectFaults(*conn, second);
  conn->Execute("update t_Bill set FNote='bad' where FID=1");
  EXPECT_EQ(ErrorOf([&] { conn->Execute("select 2"); }), kDatabaseError);
  EXPECT_EQ(second->statements_seen(), 2);
  InjectFaults(*conn, nullptr);
  conn->Execute("select 3");

  std::stringstream trace;
  trace << std::ifstream(trace_path).rdbuf();
  EXPECT_EQ(trace.str(),
            "update t_Bill set FNote='bad' where FID=1\n-- end --\nupdate t_Bill set FNote='bad' where FID=1\n-- end "
            "--\nselect 2\n-- end --\nselect 3\n-- end --\n")
      << "failed statements are traced too";
  EXPECT_EQ(second->statements_seen(), 2);
}

}  // namespace
}  // namespace tovan::data
