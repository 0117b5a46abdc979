// Packaging, write-back and numbering as a host reaches them through
// `dailybalance invoke`.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/cli_run.h"
#include "tests/support/host_db.h"

namespace tovan::testing {
namespace {

using Json = nlohmann::ordered_json;

class RecordsCli : public HostTest {
 protected:
  void SetUp() override { ASSERT_EQ(RunDailybalance(dir_, {"register"}).exit_code, 0); }
  Json Invoke(const std::string& cls, const std::string& member, const std::vector<std::string>& args) {
    std::vector<std::string> line{"invoke", "--db", db(), "TovanMDailyBalance." + cls, member};
    line.insert(line.end(), args.begin(), args.end());
    CliRun run = RunDailybalance(dir_, line);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return Json::parse(run.out, nullptr, false);
  }
  std::string Db() const { return Json(db()).dump(); }
  TempDir dir_;
};

TEST_F(RecordsCli, PackagedValuesAreTrimmedText) {
  Json all = Invoke("clsData", "PackageRecordset",
                    {R"({"sql": "select 17 as n, 0.5 as h, null as z, '  ab  ' as t, FIsBatchManager as b from t_ICItem where FItemID in (1101, 1113) order by FItemID"})"});
  ASSERT_TRUE(all["result"].is_array()) << all.dump();
  ASSERT_EQ(all["result"].size(), 2u);
  EXPECT_EQ(all["result"][0].dump(), R"({"n":"17","h":"0.5","z":"","t":"ab","b":"False"})");
  // A recordset at its end: no record from PackageRecord, an empty list from PackageRecordset.
  Json none = Invoke("clsUnBalData", "PackageRecord", {R"({"sql": "select FItemID from t_ICItem where 1=0"})"});
  EXPECT_TRUE(none["result"].is_null());
  Json empty = Invoke("clsUnBalData", "PackageRecordset", {R"({"sql": "select FItemID from t_ICItem where 1=0"})"});
  EXPECT_EQ(empty["result"], Json::array());
  Json one = Invoke("clsUnBalData", "PackageRecord", {R"({"sql": "select FItemID, FNumber from t_ICItem where FItemID=1101"})"});
  EXPECT_EQ(one["result"]["FItemID"], "1101");
}

TEST_F(RecordsCli, SaveDataReportsWhatChanged) {
  // One record matches an item, one does not: a row changed.
  Json some = Invoke("clsData", "SaveData", {Db(), R"([{"FItemID": "1101", "FTaxRate": "9"}, {"FItemID": "999999", "FTaxRate": "9"}])", "7"});
  EXPECT_EQ(some["result"], true);
  EXPECT_EQ(some["args"][2], 0);
  EXPECT_EQ(automation::CStr(host_.Scalar("select FTaxRate from t_Item where FItemID=1101")), "9");
  Json nothing = Invoke("clsData", "SaveData", {Db(), "[]", "7"});
  EXPECT_EQ(nothing["args"][2], 1) << "an empty list changes nothing";
  // A quote breaks the statement: -1, and SaveData itself still answers True.
  Json broken = Invoke("clsData", "SaveData", {Db(), R"([{"FItemID": "1101", "FTaxRate": "9'"}])", "7"});
  EXPECT_EQ(broken["result"], true);
  EXPECT_EQ(broken["args"][2], -1);
  Json no_db = Invoke("clsData", "SaveData", {R"("/nonexistent/dir/x.db")", "[]", "7"});
  EXPECT_EQ(no_db["result"], false);
  EXPECT_EQ(no_db["args"][2], -1);
}

TEST_F(RecordsCli, NewBillNumbersFromTheHostRule) {
  Json first = Invoke("clsData", "GetNewBillNo", {R"({"connection": true})", R"("1030002")"});
  Json second = Invoke("clsData", "GetNewBillNo", {R"({"connection": true})", R"("1030002")"});
  EXPECT_EQ(first["result"], "XOUT000001");
  EXPECT_EQ(second["result"], "XOUT000002") << "the counter is committed by each call's unit of work";
  EXPECT_EQ(Invoke("clsData", "GetNewBillNo", {R"({"nothing": true})", R"("4242")"})["result"], "");
}

TEST_F(RecordsCli, SystemOptionsReadAndSet) {
  CliRun read = RunDailybalance(dir_, {"option", "--db", db(), "IC", "AllowNegativeStock"});
  EXPECT_EQ(read.exit_code, 0);
  EXPECT_EQ(read.out, "IC/AllowNegativeStock = 0\n");
  ASSERT_EQ(RunDailybalance(dir_, {"option", "--db", db(), "IC", "AllowNegativeStock", "1"}).exit_code, 0);
  EXPECT_EQ(automation::CStr(host_.Scalar("select FValue from t_SystemProfile where FKey='AllowNegativeStock'")), "1");
  CliRun list = RunDailybalance(dir_, {"option", "--db", db(), "--list", "--json"});
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_EQ(Json::parse(list.out)["options"][2]["value"], "1");
  CliRun typo = RunDailybalance(dir_, {"option", "--db", db(), "IC", "AlowNegativeStock", "1"});
  EXPECT_EQ(typo.exit_code, 2);
  EXPECT_NE(typo.err.find("AllowNegativeStock"), std::string::npos) << "names the known keys: " << typo.err;
  EXPECT_EQ(RunDailybalance(dir_, {"option", "--db", db(), "IC", "CurrentPeriod", "abc"}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir_, {"option", "--db", dir_.File("none.db"), "IC", "X"}).exit_code, 2);
}

}  // namespace
}  // namespace tovan::testing
