// Bill numbers, interior IDs and the amounts' rounding.
#include <gtest/gtest.h>

#include <cmath>

#include "numbering/bill_numbers.h"
#include "numbering/round_to.h"
#include "platform/data/data_error.h"
#include "platform/automation/error.h"
#include "platform/host/data_context.h"
#include "tests/support/host_fixture.h"

namespace tovan::numbering {
namespace {

using automation::Variant;

std::string Today(int offset_days = 0) {
  auto d = automation::Date{std::floor(automation::Date::Now().serial) + offset_days}.ToParts();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

void InsertDailyBill(const testing::HostFixture& host, const std::string& number) {
  auto connection = data::OpenConnection(host.db());
  connection->Execute("insert into t_LS_DailyBill (FClassTypeID, FBillNo, FDate) values (1090001, '" + number +
                      "', '2026-12-04')");
}

TEST(DailyBillNumber, SequenceOfTheDay) {
  testing::HostFixture host(testing::SmallDemo(0));
  // The NULL maximum of a day without daily bills gives the first number.
  EXPECT_EQ(NewDailyBillNo(), "RJ" + Today() + "000001");
  InsertDailyBill(host, "RJ" + Today(-1) + "000050");  // yesterday's numbers do not count
  EXPECT_EQ(NewDailyBillNo(), "RJ" + Today() + "000001");
  InsertDailyBill(host, "RJ" + Today() + "000009");
  EXPECT_EQ(NewDailyBillNo(), "RJ" + Today() + "000010");
  InsertDailyBill(host, "RJ" + Today() + "999999");
  EXPECT_EQ(NewDailyBillNo(), "RJ" + Today() + "1000000") << "the sequence grows beyond six digits";
}

TEST(DailyBillNumber, FallsBackToTheFirstNumberWhenTheLookupFails) {
  testing::HostFixture host(testing::SmallDemo(0));
  // A host without its query component: the number is still made.
  ASSERT_EQ(automation::RegisterServer(hostlib::LibraryFile(), /*unregister=*/true), 0);
  EXPECT_EQ(NewDailyBillNo(), "RJ" + Today() + "000001");
}

TEST(InteriorIds, ReservedOncePerTableAndRaisedWithTheModuleSource) {
  testing::HostFixture host(testing::SmallDemo(0));
  auto context = host::GlobalContext::ForThread().GetDataContext();
  context->OpenDsn(host.db());
  auto connection = context->GetConnection();
  int32_t first = automation::CLng(GetMaxBillInterID(connection, "t_CC_StockBill"));
  int32_t second = automation::CLng(GetMaxBillInterID(connection, "t_CC_StockBill"));
  EXPECT_EQ(first, hostlib::demo::kFirstInteriorId + 1);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(automation::CLng(GetMaxBillInterID(connection, "t_rp_Checkbill")), hostlib::demo::kFirstInteriorId + 1)
      << "each table counts on its own";

  connection->backend().RegisterProcedure("GetICMaxNum", [](data::ConnectionBackend&, auto&) -> int32_t {
    throw automation::AutomationError(data::kDatabaseError, "TovanData", "deadlock victim");
  });
  try {
    GetMaxBillInterID(connection, "t_CC_StockBill");
    FAIL();
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), data::kDatabaseError);
    EXPECT_EQ(e.source(), "TovanMClass.ModClass.GetMaxBillInterID");
    EXPECT_EQ(e.description(), "deadlock victim");
  }
}

TEST(BillCodeNumbers, FromTheHostRuleByClassType) {
  testing::HostFixture host(testing::SmallDemo(0));
  EXPECT_EQ(NewBillNo(1030002), "XOUT000001");
  EXPECT_EQ(NewBillNo(1030002), "XOUT000002");
  EXPECT_EQ(GetNewBillNo("1050003"), "CHK000001");
  EXPECT_EQ(GetNewBillNo("9999999"), "") << "a bill type without a rule";
  ASSERT_EQ(automation::RegisterServer(hostlib::LibraryFile(), /*unregister=*/true), 0);
  EXPECT_EQ(NewBillNo(1030002), "") << "no rule component: the empty text, nothing raised";
  EXPECT_EQ(GetNewBillNo("1030002"), "");
}

TEST(RoundTo, HalvesAwayFromZeroOnTheDecimalForm) {
  EXPECT_EQ(RoundTo(1.125, 2), 1.13);
  EXPECT_EQ(RoundTo(-1.125, 2), -1.13);
  EXPECT_EQ(RoundTo(3.1, 2), 3.1);
  EXPECT_EQ(RoundTo(0.004, 2), 0.0);
  EXPECT_EQ(RoundTo(-0.004, 2), 0.0);
  // Doubles just below a half in binary still round up: the 15-digit form is what counts.
  EXPECT_EQ(RoundTo(1.005, 2), 1.01);
  EXPECT_EQ(RoundTo(2.675, 2), 2.68);
  EXPECT_EQ(RoundTo(0.995, 2), 1.0);
  EXPECT_EQ(RoundTo(99.995, 2), 100.0);
  EXPECT_EQ(RoundTo(2.5, 0), 3.0);
  EXPECT_EQ(RoundTo(28.4957264957265, 2), 28.5);
  EXPECT_EQ(RoundTo(123456789.125, 2), 123456789.13);
  EXPECT_EQ(RoundTo(1e20, 2), 1e20) << "nothing to round beyond 15 digits";
}

}  // namespace
}  // namespace tovan::numbering
