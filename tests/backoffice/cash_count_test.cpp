// The cash count at closing, on both engines: entries read exactly (amounts
// and notes and coins, in whole fen), the count is stored with the closing
// against the settlement sums the closing books, a failed closing stores
// none, a cancellation removes it while the audit trail keeps it, and the
// tolerance asks for a note and a supervisor's sign-off.
#include <gtest/gtest.h>

#include "backoffice/audit.h"
#include "backoffice/cancellation.h"
#include "backoffice/closing.h"
#include "backoffice/closing_report.h"
#include "backoffice/lookups.h"
#include "backoffice/operators.h"
#include "backoffice/system_options.h"
#include "tests/backoffice/backoffice_test_support.h"

namespace tovan::testing {
namespace {

namespace bo = backoffice;

bo::ClosingRequest ShopDay(int day) {
  bo::ClosingRequest request;
  request.date = automation::Date::FromParts(2026, 12, day);
  request.bill_type = "1";
  request.shop = "1";
  request.client = 314;
  return request;
}

// What the day's bills of shop 1 expect per method the closing books.
std::vector<bo::SelectionTotals::Method> Expected(BackOfficeHost& office, int day) {
  const std::string ids = office.Bills("2026-12-0" + std::to_string(day), 1, 1);
  return bo::TotalSelection(office.session(), ids).methods;
}

// Every expected method counted at its expected amount plus `off` on the first.
bo::CashCountInput CountOf(const std::vector<bo::SelectionTotals::Method>& methods, double off) {
  bo::CashCountInput count;
  for (const auto& m : methods)
    count.entries.push_back(bo::CountEntry{m.name, m.amount + (count.entries.empty() ? off : 0.0), {}});
  return count;
}

std::string Text(HostFixture& host, const std::string& sql) {
  auto v = host.Scalar(sql);
  return v.IsNull() || v.IsEmpty() ? "" : automation::CStr(v);
}

TEST(CashCount, EntriesReadAsAmountsOrNotesAndCoinsInWholeFen) {
  bo::CountEntry cash = bo::CountEntryArgument("count", "现金=1234.50");
  EXPECT_EQ(cash.method, "现金");
  EXPECT_DOUBLE_EQ(cash.amount, 1234.50);
  EXPECT_TRUE(cash.pieces.empty());

  bo::CountEntry notes = bo::CountEntryArgument("count", "1=100x12+50x3+0.5x4+0.1x3");
  EXPECT_EQ(notes.method, "1");
  EXPECT_DOUBLE_EQ(notes.amount, 1352.30);  // summed in fen: 0.1 x 3 is 0.30, not 0.30000000000000004
  ASSERT_EQ(notes.pieces.size(), 4u);
  EXPECT_DOUBLE_EQ(notes.pieces[2].denomination, 0.5);
  EXPECT_EQ(notes.pieces[2].pieces, 4);
  EXPECT_DOUBLE_EQ(bo::CountEntryArgument("count", "银行卡=-20.1").amount, -20.10);  // a returns day pays out

  for (const char* bad : {"现金", "=5", "现金=", "现金=1.234", "现金=1e3", "现金=3x1", "现金=100x-1", "现金=100x",
                          "现金=0.05x2", "现金=100x1+", "it's=5", "现金=100x99999999"}) {
    SCOPED_TRACE(bad);
    auto refusal = RefusalOf([&] { bo::CountEntryArgument("count", bad); });
    if (refusal) {
      EXPECT_EQ(refusal->field, "count");
    }
  }
  EXPECT_EQ(bo::CountNoteArgument("countNote", "  短款，已查明  "), "短款，已查明");
  EXPECT_TRUE(RefusalOf([] { bo::CountNoteArgument("countNote", "two\nlines"); }));
}

TEST(CashCount, StoredWithTheClosingAndRemovedWithItsCancellation) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  HostFixture& host = office.host();
  auto methods = Expected(office, 4);
  ASSERT_FALSE(methods.empty());

