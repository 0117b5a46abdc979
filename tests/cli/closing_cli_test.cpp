// A daily closing and its cancellation as users run them: the close,
// closed, show and cancel commands, and the closing through invoke.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <cmath>
#include <fstream>

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

// The command's own side: options in, one JSON shape per answer under
// --json, aligned tables otherwise, and the same exit code either way.
TEST_F(ClosingCli, CloseShowAndCancelADay) {
  CliRun close = Run({"close", "--db", db_, "--date", "2026-12-04", "--type", "sales", "--shop", "中心店", "--client",
                      "314", "--check-bill", "--in-cust", "305", "--json"});
  ASSERT_EQ(close.exit_code, 0) << close.out << close.err;
  EXPECT_NE(close.out.find("{\"event\":\"SetProgressValue\""), std::string::npos) << "JSON-lines progress";
  Json result = Json::parse(close.out.substr(close.out.rfind('{')), nullptr, false);
  EXPECT_EQ(result["message"], "日结成功");
  EXPECT_EQ(result["stockBillNo"], "XOUT000001");
  EXPECT_EQ(result["checkBillNo"], "CHK000001");
  EXPECT_EQ(result["shops"], Json::array({1}));
  EXPECT_TRUE(result["retailBills"].is_number());
  const std::string daily_id = std::to_string(result["dailyBillId"].get<int>());

  Json closed = Json::parse(Run({"closed", "--db", db_, "--json"}).out);
  ASSERT_EQ(closed["days"].size(), 1u);
  std::vector<std::string> keys;
  for (const auto& [key, value] : closed["days"][0].items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"id", "dailyBillNo", "date", "shops", "bills", "amount", "stockBillNo",
                                            "checkBillNo", "operatorId", "operator", "closedAt"}));
  EXPECT_TRUE(closed["days"][0]["amount"].is_number());
  CliRun table = Run({"closed", "--db", db_});
  EXPECT_NE(table.out.find("XOUT000001  CHK000001"), std::string::npos) << table.out;

  CliRun show = Run({"show", "--db", db_, daily_id});
  EXPECT_EQ(show.exit_code, 0) << show.err;
  for (const char* part : {"Stock bill  XOUT000001", "Check bill  CHK000001 to 305 陆家嘴便利店", "written off", "total ("})
    EXPECT_NE(show.out.find(part), std::string::npos) << part << "\n" << show.out;

  // The closing report: its figures, its reconciliations, and the day's details under them.
  CliRun report = Run({"show", "--db", db_, daily_id, "--report"});
  EXPECT_EQ(report.exit_code, 0) << report.err;
  for (const char* part : {"日结报表  RJ", "Settlement method", "settled in all", "The bills' total, settled", "bills total",
                           "stock bill total, tax included", "Stock bill  XOUT000001"})
    EXPECT_NE(report.out.find(part), std::string::npos) << part << "\n" << report.out;
  Json report_json = Json::parse(Run({"show", "--db", db_, daily_id, "--report", "--json"}).out, nullptr, false);
  ASSERT_TRUE(report_json.is_object());
  EXPECT_EQ(report_json["stockBill"]["billNo"], "XOUT000001");
  EXPECT_EQ(report_json["billsToSettlement"].back()["total"], true);

  CliRun cancel = Run({"cancel", "--db", db_, daily_id, "--reason", "a till miscounted"});
  EXPECT_EQ(cancel.exit_code, 0) << cancel.err;
  EXPECT_EQ(cancel.out, "cancelled  " + result["dailyBillNo"].get<std::string>() + " (id " + daily_id + ")\n反日结完成！\n");
  // What did not happen is refused, with the same code under --json.
  for (bool json : {false, true}) {
    for (std::vector<std::string> args : {std::vector<std::string>{"cancel", "--db", db_, daily_id, "--reason", "again"},
                                          {"show", "--db", db_, daily_id},
                                          {"show", "--db", db_, daily_id, "--report"},
                                          {"close", "--db", db_, "--bills", "99999", "--client", "314"},
                                          {"option", "--db", db_, "IC", "Nope"}}) {
      if (json) args.push_back("--json");
      CliRun run = Run(args);
      EXPECT_EQ(run.exit_code, 2) << args[0] << (json ? " --json" : "");
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
  }
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

// Operators on the command line: --user or $DAILYBALANCE_USER says who acts,
// a password comes from standard input, and `log` shows the trail.
TEST_F(ClosingCli, OperatorsActWithinTheirRightsAndLeaveATrail) {
  CliRun other_shop = Run({"close", "--db", db_, "--date", "2026-12-04", "--type", "sales", "--shop", "2",
                           "--client", "314", "--user", "2"});
  EXPECT_EQ(other_shop.exit_code, 2);
  EXPECT_NE(other_shop.err.find("--user: 门店主管 closes only their own shops"), std::string::npos) << other_shop.err;
  ::setenv("DAILYBALANCE_USER", "2", 1);
  CliRun own = Run({"close", "--db", db_, "--date", "2026-12-04", "--type", "sales", "--shop", "1", "--client", "314",
                    "--json"});
  ::unsetenv("DAILYBALANCE_USER");
  ASSERT_EQ(own.exit_code, 0) << own.err;
  const std::string day = std::to_string(Json::parse(own.out.substr(own.out.rfind('{')))["dailyBillId"].get<int>());
  EXPECT_EQ(Run({"cancel", "--db", db_, day, "--reason", "x", "--user", "2"}).exit_code, 2) << "a closer may not";
  EXPECT_EQ(Run({"cancel", "--db", db_, day, "--reason", "a till miscounted", "--user", "3"}).exit_code, 0);
  EXPECT_EQ(Run({"close", "--db", db_, "--bills", "1", "--user", "99"}).exit_code, 2) << "no such operator";

  EXPECT_EQ(Run({"user", "add", "7", "夜班店长", "--db", db_, "--role", "closer", "--shops", "东城店"}).exit_code, 0);
  const std::string stdin_file = dir_.File("password.txt");
  std::ofstream(stdin_file) << "a long enough password\n";
  CliRun passwd = Run({"user", "passwd", "7", "--db", db_, "--user", "1"});
  EXPECT_EQ(passwd.exit_code, 2) << "no password on an empty standard input";
  CliRun given = RunDailybalance(dir_, {"user", "passwd", "7", "--db", db_}, stdin_file);
  EXPECT_EQ(given.exit_code, 0) << given.err;
  Json users = Json::parse(Run({"user", "list", "--db", db_, "--json"}).out)["users"];
  ASSERT_EQ(users.size(), 4u);
  EXPECT_EQ(users[3]["shops"], Json::array({2}));
  EXPECT_EQ(users[3]["hasPassword"], true);
  EXPECT_EQ(Run({"user", "disable", "7", "--db", db_, "--user", "3"}).exit_code, 2) << "a supervisor may not";

  Json log = Json::parse(Run({"log", "--db", db_, "--json"}).out);
  std::vector<std::string> seen;
  for (const Json& e : log["events"]) seen.push_back(e["event"].get<std::string>() + " " + e["result"].get<std::string>());
  // Not an operator, or no password given: nobody to record, nothing tried.
  EXPECT_EQ(seen, (std::vector<std::string>{"close refused", "close done", "cancel refused", "cancel done", "user done",
                                            "user done", "user refused"}));
  EXPECT_EQ(Json::parse(Run({"log", "--db", db_, "--shop", "1", "--json"}).out)["count"], 2);
}

// The cash count on the command line: entries by name, number or notes and
// coins, the tolerance as an option, the supervisor's password from
// standard input, and the count in the closing's answer and its report.
TEST_F(ClosingCli, ACashCountGoesWithTheClosingAndItsReport) {
  ASSERT_EQ(Run({"option", "--db", db_, "POS", "MaxCountDifference", "2"}).exit_code, 0);
  const std::string password = dir_.File("supervisor.txt");
  std::ofstream(password) << "the supervisor's password\n";
  ASSERT_EQ(RunDailybalance(dir_, {"user", "passwd", "3", "--db", db_}, password).exit_code, 0);
  const std::string cash = Scalar("select sum(e.FSettleAmount) from t_LS_RetailEntry2 e join t_LS_Retail r on "
                                  "r.FID=e.FID where e.FSettleID=1 and r.FBillType=1 and r.FBranchShop=1 and "
                                  "r.FDate>='2026-12-04' and r.FDate<'2026-12-05'");
  ASSERT_FALSE(cash.empty());
  const double short_by_five = std::round(std::stod(cash) * 100) / 100 - 5;
  std::vector<std::string> close = {"close", "--db", db_, "--date", "2026-12-04", "--type", "sales", "--shop", "1",
                                    "--client", "314", "--user", "2", "--count", "现金=" + fmt::format("{:.2f}", short_by_five)};
  CliRun unsigned_count = Run(close);
  EXPECT_EQ(unsigned_count.exit_code, 2);
  EXPECT_NE(unsigned_count.err.find("--count-note"), std::string::npos) << unsigned_count.err;
  close.insert(close.end(), {"--count-note", "短款 5 元", "--sign-off", "财务会计", "--json"});
  CliRun wrong = Run(close);  // no password on standard input
  EXPECT_EQ(wrong.exit_code, 2) << wrong.out;
  CliRun signed_off = RunDailybalance(dir_, close, password);
  ASSERT_EQ(signed_off.exit_code, 0) << signed_off.out << signed_off.err;
  Json result = Json::parse(signed_off.out.substr(signed_off.out.rfind("\n{") + 1), nullptr, false);
  ASSERT_TRUE(result.is_object()) << signed_off.out;
  EXPECT_EQ(result["count"]["signedOffByName"], "财务会计");
  EXPECT_EQ(result["count"]["lines"][0]["difference"], -5.0);
  const std::string day = std::to_string(result["dailyBillId"].get<int>());

  CliRun report = Run({"show", "--db", db_, day, "--report"});
  for (const char* part : {"Cash count 点钞", "-5.00", "Signed off   财务会计", "Note         短款 5 元"})
    EXPECT_NE(report.out.find(part), std::string::npos) << part << "\n" << report.out;
  EXPECT_EQ(Json::parse(Run({"show", "--db", db_, day, "--report", "--json"}).out)["count"]["note"], "短款 5 元");
  CliRun notes = Run({"close", "--db", db_, "--date", "2026-12-03", "--type", "sales", "--shop", "1", "--client", "314",
                      "--count", "01=100x3+0.5x1", "--count-note", "only notes", "--json"});
  ASSERT_EQ(notes.exit_code, 0) << notes.err;
  Json counted = Json::parse(notes.out.substr(notes.out.rfind("\n{") + 1))["count"]["lines"][0];
  EXPECT_EQ(counted["counted"], 300.5);
  EXPECT_EQ(counted["pieces"].size(), 2u);
}

}  // namespace
}  // namespace tovan::testing
