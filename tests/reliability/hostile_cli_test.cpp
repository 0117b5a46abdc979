// The command is where input from a user stops: every subcommand refuses
// hostile arguments with exit 2 and one line on stderr, before anything
// reaches the component, and none of them changes the database.  Inputs
// that are SQL by design (closed --filter, invoke's {"sql": ...}) run in a
// unit of work that is always rolled back.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/reliability/reliability_support.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

class HostileInput : public ::testing::Test {
 protected:
  struct Run {
    int code;
    std::string out, err;
  };
  Run Dailybalance(const std::vector<std::string>& args) {
    Child child(args, {}, dir_.File("out"), dir_.File("err"));
    int code = child.Wait();
    return {code, ReadFile(dir_.File("out")), ReadFile(dir_.File("err"))};
  }
  static std::string Joined(const std::vector<std::string>& args) {
    std::string text;
    for (const auto& a : args) text += (text.empty() ? "" : " ") + a;
    return text;
  }

  HostFixture host_{SmallDemo(30, 5, 7)};
  TempDir dir_;
};

TEST_F(HostileInput, EveryCommandRefusesItWithOneLine) {
  const std::string db = host_.db();
  const std::string fresh = dir_.File("fresh.db");
  const std::string not_a_db = dir_.File("notes.txt");
  {
    std::ofstream notes(not_a_db);
    notes << "not a database\n";
  }
  const std::string injection = "1);delete from t_LS_Retail;--";
  auto close = [&](std::vector<std::string> more) {
    std::vector<std::string> args{"close", "--db", db, "--bills", "22"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::vector<std::vector<std::string>> cases = {
      {"close", "--db", db, "--bills", injection, "--client", "314"},
      {"close", "--db", db, "--bills", "22,,23", "--client", "314"},
      {"close", "--db", db, "--bills", "-1", "--client", "314"},
      {"close", "--db", db, "--bills", "9999999999", "--client", "314"},
      {"close", "--db", db, "--bills", "22\n23", "--client", "314"},
      {"close", "--db", db, "--date", "2026-02-30", "--type", "sales", "--client", "314"},
      {"close", "--db", db, "--date", "2026-12-04' or '1'='1", "--type", "sales", "--client", "314"},
      {"close", "--db", db, "--date", "2026-12-04", "--type", "sales;", "--client", "314"},
      {"close", "--db", db, "--date", "2026-12-04", "--client", "314"},
      close({"--client", "314 or 1=1"}),
      close({"--client", "99999"}),
      close({"--client", "314", "--tax", "1e308"}),
      close({"--client", "314", "--tax", "nan"}),
      close({"--client", "314", "--tax", "-5"}),
      close({"--client", "314", "--tax", "&H10"}),
      close({"--client", "314", "--acct", "x';delete from t_LS_Retail;--"}),
      close({"--client", "314", "--acct", "现金' or '1'='1"}),
      close({"--client", "314", "--invoice-type", "2021);delete from t_LS_Retail;--"}),
      close({"--client", "314", "--dept", "-1"}),
      close({"--client", "314", "--check-bill", "--in-cust", "0"}),
      close({"--client", "314", "--check-bill", "--in-cust", "99999"}),
      close({"--client", "314", "--user", "0"}),
      close({"--client", "314", "--app-type", "99999999999"}),
      close({"--client", "314", "unexpected"}),
      {"close", "--db", dir_.path().string(), "--bills", "22", "--client", "314"},
      {"close", "--db", not_a_db, "--bills", "22", "--client", "314"},
      {"close", "--db", "odbc:DSN=x", "--bills", "22", "--client", "314"},
      {"close", "--db", "", "--bills", "22", "--client", "314"},
      {"cancel", "--db", db, injection, "--reason", "x"},
      {"cancel", "--db", db, "", "--reason", "x"},
      {"cancel", "--db", db, "0", "--reason", "x"},
      {"cancel", "--db", db, "1,", "--reason", "x"},
      {"cancel", "--db", db, "1 2", "--reason", "x"},
      {"cancel", "--db", db, "１", "--reason", "x"},
      {"cancel", "--db", not_a_db, "1", "--reason", "x"},
      {"show", "--db", db, "1;delete from t_LS_Retail"},
      {"show", "--db", db, ""},
      {"show", "--db", db, "--", "-1"},
      {"closed", "--db", db, "--filter", "nonsense ("},
      {"closed", "--db", db, "--filter", "1=1 commit"},
      {"closed", "--db", db, "--filter", "1=1;attach database 'x.db' as x;--"},
      {"closed", "--db", not_a_db},
      {"open", "--db", db, "--shop", "1;x"},
      {"open", "--db", db, "--from", "2026-13-01"},
      {"open", "--db", db, "--type", "x"},
      {"open", "--db", db, "--from", "2026-12-05", "--to", "2026-12-01"},
      {"option", "--db", db, "IC;drop", "CurrentPeriod"},
      {"option", "--db", db, "IC", "CurrentPeriod' or '1'='1"},
      {"option", "--db", db, "IC", "CurrentPeriod", "12\nx"},
      {"option", "--db", db, "", ""},
      {"option", "--db", dir_.File("missing.db"), "IC", "CurrentPeriod"},
      {"init", "--db", fresh, "--bills", "-1"},
      {"init", "--db", fresh, "--bills", "100000000"},
      {"init", "--db", fresh, "--lines", "0"},
      {"init", "--db", fresh, "--days", "1000000"},
      {"init", "--db", fresh, "--seed", "-1"},
      {"init", "--db", fresh, "--last-day", "2026-13-01"},
      {"init", "--db", fresh, "--last-day", "2026-12-01 10:00:00"},
      {"init", "--db", dir_.path().string()},
      {"init", "--db", ""},
      {"init", "--db", "odbc:DSN=x"},
      {"init", "--db", "/nonexistent/directory/x.db"},
      {"init", "--db", db},
      {"invoke", "--db", db, "Nope.Class", "Member"},
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "Nope"},
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "TransMode", "{"},
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "TransMode", "1", "2"},
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "GetIDData", R"({"sql": 5})"},
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "GetIDData", R"({"events": "x"})"},
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "GetIDData", R"({"date": "2026-13-01"})"},
      {"invoke", "--db", db, "../../etc/passwd", "TransMode"},
      {"invoke", "--db", db, "--user", "0", "TovanMDailyBalance.clsData", "TransMode"},
  };
  std::string before = Snapshot(db);
  for (const auto& args : cases) {
    Run run = Dailybalance(args);
    EXPECT_EQ(run.code, 2) << Joined(args) << "\n" << run.out << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << Joined(args) << ": " << run.err;
    EXPECT_EQ(run.err.rfind("dailybalance: ", 0), 0u) << Joined(args) << ": " << run.err;
    EXPECT_EQ(run.out, "") << Joined(args);
  }
  EXPECT_FALSE(std::filesystem::exists(fresh));
  std::string after = Snapshot(db);
  EXPECT_TRUE(after == before) << FirstDifference(before, after);
}