  // A failed closing stores no count: the daily bill's entries meet no table.
  bo::ClosingRequest failing = ShopDay(4);
  failing.count = CountOf(methods, 0);
  host.Query("ALTER TABLE t_LS_DailyBillEntry RENAME TO t_LS_DailyBillEntry_gone");
  EXPECT_THROW(bo::RunClosing(office.session(), failing, BackOfficeHost::Progress()), bo::OperationFailed);
  host.Query("ALTER TABLE t_LS_DailyBillEntry_gone RENAME TO t_LS_DailyBillEntry");
  EXPECT_EQ(Text(host, "SELECT count(*) FROM t_LS_CashCount"), "0");
  EXPECT_EQ(Text(host, "SELECT count(*) FROM t_LS_CashCountEntry"), "0");

  // Counted by name, by number and by notes and coins; the first method 0.30 over.
  bo::ClosingRequest request = ShopDay(4);
  bo::CashCountInput count = CountOf(methods, 0.30);
  count.entries.back().method = Text(host, "SELECT FNumber FROM t_LS_Settle WHERE FItemID=" +
                                               std::to_string(methods.back().id));
  count.note = "零钱多找";
  request.count = count;
  bo::ClosingResult closed = bo::RunClosing(office.session(), request, BackOfficeHost::Progress());
  ASSERT_TRUE(closed.count);
  const std::string day = std::to_string(closed.daily_bill_id);
  EXPECT_EQ(Text(host, "SELECT count(*) FROM t_LS_CashCountEntry WHERE FDailyBillID=" + day),
            std::to_string(methods.size()));
  for (size_t i = 0; i < methods.size(); ++i) {
    SCOPED_TRACE(methods[i].name);
    const std::string of = " FROM t_LS_CashCountEntry WHERE FDailyBillID=" + day + " AND FSettleID=" +
                           std::to_string(methods[i].id);
    // Expected is what the bills were settled with by that method.
    const double settled = automation::CDbl(host.Scalar(
        "SELECT sum(e.FSettleAmount) FROM t_LS_RetailEntry2 e JOIN t_LS_Retail r ON r.FID=e.FID WHERE "
        "r.FDailyBillID=" + day + " AND e.FSettleID=" + std::to_string(methods[i].id)));
    EXPECT_NEAR(automation::CDbl(host.Scalar("SELECT FExpected" + of)), settled, 0.005);
    EXPECT_NEAR(automation::CDbl(host.Scalar("SELECT FCounted" + of)), settled + (i == 0 ? 0.30 : 0), 0.005);
  }
  EXPECT_EQ(Text(host, "SELECT FNote FROM t_LS_CashCount WHERE FDailyBillID=" + day), "零钱多找");
  EXPECT_EQ(Text(host, "SELECT FSupervisorID FROM t_LS_CashCount WHERE FDailyBillID=" + day), "1")
      << "beyond the default tolerance of 0, an admin's count is signed by its counting";

  bo::ClosingReport report = bo::ReportClosing(office.session(), closed.daily_bill_id);
  ASSERT_TRUE(report.count);
  ASSERT_EQ(report.count->lines.size(), methods.size());
  double differences = 0;
  for (const auto& line : report.count->lines) differences += line.difference;
  EXPECT_NEAR(differences, 0.30, 1e-9);
  EXPECT_EQ(report.count->signed_off_by_name, "系统管理员");

