// The checks before a closing: the statements they send, what they find and
// how they vote, directly and late-bound.
#include <gtest/gtest.h>

#include <cstdlib>

#include "component/cls_data.h"
#include "platform/host/data_context.h"
#include "tests/support/host_db.h"

namespace tovan::closing {
namespace {

using automation::Date;
using automation::Variant;
using host::Vote;

std::shared_ptr<foundation::Vector> Ids(std::initializer_list<int32_t> ids) {
  auto list = foundation::Vector::Create();
  for (int32_t id : ids) {
    auto record = foundation::Dictionary::Create();
    record->SetValue("FID", Variant(std::to_string(id)));
    list->Add(Variant(record));
  }
  return list;
}

Vote LastVote() { return host::GlobalContext::ForThread().GetDataContext()->last_vote(); }

class EligibilityChecks : public testing::HostProcessTest {
 protected:
  void SetUp() override {
    HostProcessTest::SetUp();
    db_.Bill(1, "2026-12-04", 1, 1);
    db_.Bill(2, "2026-12-05", 2, 2);
    db_.Bill(3, "2026-12-03", 1, 1, 202, 9);  // closed
  }
  std::shared_ptr<component::clsData> data_ = std::make_shared<component::clsData>();
};

TEST_F(EligibilityChecks, CheckBalDataSendsItsFilterAndFindsOpenBills) {
  std::string trace = db_.dir().File("trace.sql");
  ::setenv("DAILYBALANCE_TRACE", trace.c_str(), 1);
  const std::string base =
      "Select FID from t_LS_Retail a left Join t_ls_BranchShop b on a.FBranchshop=b.FItemID  where a.FDailyBillID=0 ";
  Date day = Date::FromParts(2026, 12, 4);
  EXPECT_TRUE(data_->CheckBalData(db_.path()));
  EXPECT_EQ(LastVote(), Vote::Complete);
  EXPECT_TRUE(data_->CheckBalData(db_.path(), "1,2", day, day, "1", 1));
  EXPECT_FALSE(data_->CheckBalData(db_.path(), "", Date::FromParts(2026, 12, 3), Date::FromParts(2026, 12, 3)))
      << "the only bill of that day is closed";
  EXPECT_EQ(LastVote(), Vote::Abort);
  EXPECT_FALSE(data_->CheckBalData(db_.path(), "", day, Date::FromParts(2026, 12, 30), "1", 2));
  // Late-bound: omitted arguments take the declared defaults, the ByRef date stays.
  std::vector<Variant> args{Variant(db_.path()), Variant("2"), Variant(Date::FromParts(2026, 12, 5))};
  EXPECT_TRUE(automation::CBool(data_->Invoke("CheckBalData", automation::InvokeKind::Get, args)));
  EXPECT_EQ(args[2].date(), Date::FromParts(2026, 12, 5));
  EXPECT_FALSE(data_->CheckBalData(db_.path(), "", day, Date::FromParts(9999, 12, 31))) << "a day past 9999 overflows";
  ::unsetenv("DAILYBALANCE_TRACE");

  std::vector<std::string> sent = testing::TracedStatements(trace);
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0], base + " And a.FDate>'1900-01-01' And a.FDate<'9999-12-31'");
  EXPECT_EQ(sent[1], base + " And a.FID in (1,2) And a.FDate>'2026-12-03' And a.FDate<'2026-12-05'"
                            " And a.FBillType='1' And b.FItemID=1");
  EXPECT_EQ(sent[2], base + " And a.FDate>'2026-12-02' And a.FDate<'2026-12-04'");
  EXPECT_EQ(sent[3], base + " And a.FDate>'2026-12-03' And a.FDate<'2026-12-31' And a.FBillType='1' And b.FItemID=2");
  EXPECT_EQ(sent[4], base + " And a.FID in (2) And a.FDate>'2026-12-04' And a.FDate<'9999-12-31'");
}

