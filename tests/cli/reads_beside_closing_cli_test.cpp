// While one process closes a day of 10,000 bills, every read of another
// process (closed, show, open, invoke of each read member) answers about as
// fast as on an idle database, and answers what the database held before the
// closing began.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/data/backend_wrappers.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

using Clock = std::chrono::steady_clock;

hostlib::DemoOptions TenThousandBills() {
  hostlib::DemoOptions options = SmallDemo(10000, 5, 3);
  options.days = 1;
  return options;
}

struct Timed {
  int exit_code;
  std::string out;
  std::chrono::milliseconds took;
};

class ReadsBesideClosing : public ::testing::Test {
 protected:
  Timed Read(const std::vector<std::string>& args) const {
    const auto started = Clock::now();
    Child child(args, {}, dir_.File("read.out"), dir_.File("read.err"));
    int code = child.Wait();
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    return {code, ReadFile(dir_.File("read.out")) + ReadFile(dir_.File("read.err")), took};
  }
  std::string Text(const std::string& sql) const { return automation::CStr(host_.Scalar(sql)); }
  static std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

  // Every read the commands offer, each member that only reads included.
  std::vector<std::vector<std::string>> Reads() const {
    const std::string db = host_.db(), q = Quoted(db);
    const std::string daily = Text("SELECT min(FID) FROM t_LS_DailyBill");
    const std::string open = Text("SELECT min(FID) FROM t_LS_Retail WHERE FDailyBillID=0 AND FBillType=1");
    const std::string account = Text("SELECT min(FName) FROM t_SettleAcct");
    const std::string data = "TovanMDailyBalance.clsData", unbal = "TovanMDailyBalance.clsUnBalData";
    auto invoke = [&](const std::string& cls, const char* member, std::vector<std::string> args) {
      std::vector<std::string> line{"invoke", "--db", db, cls, member};
      line.insert(line.end(), args.begin(), args.end());
      return line;
    };
    return {
        {"closed", "--db", db, "--json"},
        {"show", "--db", db, daily, "--json"},
        {"open", "--db", db, "--json"},
        invoke(data, "CheckBalData", {q}),
        invoke(data, "CheckData", {q, "[{\"FID\":" + Quoted(open) + "}]"}),
        invoke(data, "CheckStore", {q, Quoted(open), "\"\""}),
        invoke(data, "JudgeData", {q, Quoted(open)}),
        invoke("TovanMDailyBalance.clsXSBalData", "IsValidBill", {Quoted("'" + open + "'"), "0", "0", "\"\""}),
        invoke(unbal, "GenerateVch", {q, Quoted(daily), "\"\""}),
        invoke(data, "GetIDData", {q, "\"FBillType=2\""}),
        invoke(data, "GetData", {q}),
        invoke(data, "GetItemData", {"\"0\"", q}),
        invoke(data, "GetMaxLevel", {q}),
        invoke(data, "GetCustDetail", {q, "\"301\"", "\"\"", "\"\"", "\"\"", "\"\""}),
        invoke(data, "GetInvoiceData", {"{\"connection\":true}", "\"301\""}),
        invoke(data, "GetSettleAcctData", {q}),
        invoke(data, "SetSettleAmount", {q, Quoted(open)}),
        invoke(data, "SetSettleAmountID", {q, Quoted(account)}),
        invoke(unbal, "SetTotalData", {q}),
        invoke(unbal, "SetDetailData", {q, Quoted(daily)}),
        invoke(unbal, "GetUnBalDataID", {q, "\"a.FBillType=1\""}),
        invoke(data, "PackageRecordset", {"{\"sql\":\"select FID, FBillNo from t_LS_DailyBill\"}"}),
        invoke(unbal, "PackageRecord", {"{\"sql\":\"select FID, FBillNo from t_LS_DailyBill\"}"}),
    };
  }

  HostFixture host_{TenThousandBills()};
  TempDir dir_;
};

TEST_F(ReadsBesideClosing, AnswerAtOnceFromTheSnapshotBeforeIt) {
  const std::string db = host_.db();
  // A closed day of a few bills, for the reads of closed days.
  Child first({"close", "--db", db, "--bills", Text("SELECT min(FID) FROM t_LS_Retail WHERE FBillType=1"), "--date",
               "2026-12-04", "--client", "314"},
              {}, dir_.File("first.out"), dir_.File("first.err"));
  ASSERT_EQ(first.Wait(), 0) << ReadFile(dir_.File("first.err"));

  const auto reads = Reads();
  std::vector<Timed> idle;
  for (const auto& args : reads) {
    idle.push_back(Read(args));
    ASSERT_EQ(idle.back().exit_code, 0) << args[0] << " " << (args.size() > 4 ? args[4] : "") << idle.back().out;
  }

  // The closing stalls at its stamping of the retail bills, when everything
  // else is written and its unit holds the engine's write lock (or, on a
  // server, its rows), for as long as the reads need.
  Child closing({"close", "--db", db, "--date", "2026-12-04", "--type", "sales", "--shop", "all", "--client", "314", "--check-bill"},
                {"DAILYBALANCE_FAULT=pause:Update t_LS_Retail set FDailyBillID="}, dir_.File("close.out"),
                dir_.File("close.err"));
  const auto waiting_since = Clock::now();
  while (ReadFile(dir_.File("close.err")).find("injected pause") == std::string::npos) {
    ASSERT_TRUE(closing.Running()) << ReadFile(dir_.File("close.err"));
    ASSERT_LT(Clock::now() - waiting_since, std::chrono::seconds(120)) << "the closing never reached its stamping";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto paused_at = Clock::now();
  for (size_t i = 0; i < reads.size(); ++i) {
    const std::string what = reads[i][0] + (reads[i][0] == "invoke" ? " " + reads[i][4] : "");
    SCOPED_TRACE(what);
    Timed busy = Read(reads[i]);
    // A read that waited for the closing would wait as long again; one that
    // only met the load of the machine (other tests run beside) would not.
    if (busy.took.count() > idle[i].took.count() + 200) busy = Read(reads[i]);
    EXPECT_EQ(busy.exit_code, idle[i].exit_code) << busy.out;
    EXPECT_TRUE(busy.out == idle[i].out) << "not the snapshot before the closing:\n" << busy.out.substr(0, 400);
    // A read that waited would take the rest of the closing's ten-second
    // pause; the margin only covers a loaded machine's scheduling.
    EXPECT_LE(busy.took.count(), 2 * idle[i].took.count() + 1000) << "idle: " << idle[i].took.count() << " ms";
  }
  ASSERT_LT(Clock::now() - paused_at, std::chrono::milliseconds(data::FaultInjector::kPauseMilliseconds))
      << "the reads outlasted the closing's pause: they did not all run beside it";
  ASSERT_TRUE(closing.Running());
  ASSERT_EQ(closing.Wait(), 0) << ReadFile(dir_.File("close.err"));
  // Once it is committed, the same reads see it.
  EXPECT_NE(Read(reads[0]).out, idle[0].out);
}

}  // namespace
}  // namespace tovan::testing
