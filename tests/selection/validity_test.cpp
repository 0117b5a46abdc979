// What IsValidBill answers beyond the refusals the command-line tests show:
// its outputs on each path and the period start it reads from the profile.
#include <gtest/gtest.h>

#include "component/cls_xs_bal_data.h"
#include "selection/validity.h"
#include "tests/support/host_db.h"

namespace tovan::selection {
namespace {

class Validity : public testing::HostTest {
 protected:
  void SetUp() override {
    Bill(12, "2026-12-04", 1);
    Bill(13, "2026-12-04", 2);
    Bill(15, "2026-11-30", 1);  // the period before
  }
  // lTypeID, DailyType and sRtnMsg after a call that starts from -7, -1 and "msg".
  std::string Check(const std::string& ids, bool expected) {
    int32_t type = -7, daily = -1;
    std::string message = "msg";
    EXPECT_EQ(selection_->IsValidBill(ids, type, daily, message), expected) << ids;
    return std::to_string(type) + "|" + std::to_string(daily) + "|" + message;
  }
  std::shared_ptr<component::clsXSBalData> selection_ = std::make_shared<component::clsXSBalData>();
};

TEST_F(Validity, OutputsOnEachPath) {
  EXPECT_EQ(Check("", false), "-7|-1|msg");
  EXPECT_EQ(Check("'99'", false), "-7|-1|不能同时日结 零售发货 和 零售退货 两种单据") << "no type is not one";
  EXPECT_EQ(Check("12,1x", false), "-7|-1|msg") << "a malformed list fails quietly";
  EXPECT_EQ(Check("13", true), "2|0|msg");
  EXPECT_EQ(host::GlobalContext::ForThread().GetDataContext()->last_vote(), host::Vote::Complete);
}

TEST_F(Validity, PeriodStartComesFromTheSystemProfile) {
  EXPECT_EQ(GetPeriodStartDate(), "2026-12-01");
  Option("CurrentPeriod", "3");
  EXPECT_EQ(GetPeriodStartDate(), "2026-03-01");
  EXPECT_EQ(Check("'12','15'", true), "1|0|msg");
  // A profile that makes no date skips the period check.
  for (const char* period : {"abc", "0", "13"}) {
    Option("CurrentPeriod", period);
    EXPECT_EQ(GetPeriodStartDate(), "") << period;
  }
  EXPECT_EQ(Check("15", true), "1|0|msg");
}

}  // namespace
}  // namespace tovan::selection
