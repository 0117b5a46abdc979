// The dailybalance command as a user runs it: exit codes, one-line errors
// and the JSON of invoke.
#include <gtest/gtest.h>


#include "tests/support/cli_run.h"

namespace {

using tovan::testing::CliRun;

CliRun Dailybalance(const tovan::testing::TempDir& dir, const std::vector<std::string>& args) {
  return tovan::testing::RunDailybalance(dir, args);
}

int Lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

TEST(Cli, RegisterThenInvoke) {
  tovan::testing::TempDir dir;
  CliRun before = Dailybalance(dir, {"invoke", "TovanMDailyBalance.clsData", "TransMode"});
  EXPECT_EQ(before.exit_code, 2);
  EXPECT_EQ(Lines(before.err), 1) << before.err;
  EXPECT_NE(before.err.find("not registered"), std::string::npos) << before.err;

  ASSERT_EQ(Dailybalance(dir, {"register"}).exit_code, 0);
  CliRun mode = Dailybalance(dir, {"invoke", "TovanMDailyBalance.clsData", "TransMode"});
  EXPECT_EQ(mode.exit_code, 0) << mode.err;
  EXPECT_EQ(mode.out, "{\"result\": 2, \"args\": [], \"events\": []}\n");

  // A record list argument comes back in args, keys in their order and types.
  CliRun ids = Dailybalance(dir, {"invoke", "TovanMDailyBalance.clsXSBalData", "GetXSIDData",
                               R"([{"FID":"12","b":{"date":"2026-12-04"}},{"FID":15}])"});
  EXPECT_EQ(ids.exit_code, 0) << ids.err;
  EXPECT_EQ(ids.out,
            "{\"result\": \"'12','15'\", \"args\": [[{\"FID\": \"12\", \"b\": \"2026-12-04\"}, {\"FID\": 15}]], "
            "\"events\": []}\n");

  ASSERT_EQ(Dailybalance(dir, {"unregister"}).exit_code, 0);
  EXPECT_EQ(Dailybalance(dir, {"invoke", "TovanMDailyBalance.clsData", "TransMode"}).exit_code, 2);
}

TEST(Cli, RefusesBadCallsWithOneLine) {
  tovan::testing::TempDir dir;
  ASSERT_EQ(Dailybalance(dir, {"register"}).exit_code, 0);
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* message;
  } cases[] = {
      {{"invoke", "TovanMDailyBalance.clsData", "NoSuchMember"}, 2, "NoSuchMember"},
      {{"invoke", "TovanMDailyBalance.nothing", "TransMode"}, 2, "not registered"},
      {{"invoke", "TovanMDailyBalance.clsData", "JudgeSettleType", "[{\"a\":"}, 2, "not JSON"},
      {{"invoke", "TovanMDailyBalance.clsData", "JudgeSettleType", "12"}, 2, "Type mismatch"},
      {{"invoke", "TovanMDailyBalance.clsData", "TransMode", "1"}, 2, "Wrong number of arguments"},
      {{"invoke", "TovanMDailyBalance.clsData", "GetMaxLevel", "{\"date\":\"2026-02-30\"}"}, 2, "not a date"},
      {{"invoke", "TovanMDailyBalance.clsData", "ProcessDailyBalance"}, 2, "Argument not optional"},
      // clsUnBalData lets packaging failures pass to its caller: the operation failed.
      {{"invoke", "TovanMDailyBalance.clsUnBalData", "PackageRecord", "{\"nothing\":true}"}, 1, "error 91"},
      {{"frobnicate"}, 2, ""},
  };
  for (const Case& c : cases) {
    CliRun run = Dailybalance(dir, c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args.back() << ": " << run.err;
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(Cli, HelpAndVersion) {
  tovan::testing::TempDir dir;
  CliRun version = Dailybalance(dir, {"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("dailybalance ", 0), 0u);
  for (const char* sub : {"register", "unregister", "invoke", "demo"}) {
    CliRun help = Dailybalance(dir, {sub, "--help"});
    EXPECT_EQ(help.exit_code, 0) << sub;
    EXPECT_NE(help.out.find("Usage"), std::string::npos) << sub;
  }
}

}  // namespace
