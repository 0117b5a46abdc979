// The closing dialog's services as a host reaches them through
// `dailybalance invoke`, and the open bills through `dailybalance open`.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/cli_run.h"
#include "tests/support/host_db.h"

namespace tovan::testing {
namespace {

using Json = nlohmann::ordered_json;

class ClosingDialogCli : public HostTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Run({"register"}).exit_code, 0);
    Bill(11, "2026-12-01", 1);
    Bill(12, "2026-12-04", 1);
    Bill(13, "2026-12-04", 2, 2);
    Bill(14, "2026-12-02", 1, 1, 5);  // closed
    Bill(15, "2026-11-30", 1);        // the period before
  }
  CliRun Run(const std::vector<std::string>& args) { return RunDailybalance(dir_, args); }
  // invoke on the test's database; answers the printed JSON.
  Json Invoke(const std::string& cls, const std::string& member, const std::vector<std::string>& args,
              const std::string& app_type = "2") {
    std::vector<std::string> line{"invoke", "--db", db(), "--app-type", app_type, "TovanMDailyBalance." + cls, member};
    line.insert(line.end(), args.begin(), args.end());
    CliRun run = Run(line);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return Json::parse(run.out, nullptr, false);
  }
  std::string Db() const { return Json(db()).dump(); }

  TempDir dir_;
};

TEST_F(ClosingDialogCli, CheckStoreNamesShortItemsByNumberWithTheAppTypesMessage) {
  Line(12, 1103, 5);
  Line(12, 1101, 3);
  Line(11, 1102, 1);
  Stock(1103, 2);
  Stock(1102, 1);
  Json shop = Invoke("clsData", "CheckStore", {Db(), "\"11,12\"", "\"\""}, "1");
  EXPECT_EQ(shop["result"], false);
  EXPECT_EQ(shop["args"][2], "01.001 矿泉水, 01.003 可乐 商品库存不足，请先对商品做入库处理，然后再执行POS日结操作!");
  Json other = Invoke("clsData", "CheckStore", {Db(), "\"11,12\"", "\"\"", "\"1\""}, "3");
  EXPECT_EQ(other["args"][2], "01.001 矿泉水, 01.003 可乐 商品库存不足，请先对商品的入库做暂估处理，然后再执行POS日结操作!");
  Json covered = Invoke("clsData", "CheckStore", {Db(), "\"11\"", "\"\""});
  EXPECT_EQ(covered["result"], true);
  EXPECT_EQ(covered["args"][2], "");
}

TEST_F(ClosingDialogCli, IsValidBillRefusesWhatCannotBeClosedTogether) {
  struct Case {
    const char* ids;
    bool result;
    int type_id, daily_type;
    const char* message;
  } cases[] = {
      {"'12','13'", false, 0, 5, "不能同时日结 零售发货 和 零售退货 两种单据"},
      {"'12','14'", false, 1, 5, "部分单据已日结"},
      {"'12','15'", false, 1, 5, "不能日结以前期间零售单据"},
      {"'11','12'", true, 1, 0, ""},
  };
  for (const Case& c : cases) {
    Json out = Invoke("clsXSBalData", "IsValidBill", {Json(c.ids).dump(), "0", "5", "\"\""});
    EXPECT_EQ(out["result"], c.result) << c.ids;
    EXPECT_EQ(out["args"], Json::array({c.ids, c.type_id, c.daily_type, c.message})) << c.ids;
  }
  EXPECT_EQ(Invoke("clsXSBalData", "GetXSIDData", {R"([{"FID":"12"},{"FID":"12"},{"FID":"15"},{"FID":12}])"})["result"],
            "'12','15','12'");
}

TEST_F(ClosingDialogCli, CustomerTreeAndSettlementAmounts) {
  CustomerTree();
  Json tree = Invoke("clsData", "GetData", {Db()});
  EXPECT_EQ(tree["result"].dump(),
            R"([{"FItemID":502,"FName":"B","FDetail":1,"FLevel":1,"FTaxRate":13.0,"FNumber":"01","FHide1":0},)"
            R"({"FItemID":501,"FName":"A","FDetail":0,"FLevel":1,"FTaxRate":17,"FNumber":"02","FHide1":0},)"
            R"({"FItemID":504,"FName":"D","FDetail":1,"FLevel":2,"FTaxRate":6.0,"FNumber":"02.00","FHide1":0},)"
            R"({"FItemID":503,"FName":"C","FDetail":1,"FLevel":2,"FTaxRate":17,"FNumber":"02.01","FHide1":0}])");

  Exec("INSERT INTO t_LS_RetailEntry2 (FID, FSettleID, FSettleAmount) VALUES (11, 0, 5), (11, 1, 10), (11, 2, 30),"
       "(11, 3, 7), (11, 4, 2), (11, 5, 12.5), (12, 5, 7.5), (12, 2, 20)");
  Json amounts = Invoke("clsData", "SetSettleAmount", {Db(), "\"11,12\""});
  EXPECT_EQ(amounts["result"].dump(),
            R"([{"FItemID":"1","FName":"现金","FSettleAmount":"10"},{"FItemID":"2","FName":"挂账","FSettleAmount":"50"},)"
            R"({"FItemID":"5","FName":"银行卡","FSettleAmount":"20"}])");
}

TEST_F(ClosingDialogCli, OpenListsTheOpenBillsOfTheFilter) {
  auto ids = [&](std::vector<std::string> filter) {
    std::vector<std::string> line{"open", "--db", db(), "--json"};
    line.insert(line.end(), filter.begin(), filter.end());
    CliRun run = Run(line);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    Json out = Json::parse(run.out);
    std::vector<int> found;
    for (const Json& bill : out["bills"]) found.push_back(bill["id"].get<int>());
    return found;
  };
  EXPECT_EQ(ids({}), (std::vector<int>{15, 11, 12, 13}));
  EXPECT_EQ(ids({"--type", "returns"}), (std::vector<int>{13}));
  EXPECT_EQ(ids({"--from", "2026-12-01", "--to", "2026-12-04", "--type", "sales", "--shop", "1"}),
            (std::vector<int>{11, 12}));
  EXPECT_EQ(ids({"--from", "2026-12-02", "--to", "2026-12-03"}), (std::vector<int>{}));

  CliRun text = Run({"open", "--db", db(), "--shop", "2"});
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_NE(text.out.find("LS000013"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("1 bill"), std::string::npos) << text.out;

  for (std::vector<std::string> bad : {std::vector<std::string>{"--from", "2026-02-30"},
                                       {"--from", "2026-12-05", "--to", "2026-12-01"},
                                       {"--shop", "1x"},
                                       {"--type", "both"},
                                       {"--db", dir_.File("missing.db")}}) {
    std::vector<std::string> line{"open"};
    if (bad.front() != "--db") line.insert(line.end(), {"--db", db()});
    line.insert(line.end(), bad.begin(), bad.end());
    CliRun run = Run(line);
    EXPECT_EQ(run.exit_code, 2) << bad.front();
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
}  // namespace tovan::testing
