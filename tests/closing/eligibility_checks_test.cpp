// The checks before a closing: the statements they send, what they find and
// how they vote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "component/cls_data.h"
#include "platform/host/data_context.h"
#include "tests/support/host_db.h"

namespace tovan::closing {
namespace {

using automation::Date;
using automation::Variant;
using host::Vote;

std::vector<std::string> TracedStatements(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  std::vector<std::string> statements;
  const std::string all = text.str(), end = "\n-- end --\n";
  for (size_t at = 0, next; (next = all.find(end, at)) != std::string::npos; at = next + end.size())
    statements.push_back(all.substr(at, next - at));
  return statements;
}

Vote LastVote() { return host::GlobalContext::ForThread().GetDataContext()->last_vote(); }

class EligibilityChecks : public testing::HostTest {
 protected:
  void SetUp() override {
    Bill(1, "2026-12-04", 1, 1);
    Bill(2, "2026-12-05", 2, 2);
    Bill(3, "2026-12-03", 1, 1, 9);  // closed
  }
  std::shared_ptr<component::clsData> data_ = std::make_shared<component::clsData>();
};

TEST_F(EligibilityChecks, CheckBalDataSendsItsFilterAndFindsOpenBills) {
  testing::TempDir dir;
  std::string trace = dir.File("statements.trace");
  ::setenv("DAILYBALANCE_TRACE", trace.c_str(), 1);
  Date day = Date::FromParts(2026, 12, 4);
  EXPECT_TRUE(data_->CheckBalData(db()));
  EXPECT_EQ(LastVote(), Vote::Complete);
  EXPECT_TRUE(data_->CheckBalData(db(), "1,2", day, day, "1", 1));
  EXPECT_FALSE(data_->CheckBalData(db(), "", Date::FromParts(2026, 12, 3), Date::FromParts(2026, 12, 3)))
      << "that day's only bill is closed";
  EXPECT_EQ(LastVote(), Vote::Abort);
  // Late-bound: omitted arguments take their declared defaults; the ByRef date stays.
  std::vector<Variant> args{Variant(db()), Variant("2"), Variant(Date::FromParts(2026, 12, 5))};
  EXPECT_TRUE(automation::CBool(data_->Invoke("CheckBalData", automation::InvokeKind::Get, args)));
  EXPECT_EQ(args[2].date(), Date::FromParts(2026, 12, 5));
  EXPECT_FALSE(data_->CheckBalData(db(), "", day, Date::FromParts(9999, 12, 31))) << "a day past 9999 overflows";
  ::unsetenv("DAILYBALANCE_TRACE");

  const std::string base =
      "Select FID from t_LS_Retail a left Join t_ls_BranchShop b on a.FBranchshop=b.FItemID  where a.FDailyBillID=0 ";
  EXPECT_EQ(TracedStatements(trace),
            (std::vector<std::string>{
                base + " And a.FDate>'1900-01-01' And a.FDate<'9999-12-31'",
                base + " And a.FID in (1,2) And a.FDate>'2026-12-03' And a.FDate<'2026-12-05' And a.FBillType='1'"
                       " And b.FItemID=1",
                base + " And a.FDate>'2026-12-02' And a.FDate<'2026-12-04'",
                base + " And a.FID in (2) And a.FDate>'2026-12-04' And a.FDate<'9999-12-31'",
            }));
}

TEST_F(EligibilityChecks, CheckDataWantsEveryBillOpen) {
  auto ids = [](std::initializer_list<const char*> fids) {
    auto list = foundation::Vector::Create();
    for (const char* fid : fids) {
      auto record = foundation::Dictionary::Create();
      record->SetValue("FID", Variant(fid));
      list->Add(Variant(record));
    }
    return list;
  };
  EXPECT_FALSE(data_->CheckData(db(), ids({})));
  EXPECT_TRUE(automation::CBool(data_->Call("CheckData", db(), ids({"1", "2"}))));
  EXPECT_FALSE(data_->CheckData(db(), ids({"1", "3", "2"})));
  EXPECT_FALSE(data_->CheckData(db(), ids({"1", "77"}))) << "a bill that does not exist";
}

TEST_F(EligibilityChecks, CheckStoreOptionReturnsAndFailures) {
  Line(1, 1101, 3);  // 01.001, not batch-managed, no stock
  Line(2, 1107, 1);  // 02.002, batch-managed, covered
  Stock(1107, 1, 202, "B3");
  std::string message = "kept";
  EXPECT_FALSE(data_->CheckStore(db(), "1", message));
  EXPECT_EQ(message, "kept 01.001 矿泉水 商品库存不足，请先对商品的入库做暂估处理，然后再执行POS日结操作!")
      << "the caller's text stays in front";
  message = "kept";
  EXPECT_TRUE(data_->CheckStore(db(), "2", message));
  EXPECT_EQ(message, "kept");
  EXPECT_EQ(LastVote(), Vote::Abort) << "nothing short: no vote after SetAbort";
  Option("UnderStock", "1");
  EXPECT_TRUE(data_->CheckStore(db(), "1", message)) << "UnderStock: only batch items count";

  // Returns need a stock row for each batch item in its own stock.
  Line(2, 1107, 1, 203);
  std::vector<Variant> args{Variant(db()), Variant("2"), Variant(""), Variant("2")};
  EXPECT_FALSE(automation::CBool(data_->Invoke("CheckStore", automation::InvokeKind::Get, args)));
  EXPECT_EQ(args[2].string(), "02.002 夹心饼干 无法分配批号，请先对商品做入库处理，然后再执行POS日结操作!");

  message.clear();
  EXPECT_FALSE(data_->CheckStore(db(), "1", message, "3"));
  EXPECT_EQ(message, "库存检测失败，无法日结");
}

TEST_F(EligibilityChecks, JudgeDataComparesTrackedGoodsWithTheHeadersStock) {
  Line(1, 1101, 4);  // not tracked
  EXPECT_TRUE(data_->JudgeData(db(), "1"));
  Line(1, 1109, 3, 203);  // tracked (80); the bill's own stock 202 is what counts
  EXPECT_FALSE(data_->JudgeData(db(), "1")) << "no stock row: a NULL sum";
  Stock(1109, 5, 203);
  Stock(1109, 2, 202, "B1");
  EXPECT_FALSE(data_->JudgeData(db(), "1"));
  Stock(1109, 1, 202, "B2");
  EXPECT_TRUE(automation::CBool(data_->Call("JudgeData", db(), "1")));
}

}  // namespace
}  // namespace tovan::closing