TEST_F(EligibilityChecks, CheckDataWantsEveryBillOpen) {
  EXPECT_FALSE(data_->CheckData(db_.path(), Ids({})));
  EXPECT_FALSE(data_->CheckData(db_.path(), nullptr));
  EXPECT_TRUE(data_->CheckData(db_.path(), Ids({1, 2})));
  EXPECT_EQ(LastVote(), Vote::Complete);
  EXPECT_FALSE(data_->CheckData(db_.path(), Ids({1, 3, 2})));
  EXPECT_EQ(LastVote(), Vote::Abort);
  EXPECT_FALSE(data_->CheckData(db_.path(), Ids({1, 77}))) << "a bill that does not exist";
  EXPECT_TRUE(automation::CBool(data_->Call("CheckData", db_.path(), Ids({2}))));
}

TEST_F(EligibilityChecks, CheckStoreListsShortItemsWithTheMessageOfTheirKind) {
  // Item numbers 01.001 (1101) and 01.003 (1103) run short, 01.002 (1102) does not.
  db_.Line(1, 1103, 5);
  db_.Line(1, 1101, 3);
  db_.Line(2, 1102, 2);
  db_.Stock(1103, 2);
  db_.Stock(1102, 1.5, 202, "B1");
  db_.Stock(1102, 0.5, 202, "B2");
  std::string message = "前:";
  EXPECT_FALSE(data_->CheckStore(db_.path(), "1,2", message));
  EXPECT_EQ(message, "前: 01.001 矿泉水, 01.003 可乐 商品库存不足，请先对商品的入库做暂估处理，然后再执行POS日结操作!");
  EXPECT_EQ(LastVote(), Vote::Complete);

  // Nothing short: True, the message untouched and no vote after SetAbort.
  message = "kept";
  EXPECT_TRUE(data_->CheckStore(db_.path(), "2", message));
  EXPECT_EQ(message, "kept");
  EXPECT_EQ(LastVote(), Vote::Abort);

  // UnderStock on: only batch-managed items count.
  db_.Option("UnderStock", "1");
  message.clear();
  EXPECT_TRUE(data_->CheckStore(db_.path(), "1,2", message));
  EXPECT_EQ(message, "");

  // Returns: batch items without any stock row cannot get a batch.
  db_.Line(2, 1107, 1);
  std::vector<Variant> args{Variant(db_.path()), Variant("2"), Variant(""), Variant("2")};
  EXPECT_FALSE(automation::CBool(data_->Invoke("CheckStore", automation::InvokeKind::Get, args)));
  EXPECT_EQ(args[2].string(), "02.002 夹心饼干 无法分配批号，请先对商品做入库处理，然后再执行POS日结操作!");

  // An unknown bill type or a bad option fails with the stock-check message, keeping a given text.
  message.clear();
  EXPECT_FALSE(data_->CheckStore(db_.path(), "1", message, "3"));
  EXPECT_EQ(message, "库存检测失败，无法日结");
  message = "earlier";
  EXPECT_FALSE(data_->CheckStore(db_.path(), "1", message, "3"));
  EXPECT_EQ(message, "earlier");
  db_.Option("UnderStock", "maybe");
  message.clear();
  EXPECT_FALSE(data_->CheckStore(db_.path(), "2", message));
  EXPECT_EQ(message, "库存检测失败，无法日结");
}

TEST_F(EligibilityChecks, JudgeDataComparesTrackedGoodsWithTheHeadersStock) {
  db_.Line(1, 1101, 4);  // not tracked
  EXPECT_TRUE(data_->JudgeData(db_.path(), "1"));
  EXPECT_EQ(LastVote(), Vote::Complete);
  db_.Line(1, 1109, 2, 203);  // tracked; the bill's own stock (202) is what counts
  db_.Line(1, 1109, 1, 203);
  EXPECT_FALSE(data_->JudgeData(db_.path(), "1")) << "no stock row: a NULL sum";
  EXPECT_EQ(LastVote(), Vote::Abort);
  db_.Stock(1109, 5, 203);
  db_.Stock(1109, 2, 202, "B1");
  EXPECT_FALSE(data_->JudgeData(db_.path(), "1"));
  db_.Stock(1109, 1, 202, "B2");
  EXPECT_TRUE(data_->JudgeData(db_.path(), "1"));
  EXPECT_FALSE(data_->JudgeData(db_.path(), "1,")) << "a malformed id list";
  EXPECT_TRUE(automation::CBool(data_->Call("JudgeData", db_.path(), "1")));
}

}  // namespace
}  // namespace tovan::closing
