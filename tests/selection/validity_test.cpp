// Whether a selection of retail bills may be closed together: one bill type,
// nothing closed, nothing before the current period (2026-12).
#include <gtest/gtest.h>

#include "component/cls_xs_bal_data.h"
#include "platform/host/data_context.h"
#include "selection/validity.h"
#include "tests/support/host_db.h"

namespace tovan::selection {
namespace {

using automation::Variant;

class Validity : public testing::HostProcessTest {
 protected:
  void SetUp() override {
    HostProcessTest::SetUp();
    db_.Bill(11, "2026-12-01", 1);
    db_.Bill(12, "2026-12-04", 1);
    db_.Bill(13, "2026-12-04", 2);
    db_.Bill(14, "2026-12-02", 1, 1, 202, 5);  // closed
    db_.Bill(15, "2026-11-30", 1);             // the period before
  }
  // The three outputs after a call that starts from lTypeID -7, DailyType -1, "msg".
  std::string Check(const std::string& ids, bool expected) {
    int32_t type = -7, daily = -1;
    std::string message = "msg";
    EXPECT_EQ(selection_->IsValidBill(ids, type, daily, message), expected) << ids;
    return std::to_string(type) + "|" + std::to_string(daily) + "|" + message;
  }
  host::Vote LastVote() { return host::GlobalContext::ForThread().GetDataContext()->last_vote(); }

  std::shared_ptr<component::clsXSBalData> selection_ = std::make_shared<component::clsXSBalData>();
};

TEST_F(Validity, RefusesMixedClosedAndEarlierSelections) {
  EXPECT_EQ(Check("", false), "-7|-1|msg");
  EXPECT_EQ(Check("'12','13'", false), std::string("-7|-1|") + kMixedBillTypes);
  EXPECT_EQ(LastVote(), host::Vote::Abort);
  EXPECT_EQ(Check("'99'", false), std::string("-7|-1|") + kMixedBillTypes) << "no bill type is not one";
  EXPECT_EQ(Check("12,14", false), std::string("1|-1|") + kPartlyClosed);
  EXPECT_EQ(Check("'12','15'", false), std::string("1|-1|") + kEarlierPeriod);
  EXPECT_EQ(Check("12,1x", false), "-7|-1|msg") << "a malformed list fails quietly";

  EXPECT_EQ(Check("'11','12'", true), "1|0|msg") << "the first day of the period belongs to it";
  EXPECT_EQ(LastVote(), host::Vote::Complete);
  EXPECT_EQ(Check("13", true), "2|0|msg");
}

TEST_F(Validity, PeriodStartComesFromTheSystemProfile) {
  EXPECT_EQ(GetPeriodStartDate(), "2026-12-01");
  db_.Option("CurrentPeriod", "3");
  EXPECT_EQ(GetPeriodStartDate(), "2026-03-01");
  EXPECT_EQ(Check("'12','15'", true), "1|0|msg");

  // An unreadable profile skips the period check.
  for (const char* period : {"abc", "0", "13"}) {
    db_.Option("CurrentPeriod", period);
    EXPECT_EQ(GetPeriodStartDate(), "") << period;
  }
  EXPECT_EQ(Check("15", true), "1|0|msg");
  db_.Exec("DELETE FROM t_SystemProfile");
  EXPECT_EQ(GetPeriodStartDate(), "") << "the default 0 makes no date";
}

TEST_F(Validity, LateBoundWritesTheOutputsBack) {
  std::vector<Variant> args{Variant("'12','14'"), Variant(int32_t{0}), Variant(int32_t{4}), Variant("")};
  EXPECT_FALSE(automation::CBool(selection_->Invoke("IsValidBill", automation::InvokeKind::Get, args)));
  EXPECT_EQ(args[1].long_value(), 1);
  EXPECT_EQ(args[2].long_value(), 4);
  EXPECT_EQ(args[3].string(), kPartlyClosed);
  args = {Variant("'13'"), Variant(int32_t{0}), Variant(int32_t{4}), Variant("")};
  EXPECT_TRUE(automation::CBool(selection_->Invoke("IsValidBill", automation::InvokeKind::Get, args)));
  EXPECT_EQ(args[1].long_value(), 2);
  EXPECT_EQ(args[2].long_value(), 0);
  EXPECT_EQ(args[3].string(), "");
}

}  // namespace
}  // namespace tovan::selection
