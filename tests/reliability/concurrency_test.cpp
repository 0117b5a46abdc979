// Two `dailybalance close` processes at the same time.  The host keeps the
// selection checks and the closing in one unit of work, so the second
// closing of the same bills finds them closed and writes nothing (it waits
// for the write lock on the embedded engine; on a server it meets the first
// one's writes and is run again); closings of different bills both go
// through with different daily-bill numbers, side by side on a server.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/reliability/reliability_support.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

constexpr int kIterations = 20;
// Stalls a closing before it marks its retail bills, its unit open and
// everything else written.
constexpr const char* kPauseBeforeMarking = "DAILYBALANCE_FAULT=pause:Update t_LS_Retail set FDailyBillID=";

// False when the child ended before it reached its pause.
bool WaitUntilPaused(const Child& child, const std::string& err_file) {
  while (ReadFile(err_file).find("injected pause") == std::string::npos) {
    if (!child.Running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class ConcurrentClosings : public ::testing::Test {
 protected:
  void SetUp() override {
    auto rows = host_.Query(
        "select FID from t_LS_Retail where FDate='2026-12-04' and FBillType=1 and FDailyBillID=0 order by FID");
    for (size_t r = 0; r < rows.RowCount(); ++r) ids_.push_back(automation::CStr(rows.At(r, 0)));
    ASSERT_GE(ids_.size(), 4u);
    CopyDatabase(host_.db(), pristine_);
  }
  std::vector<std::string> Close(const std::string& bills) const {
    return {"close", "--db", host_.db(), "--bills", bills, "--date", "2026-12-04", "--client", "314", "--json"};
  }
  std::string Ids(size_t from, size_t to) const {
    std::string list;
    for (size_t i = from; i < to; ++i) list += (list.empty() ? "" : ",") + ids_[i];
    return list;
  }
  // The result line of `close --json` (the last line; progress comes before it).
  static nlohmann::json Result(const std::string& out) {
    size_t end = out.find_last_not_of('\n');
    size_t start = out.rfind('\n', end);
    return nlohmann::json::parse(out.substr(start == std::string::npos ? 0 : start + 1), nullptr, false);
  }
  // What running the closings one after the other writes.
  std::string Sequential(const std::vector<std::vector<std::string>>& runs) {
    CopyDatabase(pristine_, host_.db());
    for (const auto& args : runs) {
      Child child(args, {}, dir_.File("out"), dir_.File("err"));
      EXPECT_EQ(child.Wait(), 0) << ReadFile(dir_.File("err"));
    }
    std::string snapshot = Outcome();
    CopyDatabase(pristine_, host_.db());
    return snapshot;
  }

  // What a closing leaves, as text.  On a server the numbers a run draws
  // from sequences (interior IDs, stock bill numbers, identities) are not
  // given back when a unit is run again, so there it is what the closings
  // decided: which bills each daily bill took, the bills made, the stock.
  std::string Outcome() const {
    if (!OnServer()) return Snapshot(host_.db());
    std::string out;
    for (const char* sql : {"select FID, FDailyBillNo from t_LS_Retail order by FID",
                            "select FBillNo, FDate from t_LS_DailyBill order by FBillNo",
                            "select count(*) from t_LS_DailyBillEntry", "select count(*) from t_cc_stockbill",
                            "select count(*) from t_CC_StockBillEntry", "select count(*) from t_rp_Checkbill",
                            "select FItemID, FStockID, FAuxPropID, FBatchNo, FQty from t_CC_Inventory "
                            "order by FItemID, FStockID, FAuxPropID, FBatchNo"}) {
      auto rows = host_.Query(sql);
      out += std::string("== ") + sql + "\n";
      for (size_t r = 0; r < rows.RowCount(); ++r) {
        for (size_t c = 0; c < rows.columns.size(); ++c) out += automation::CStr(rows.At(r, c)) + "|";
        out += "\n";
      }
    }
    return out;
  }

  HostFixture host_{SmallDemo(30, 5, 7)};
  TempDir dir_;
  std::string pristine_ = dir_.File("pristine.db");
  std::vector<std::string> ids_;
};

TEST_F(ConcurrentClosings, OnTheSameBillsExactlyOneCloses) {
  const auto args = Close(Ids(0, ids_.size()));
  const std::string once = Sequential({args});
  for (int i = 0; i < kIterations; ++i) {
    Child first(args, {}, dir_.File("out1"), dir_.File("err1"));
    Child second(args, {}, dir_.File("out2"), dir_.File("err2"));
    int codes[2] = {first.Wait(), second.Wait()};
    nlohmann::json results[2] = {Result(ReadFile(dir_.File("out1"))), Result(ReadFile(dir_.File("out2")))};
    ASSERT_TRUE((codes[0] == 0) != (codes[1] == 0))
        << "iteration " << i << ": exit codes " << codes[0] << " and " << codes[1] << "\n"
        << ReadFile(dir_.File("err1")) << ReadFile(dir_.File("err2"));
    int refused = codes[0] == 0 ? 1 : 0;
    // The later one finds the bills closed once it holds them, and refuses them by name.
    EXPECT_EQ(codes[refused], 2);
    const std::string error = ReadFile(dir_.File(refused == 0 ? "err1" : "err2"));
    EXPECT_NE(error.find("--bills: already closed: " + ids_[0] + " ("), std::string::npos) << error;
    EXPECT_EQ(results[1 - refused].value("message", ""), "日结成功");
    std::string now = Outcome();
    EXPECT_TRUE(now == once) << "iteration " << i << ": " << FirstDifference(once, now);
    CopyDatabase(pristine_, host_.db());
  }
}

TEST_F(ConcurrentClosings, OnDifferentBillsBothClose) {
  const size_t half = ids_.size() / 2;
  const auto a = Close(Ids(0, half)), b = Close(Ids(half, ids_.size()));
  const std::string a_then_b = Sequential({a, b}), b_then_a = Sequential({b, a});
  for (int i = 0; i < kIterations; ++i) {
    Child first(a, {}, dir_.File("out1"), dir_.File("err1"));
    Child second(b, {}, dir_.File("out2"), dir_.File("err2"));
    ASSERT_EQ(first.Wait(), 0) << ReadFile(dir_.File("err1"));
    ASSERT_EQ(second.Wait(), 0) << ReadFile(dir_.File("err2"));
    auto one = Result(ReadFile(dir_.File("out1"))), two = Result(ReadFile(dir_.File("out2")));
    EXPECT_NE(one.value("dailyBillNo", ""), two.value("dailyBillNo", ""));
    EXPECT_NE(one.value("dailyBillId", 0), two.value("dailyBillId", 0));
    std::string now = Outcome();
    EXPECT_TRUE(now == a_then_b || now == b_then_a) << "iteration " << i << ": " << FirstDifference(a_then_b, now);
    CopyDatabase(pristine_, host_.db());
  }
}

// Closings of two shops' bills.  On a server the second closes while the
// first, holding its unit open, stands paused before marking its retail
// bills: nothing of the first (its balance updates, its daily-bill number,
// its stock) makes the second wait.  The embedded engine writes one unit at
// a time, so there the second waits for the first.  Either way each takes a
// number of its own, in the order they took them.
TEST_F(ConcurrentClosings, OfDifferentShopsTheSecondDoesNotWaitOnAServer) {
  auto shop_bills = [&](int shop) {
    auto rows = host_.Query("select FID from t_LS_Retail where FDate='2026-12-04' and FBillType=1 and "
                            "FDailyBillID=0 and FBranchShop=" + std::to_string(shop) + " order by FID");
    std::string list;
    for (size_t r = 0; r < rows.RowCount(); ++r) list += (list.empty() ? "" : ",") + automation::CStr(rows.At(r, 0));
    return list;
  };
  auto shops = host_.Query("select FBranchShop from t_LS_Retail where FDate='2026-12-04' and FBillType=1 "
                           "group by FBranchShop order by FBranchShop");
  ASSERT_GE(shops.RowCount(), 2u);
  const auto a = Close(shop_bills(automation::CLng(shops.At(0, 0))));
  const auto b = Close(shop_bills(automation::CLng(shops.At(1, 0))));
  const std::string a_then_b = Sequential({a, b});

  Child first(a, {kPauseBeforeMarking}, dir_.File("out1"), dir_.File("err1"));
  ASSERT_TRUE(WaitUntilPaused(first, dir_.File("err1")));
  Child second(b, {}, dir_.File("out2"), dir_.File("err2"));
  while (second.Running() && first.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const bool second_ended_first = !second.Running() && first.Running();
  ASSERT_EQ(second.Wait(), 0) << ReadFile(dir_.File("err2"));
  ASSERT_EQ(first.Wait(), 0) << ReadFile(dir_.File("err1"));
  EXPECT_EQ(second_ended_first, OnServer());
  auto one = Result(ReadFile(dir_.File("out1"))), two = Result(ReadFile(dir_.File("out2")));
  EXPECT_LT(one.value("dailyBillNo", ""), two.value("dailyBillNo", ""));
  std::string now = Outcome();
  EXPECT_TRUE(now == a_then_b) << FirstDifference(a_then_b, now);
}

// Two shops' closings that take from one stock row holding enough for
// either but not for both.  The second closing's audit checks the stock only
// once the first has committed (a server: it waits at the row the first
// holds; the embedded engine: it waits for the first unit), so it refuses
// and the stock never goes below zero.
TEST_F(ConcurrentClosings, SharingAStockRowTheSecondRefusesWhenTheFirstTookIt) {
  auto bill_of_shop = [&](const std::string& not_shop) {
    return automation::CStr(host_.Scalar(
        "select min(r.FID) from t_LS_Retail r where r.FDate='2026-12-04' and r.FBillType=1 and r.FDailyBillID=0 and "
        "r.FBranchShop<>" + not_shop + " and exists (select 1 from T_LS_RetailEntry e join t_ICItem i on "
        "i.FItemID=e.FItemID where e.FID=r.FID and i.FIsBatchManager=0)"));
  };
  const std::string a = bill_of_shop("0");
  const std::string shop_a = automation::CStr(host_.Scalar("select FBranchShop from t_LS_Retail where FID=" + a));
  const std::string b = bill_of_shop(shop_a);
  ASSERT_FALSE(b.empty());
  // b's first line now sells what a's first goods line without batches sells, from the same stock.
  auto line = host_.Query("select e.FItemID, e.FShowUnitID, e.FCoefficient, e.FStock, e.FAuxPropID from "
                          "T_LS_RetailEntry e join t_ICItem i on i.FItemID=e.FItemID where e.FID=" + a +
                          " and i.FIsBatchManager=0 order by e.FIndex");
  ASSERT_GT(line.RowCount(), 0u);
  const std::string item = automation::CStr(line.At(0, 0)), stock = automation::CStr(line.At(0, 3)),
                    aux = automation::CStr(line.At(0, 4));
  host_.Query("update T_LS_RetailEntry set FItemID=" + item + ", FShowUnitID=" + automation::CStr(line.At(0, 1)) +
              ", FCoefficient=" + automation::CStr(line.At(0, 2)) + ", FStock=" + stock + ", FAuxPropID=" + aux +
              " where FID=" + b + " and FIndex=(select min(FIndex) from T_LS_RetailEntry where FID=" + b + ")");
  const std::string the_row = " where FItemID=" + item + " and FStockID=" + stock + " and FAuxPropID=" + aux +
                              " and FBatchNo=''";
  auto on_hand = [&] { return automation::CDbl(host_.Scalar("select FQty from t_CC_Inventory" + the_row)); };
  CopyDatabase(host_.db(), pristine_);
  const double full = on_hand();
  auto taken_by = [&](const std::string& bill) {
    Child alone(Close(bill), {}, dir_.File("out"), dir_.File("err"));
    EXPECT_EQ(alone.Wait(), 0) << ReadFile(dir_.File("err"));
    const double taken = full - on_hand();
    CopyDatabase(pristine_, host_.db());
    return taken;
  };
  const double need_a = taken_by(a), need_b = taken_by(b);
  ASSERT_GT(need_a, 0);
  ASSERT_GT(need_b, 0);
  host_.Query("update t_CC_Inventory set FQty=" + automation::NumberToText(need_a + need_b / 2) + the_row);
  CopyDatabase(host_.db(), pristine_);
  const std::string a_alone = Sequential({Close(a)});

  Child first(Close(a), {kPauseBeforeMarking}, dir_.File("out1"), dir_.File("err1"));
  ASSERT_TRUE(WaitUntilPaused(first, dir_.File("err1")));
  Child second(Close(b), {}, dir_.File("out2"), dir_.File("err2"));
  ASSERT_EQ(first.Wait(), 0) << ReadFile(dir_.File("err1"));
  EXPECT_EQ(second.Wait(), 1) << ReadFile(dir_.File("out2")) << ReadFile(dir_.File("err2"));
  EXPECT_NEAR(on_hand(), need_b / 2, 1e-6);
  std::string now = Outcome();
  EXPECT_TRUE(now == a_alone) << FirstDifference(a_alone, now);
}

}  // namespace
}  // namespace tovan::testing
