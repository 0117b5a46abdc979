// A daily closing and its cancellation as users run them: the close,
// closed, show and cancel commands, and the closing through invoke.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/database_builder.h"
#include "platform/data/recordset.h"
#include "tests/support/cli_run.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

using Json = nlohmann::ordered_json;

class ClosingCli : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlib::BuildDatabase(db_, SmallDemo(60, 6, 11));
    ASSERT_EQ(Run({"register"}).exit_code, 0);
  }
  CliRun Run(const std::vector<std::string>& args) { return RunDailybalance(dir_, args); }
  std::string Scalar(const std::string& sql) {
    auto connection = data::OpenConnection(db_);
    auto rs = connection->Execute(sql);
    return rs->EOF_() || rs->Value(0).IsNull() ? std::string() : automation::CStr(rs->Value(0));
  }
  TempDir dir_;
  std::string db_ = dir_.File("shop.db");
};

TEST_F(ClosingCli, CloseShowAndCancelADay) {
  std::string open_before = Scalar("select count(*) from t_LS_Retail where FDailyBillID=0");
  CliRun close = Run({"close", "--db", db_, "--date", "2026-12-04", "--type", "sales", "--client", "314",
                      "--check-bill", "--in-cust", "301", "--json"});
  ASSERT_EQ(close.exit_code, 0) << close.out << close.err;
  Json result = Json::parse(close.out.substr(close.out.rfind('{')), nullptr, false);
  EXPECT_EQ(result["message"], "日结成功");
  EXPECT_EQ(result["stockBillNo"], "XOUT000001");
  EXPECT_EQ(result["checkBillNo"], "CHK000001");
  std::string daily_id = std::to_string(result["dailyBillId"].get<int>());
  EXPECT_NE(close.out.find("{\"event\":\"SetProgressValue\""), std::string::npos) << "JSON-lines progress";
  EXPECT_EQ(Scalar("select count(*) from t_LS_Retail where FDailyBillID=" + daily_id),
            std::to_string(result["retailBills"].get<int>()));

  // The same bills cannot be closed twice.
  CliRun again = Run({"close", "--db", db_, "--date", "2026-12-04", "--type", "sales", "--client", "314"});
  EXPECT_EQ(again.exit_code, 1);

  CliRun closed = Run({"closed", "--db", db_, "--json"});
  EXPECT_EQ(Json::parse(closed.out)["records"].size(), 1u);
  CliRun show = Run({"show", "--db", db_, daily_id, "--json"});
  EXPECT_EQ(Json::parse(show.out)["records"].size(), static_cast<size_t>(result["retailBills"].get<int>()));

  CliRun cancel = Run({"cancel", "--db", db_, daily_id});
  EXPECT_EQ(cancel.exit_code, 0) << cancel.err;
  EXPECT_EQ(cancel.out, "反日结完成！\n");
  EXPECT_EQ(Scalar("select count(*) from t_LS_Retail where FDailyBillID=0"), open_before);
  EXPECT_EQ(Scalar("select count(*) from t_cc_stockbill"), "0");
}

TEST_F(ClosingCli, ClosingThroughInvokeAsAHostCallsIt) {
  ASSERT_EQ(Run({"invoke", "--db", db_, "TovanMDailyBalance.clsData", "UpdateBalAmount", Json(db_).dump()}).exit_code, 0);
  std::string ids = Scalar("select group_concat(FID) from (select FID from t_LS_Retail where FBillType=1 and "
                           "FDate='2026-12-03' order by FID)");
  std::string vec = R"([{"FSettleItemID": "1", "FSettleAmount": )" +
                    Scalar("select sum(FSettleAmount) from t_LS_RetailEntry2 where FSettleID in (1,2,5) and FID in (" +
                           ids + ")") +
                    R"(, "FSettleAcctItemID": 0}])";
  CliRun run = Run({"invoke", "--db", db_, "TovanMDailyBalance.clsData", "ProcessDailyBalance", R"({"events": "record"})",
                    Json(db_).dump(), R"("1")", Json(ids).dump(), R"({"date": "2026-12-03"})", R"("2021")", R"("314")",
                    R"({"date": "2026-12-03"})", "17", vec, R"("")", R"("")"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  Json out = Json::parse(run.out);
  EXPECT_EQ(out["result"], true) << out.dump();
  EXPECT_EQ(out["args"][10], "日结成功");
  EXPECT_EQ(out["args"][7], "2026-12-03") << "dDate comes back unchanged";
  // Progress: two captions, the maximum (lines + the total record), min 0, value 0, then one value per line.
  ASSERT_GE(out["events"].size(), 6u);
  EXPECT_EQ(out["events"][0].dump(), R"(["ShowProgressText",""])");
  EXPECT_EQ(out["events"][1].dump(), R"(["ShowProgressText","正在进行处理..."])");
  int max = out["events"][2][1].get<int>();
  EXPECT_EQ(out["events"].back().dump(), "[\"SetProgressValue\"," + std::to_string(max - 1) + "]");
  EXPECT_EQ(Scalar("select count(*) from t_LS_DailyBillEntry"), std::to_string(std::count(ids.begin(), ids.end(), ',') + 1));
}

TEST_F(ClosingCli, RefusesBadInputBeforeTheComponentSeesIt) {
  const std::vector<std::vector<std::string>> cases = {
      {"close", "--db", db_, "--bills", "1);delete from t_LS_Retail;--", "--client", "314"},
      {"close", "--db", db_, "--date", "2026-02-30", "--type", "sales", "--client", "314"},
      {"close", "--db", db_, "--date", "2026-12-04", "--type", "gifts", "--client", "314"},
      {"close", "--db", db_, "--bills", "1,2", "--client", "99999"},
      {"close", "--db", db_, "--bills", "1,2", "--client", "314", "--tax", "abc"},
      {"close", "--db", dir_.File("missing.db"), "--bills", "1", "--client", "314"},
      {"cancel", "--db", db_, "1 or 1=1"},
      {"show", "--db", db_, "-3"},
  };
  std::string retail = Scalar("select count(*) from t_LS_Retail");
  for (const auto& args : cases) {
    CliRun run = Run(args);
    EXPECT_EQ(run.exit_code, 2) << args[4] << ": " << run.out << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(Scalar("select count(*) from t_LS_Retail"), retail);
}

}  // namespace
}  // namespace tovan::testing
