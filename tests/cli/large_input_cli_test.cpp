// Id lists and arguments too long for a command line: `close --bills @FILE`
// and `-`, `cancel @FILE`, `invoke ... @FILE`, and the refusal of bad content
// in such files.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "host/database_builder.h"
#include "platform/data/open.h"
#include "platform/data/recordset.h"
#include "tests/support/cli_run.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

using Json = nlohmann::ordered_json;

class LargeInputCli : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlib::BuildDatabase(db_, SmallDemo(60, 4, 11));
    ASSERT_EQ(Run({"register"}).exit_code, 0);
  }
  CliRun Run(const std::vector<std::string>& args) { return RunDailybalance(dir_, args); }
  // The command with its standard input read from `input`.
  CliRun RunWithInput(const std::vector<std::string>& args, const std::string& input) {
    return RunDailybalance(dir_, args, Write("stdin.txt", input));
  }
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_.File(name), std::ios::binary) << content;
    return dir_.File(name);
  }
  std::string Scalar(const std::string& sql) {
    auto connection = data::OpenConnection(db_);
    auto rs = connection->Execute(sql);
    return rs->EOF_() || rs->Value(0).IsNull() ? std::string() : automation::CStr(rs->Value(0));
  }
  std::string SalesOf(const char* day, const char* separator) {
    return Scalar(std::string("select group_concat(FID, '") + separator +
                  "') from (select FID from t_LS_Retail where FBillType=1 and FDate='" + day + "' order by FID)");
  }
  TempDir dir_;
  std::string db_ = dir_.File("shop.db");
};

TEST_F(LargeInputCli, CloseAndCancelReadTheirIdsFromAFileOrStandardInput) {
  // One id per line, Windows line ends and a final line end included.
  std::string lines = SalesOf("2026-12-04", "\r\n") + "\r\n";
  std::string file = Write("bills.txt", lines);
  CliRun close = Run({"close", "--db", db_, "--bills", "@" + file, "--date", "2026-12-04", "--client", "314", "--json"});
  ASSERT_EQ(close.exit_code, 0) << close.out << close.err;
  Json first = Json::parse(close.out.substr(close.out.rfind('{')));
  int bills = static_cast<int>(std::count(lines.begin(), lines.end(), '\n'));
  EXPECT_EQ(first["retailBills"], bills);

  // Comma-separated on standard input, for the next day.
  CliRun piped = RunWithInput({"close", "--db", db_, "--bills", "-", "--date", "2026-12-03", "--client", "314", "--json"},
                              SalesOf("2026-12-03", ","));
  ASSERT_EQ(piped.exit_code, 0) << piped.out << piped.err;
  Json second = Json::parse(piped.out.substr(piped.out.rfind('{')));
  EXPECT_EQ(Scalar("select count(*) from t_LS_Retail where FDailyBillID=" + std::to_string(second["dailyBillId"].get<int>())),
            std::to_string(second["retailBills"].get<int>()));

  std::string daily = std::to_string(first["dailyBillId"].get<int>()) + "\n" +
                      std::to_string(second["dailyBillId"].get<int>()) + "\n";
  CliRun cancel = Run({"cancel", "--db", db_, "@" + Write("daily.txt", daily), "--reason", "test"});
  EXPECT_EQ(cancel.exit_code, 0) << cancel.out << cancel.err;
  EXPECT_EQ(Scalar("select count(*) from t_LS_DailyBill"), "0");
  EXPECT_EQ(Scalar("select count(*) from t_LS_Retail where FDailyBillID<>0"), "0");
}

TEST_F(LargeInputCli, InvokeTakesAnArgumentLongerThanTheSystemAllowsFromAFile) {
  // Well over the 128 KiB the system allows one argument.
  Json records = Json::array();
  for (int i = 0; i < 20000; ++i) records.push_back(Json{{"FID", std::to_string(100000 + i / 2)}});
  std::string file = Write("records.json", records.dump());
  ASSERT_GT(records.dump().size(), 256u * 1024);
  CliRun run = Run({"invoke", "--db", db_, "TovanMDailyBalance.clsXSBalData", "GetXSIDData", "@" + file});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::string ids = Json::parse(run.out)["result"].get<std::string>();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), ','), 9999) << "each id once";
  EXPECT_EQ(ids.substr(0, 18), "'100000','100001',");

  // Standard input as "@-".
  CliRun piped = RunWithInput({"invoke", "--db", db_, "TovanMDailyBalance.clsXSBalData", "GetXSIDData", "@-"}, "[]");
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
}

TEST_F(LargeInputCli, BadContentInAFileIsRefusedInOneLineAndChangesNothing) {
  std::string many;
  for (int id = 1; id <= 20000; ++id) many += std::to_string(id) + ",";
  const std::vector<std::pair<std::string, std::string>> bad_lists = {
      {"empty.txt", ""},
      {"blank-line.txt", "1\n\n2\n"},
      {"spaces.txt", "1, 2"},
      {"semicolon.txt", "1;2"},
      {"statement.txt", "1);delete from t_LS_Retail;--"},
      {"late.txt", many + "x"},
  };
  std::string retail = Scalar("select group_concat(FDailyBillID) from t_LS_Retail");
  auto expect_refused = [&](const CliRun& run, const std::string& what) {
    EXPECT_EQ(run.exit_code, 2) << what << ": " << run.out << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
    EXPECT_LT(run.err.size(), 400u) << what << ": the message names the fault, not the whole list";
  };
  for (const auto& [name, content] : bad_lists) {
    std::string file = Write(name, content);
    expect_refused(Run({"close", "--db", db_, "--bills", "@" + file, "--client", "314"}), "close " + name);
    expect_refused(Run({"cancel", "--db", db_, "@" + file, "--reason", "test"}), "cancel " + name);
  }
  expect_refused(RunWithInput({"close", "--db", db_, "--bills", "-", "--client", "314"}, "1 or 1=1"), "stdin");
  expect_refused(Run({"close", "--db", db_, "--bills", "@" + dir_.File("missing.txt"), "--client", "314"}), "missing");
  expect_refused(Run({"close", "--db", db_, "--bills", many + "x", "--client", "314"}), "long command line");
  expect_refused(Run({"invoke", "--db", db_, "TovanMDailyBalance.clsXSBalData", "GetXSIDData",
                      "@" + Write("bad.json", "[{\"FID\": \"1\"}, " + many)}),
                 "invoke bad JSON");
  expect_refused(Run({"invoke", "--db", db_, "TovanMDailyBalance.clsXSBalData", "GetXSIDData", "@"}), "invoke no name");
  EXPECT_EQ(Scalar("select group_concat(FDailyBillID) from t_LS_Retail"), retail);
  EXPECT_EQ(Scalar("select count(*) from t_LS_DailyBill"), "0");
}

}  // namespace
}  // namespace tovan::testing