  bo::CancelResult cancelled = bo::CancelClosings(office.session(), day, "点钞重做", BackOfficeHost::Progress());
  ASSERT_EQ(cancelled.cancelled.size(), 1u);
  EXPECT_EQ(Text(host, "SELECT count(*) FROM t_LS_CashCount"), "0");
  EXPECT_EQ(Text(host, "SELECT count(*) FROM t_LS_CashCountEntry"), "0");
  // The trail keeps what the count said, at the closing and at its removal.
  auto trail = bo::ReadAuditTrail(office.session(), bo::AuditFilter{});
  int closing_rows = 0, removal_rows = 0;
  for (const bo::AuditRow& row : trail) {
    if (row.event == "close" && row.result == "done" && row.message.find("note: 零钱多找") != std::string::npos) ++closing_rows;
    if (row.event == "cancel" && row.message.find("removed count") != std::string::npos) ++removal_rows;
  }
  EXPECT_EQ(closing_rows, 1);
  EXPECT_EQ(removal_rows, 1);
}

TEST(CashCount, TheToleranceAsksForANoteAndASupervisorsSignOff) {
  DAILYBALANCE_REQUIRE_BACKEND();
  BackOfficeHost office;
  HostFixture& host = office.host();
  bo::SetOption(office.session(), "POS", "MaxCountDifference", "5");
  bo::SetPassword(office.session(), 3, "supervisor secret");
  bo::SetPassword(office.session(), 2, "closer secret");
  bo::Session closer(bo::SessionOptions{host.db(), 2});  // closes shop 1
  auto methods = Expected(office, 4);
  ASSERT_FALSE(methods.empty());
  const std::string cash = methods.front().name;

  auto refused = [&](bo::ClosingRequest request, const std::string& field, const std::string& says) {
    SCOPED_TRACE(field + ": " + says);
    auto refusal = RefusalOf([&] { bo::RunClosing(closer, request, BackOfficeHost::Progress()); });
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->field, field);
    EXPECT_NE(refusal->message.find(says), std::string::npos) << refusal->message;
  };
  bo::ClosingRequest over = ShopDay(4);
  over.count = CountOf(methods, -10);
  refused(over, "countNote", "beyond the tolerance of 5.00");
  over.count->note = "短款 10 元";
  refused(over, "signOff", "a supervisor must sign it off");
  over.count->sign_off = bo::CountSignOff{"3", "wrong"};
  refused(over, "signOff", bo::kWrongSignOff);
  over.count->sign_off = bo::CountSignOff{"nobody", "supervisor secret"};
  refused(over, "signOff", bo::kWrongSignOff);
  over.count->sign_off = bo::CountSignOff{"门店主管", "closer secret"};
  refused(over, "signOff", "is a closer");

  bo::ClosingRequest unknown = ShopDay(4);
  unknown.count = CountOf(methods, 0);
  unknown.count->entries.push_back(bo::CountEntry{"礼券", 10, {}});
  refused(unknown, "count", "not a settlement method of this closing");
  bo::ClosingRequest twice = ShopDay(4);
  twice.count = CountOf(methods, 0);
  twice.count->entries.push_back(bo::CountEntry{std::to_string(methods.front().id), 1, {}});
  refused(twice, "count", "counted twice");
  EXPECT_EQ(Text(host, "SELECT count(*) FROM t_LS_DailyBill"), "0") << "a refused count writes nothing";

  // Signed off by the supervisor, by name.
  over.count->sign_off = bo::CountSignOff{"财务会计", "supervisor secret"};
  bo::ClosingResult closed = bo::RunClosing(closer, over, BackOfficeHost::Progress());
  ASSERT_TRUE(closed.count);
  EXPECT_EQ(closed.count->signed_off_by, 3);
  EXPECT_EQ(closed.count->counted_by, 2);
  EXPECT_DOUBLE_EQ(closed.count->lines.front().difference, -10);

  // Within the tolerance the closer's count stands alone, without a note.
  bo::ClosingRequest within = ShopDay(3);
  within.count = CountOf(Expected(office, 3), 4.99);
  bo::ClosingResult alone = bo::RunClosing(closer, within, BackOfficeHost::Progress());
  ASSERT_TRUE(alone.count);
  EXPECT_EQ(alone.count->signed_off_by, 0);
  EXPECT_EQ(Text(host, "SELECT FSupervisorID FROM t_LS_CashCount WHERE FDailyBillID=" +
                           std::to_string(alone.daily_bill_id)),
            "0");

  // A required count: none, or one without every method, is refused.
  bo::SetOption(office.session(), "POS", "CountRequired", "1");
  methods = Expected(office, 2);
  refused(ShopDay(2), "count", "a cash count is required");
  if (methods.size() > 1) {
    bo::ClosingRequest partial = ShopDay(2);
    partial.count = CountOf(methods, 0);
    partial.count->entries.pop_back();
    refused(partial, "count", methods.back().name + " not counted");
  }
  bo::ClosingRequest full = ShopDay(2);
  full.count = CountOf(methods, 0);
  EXPECT_TRUE(bo::RunClosing(closer, full, BackOfficeHost::Progress()).count);

  // The tolerance is an amount with two decimals.
  EXPECT_EQ(bo::ReadOption(office.session(), "POS", "MaxCountDifference").value, "5.00");
  EXPECT_TRUE(RefusalOf([&] { bo::SetOption(office.session(), "POS", "MaxCountDifference", "1.005"); }));
  EXPECT_TRUE(RefusalOf([&] { bo::SetOption(office.session(), "POS", "MaxCountDifference", "-1"); }));
}

}  // namespace
}  // namespace tovan::testing