TEST_F(HostileInput, SqlByDesignCannotWrite) {
  const std::string db = host_.db();
  ASSERT_EQ(Dailybalance({"close", "--db", db, "--date", "2026-12-04", "--type", "sales", "--shop", "all", "--client", "314"}).code, 0);
  std::string before = Snapshot(db);

  // A filter is a condition on the daily bills; a write it carries is
  // refused by the listing's read-only unit, and the listing with it.
  for (const char* filter : {"1=0;delete from t_LS_Retail;--", "b.FID=1;update t_LS_Retail set FDailyBillID=0;--"}) {
    Run listed = Dailybalance({"closed", "--db", db, "--filter", filter});
    EXPECT_EQ(listed.code, 2) << filter;
    EXPECT_EQ(listed.err.rfind("dailybalance: --filter: ", 0), 0u) << listed.err;
    EXPECT_EQ(std::count(listed.err.begin(), listed.err.end(), '\n'), 1) << listed.err;
  }
  Run filtered = Dailybalance({"closed", "--db", db, "--filter", "b.FID=1"});
  EXPECT_EQ(filtered.code, 0) << filtered.err;
  EXPECT_NE(filtered.out.find("RJ"), std::string::npos) << "the condition itself filters";
  Run written = Dailybalance(
      {"invoke", "--db", db, "TovanMDailyBalance.clsData", "GetIDData", R"({"sql": "delete from t_LS_Retail"})"});
  EXPECT_EQ(written.code, 2);
  Run read = Dailybalance({"invoke", "--db", db, "TovanMDailyBalance.clsData", "PackageRecordset",
                           R"({"sql": "select FID from t_LS_Retail where FID=22;delete from t_LS_Retail"})"});
  EXPECT_EQ(read.code, 2) << read.out;
  EXPECT_EQ(read.err.rfind("dailybalance: argument 1: ", 0), 0u) << read.err;
  Run plain = Dailybalance({"invoke", "--db", db, "TovanMDailyBalance.clsData", "PackageRecordset",
                            R"({"sql": "select FID from t_LS_Retail where FID=22"})"});
  EXPECT_EQ(plain.code, 0) << plain.err;
  EXPECT_NE(plain.out.find("\"22\""), std::string::npos) << plain.out;

  std::string after = Snapshot(db);
  EXPECT_TRUE(after == before) << FirstDifference(before, after);
}

}  // namespace
}  // namespace tovan::testing
