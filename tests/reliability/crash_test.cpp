// `dailybalance close` and `cancel` killed part-way: at a chosen statement
// ($DAILYBALANCE_FAULT=exit:k, an _exit with nothing committed) and by
// SIGKILL after a random delay, and on a server by the server ending the
// connection (pg_terminate_backend) after a random delay.  After every kill the database opens cleanly
// and holds the whole operation or none of it.
//
// The suite runs a few dozen seeds on a small database; scripts/crash_test.sh
// sets DAILYBALANCE_CRASH_SEEDS and DAILYBALANCE_CRASH_BILLS for long runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "tests/reliability/reliability_support.h"
#include "tests/support/host_fixture.h"

namespace tovan::testing {
namespace {

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

class CrashTest : public ::testing::Test {
 protected:
  struct Clean {
    std::string after;
    int statements;
    std::chrono::microseconds duration;
  };

  std::vector<std::string> CloseArgs() const {
    return {"close", "--db",     host_.db(), "--date",       "2026-12-04", "--type",
            "sales", "--shop",   "all",      "--client",     "314",        "--check-bill", "--in-cust", "305"};
  }
  std::vector<std::string> CancelArgs() const { return {"cancel", "--db", host_.db(), "1", "--reason", "test"}; }

  int RunChild(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    Child child(args, env, dir_.File("out"), dir_.File("err"));
    EXPECT_TRUE(child.started());
    return child.Wait();
  }

  // A clean run from `pristine`: what it writes, how many statements it
  // sends, how long it takes; the database is put back afterwards.
  Clean CleanRun(const std::vector<std::string>& args, const std::string& pristine) {
    const std::string trace = dir_.File("trace");
    std::filesystem::remove(trace);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunChild(args, {"DAILYBALANCE_TRACE=" + trace}), 0) << ReadFile(dir_.File("err"));
    auto duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    Clean clean{Snapshot(host_.db()), 0, duration};
    std::string text = ReadFile(trace);
    for (size_t at = 0; (at = text.find("\n-- end --\n", at)) != std::string::npos; ++at) ++clean.statements;
    CopyDatabase(pristine, host_.db());
    return clean;
  }

  // Kills `seeds` runs of `args` and checks what each leaves behind.
  void KillRuns(const std::vector<std::string>& args, int seeds, uint32_t first_seed) {
    const std::string pristine = dir_.File("pristine.db");
    CopyDatabase(host_.db(), pristine);
    std::string before = Snapshot(host_.db());
    Clean clean = CleanRun(args, pristine);
    ASSERT_GT(clean.statements, 10);

    int none = 0, whole = 0;
    for (int s = 0; s < seeds; ++s) {
      std::mt19937 random(first_seed + static_cast<uint32_t>(s));
      // Most runs end at a chosen statement; every third is a real SIGKILL;
      // on a server every third other has its connection ended by the server.
      bool sigkill = s % 3 == 2;
      bool server_kill = OnServer() && s % 3 == 1;
      std::string how;
      int code;
      if (server_kill) {
        auto delay =
            std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, clean.duration.count())(random));
        how = "server ended the connection after " + std::to_string(delay.count()) + " us";
        Child child(args, {"PGAPPNAME=crash-victim"}, dir_.File("out"), dir_.File("err"));
        std::this_thread::sleep_for(delay);
        auto maintenance = data::OpenConnection(ServerDataSource("postgres"));
        maintenance->backend().ExecuteScript(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'crash-victim'");
        code = child.Wait();
        // Ended while the connection was being opened, it is one that cannot be made: exit 2.
        EXPECT_TRUE(code == 0 || code == 1 || code == 2) << how << ": exit " << code << "\n" << ReadFile(dir_.File("err"));
      } else if (sigkill) {
        auto delay =
            std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, clean.duration.count())(random));
        how = "SIGKILL after " + std::to_string(delay.count()) + " us";
        Child child(args, {}, dir_.File("out"), dir_.File("err"));
        std::this_thread::sleep_for(delay);
        child.Kill();
        code = child.Wait();
      } else {
        int k = std::uniform_int_distribution<int>(1, clean.statements)(random);
        how = "exit at statement " + std::to_string(k);
        code = RunChild(args, {"DAILYBALANCE_FAULT=exit:" + std::to_string(k)});
        EXPECT_EQ(code, 75) << how;
      }
      EXPECT_EQ(IntegrityCheck(host_.db()), "ok") << how;
      std::string now = Snapshot(host_.db());
      if (code == 2) EXPECT_EQ(now, before) << how << ": refused at the start, yet it wrote";
      if (now == before) {
        ++none;
      } else if (now == clean.after) {
        ++whole;
        // A commit the server made whose answer the connection's end lost counts as done.
        EXPECT_TRUE(code == 0 || sigkill || server_kill) << how << ": killed, yet the work was committed";
      } else {
        ADD_FAILURE() << how << " left part of the work: " << FirstDifference(before, now) << "\n"
                      << DifferingRows(before, now);
      }
      CopyDatabase(pristine, host_.db());
    }
    std::cout << "[ crashes  ] " << args[0] << ": " << seeds << " kills survived (" << none << " left nothing, "
              << whole << " the whole work), " << clean.statements << " statements in a clean run of "
              << clean.duration.count() / 1000 << " ms\n";
  }

  HostFixture host_{SmallDemo(EnvNumber("DAILYBALANCE_CRASH_BILLS", 60), 5, 7)};
  TempDir dir_;
};

TEST_F(CrashTest, KilledClosingsLeaveAllOrNothing) {
  KillRuns(CloseArgs(), EnvNumber("DAILYBALANCE_CRASH_SEEDS", 30), 1);
}

TEST_F(CrashTest, KilledCancellationsLeaveAllOrNothing) {
  ASSERT_EQ(RunChild(CloseArgs()), 0) << ReadFile(dir_.File("err"));
  KillRuns(CancelArgs(), EnvNumber("DAILYBALANCE_CRASH_SEEDS", 30) * 2 / 3, 1001);
}

}  // namespace
}  // namespace tovan::testing
