// A server that fails a closing names itself beside the stage's message: a
// connection the server ends, a server shutting down under a closing, and a
// server nobody can reach.  Each runs on a throwaway cluster of its own, so
// the shared test server never stops.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/reliability/reliability_support.h"
#include "tests/support/temp_dir.h"

namespace tovan::testing {
namespace {

constexpr const char* kHeldAt = "DAILYBALANCE_FAULT=pause:Update t_LS_Retail set FDailyBillID=";

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// A cluster of scripts/pg-cluster.sh in a folder of its own under /tmp (the
// server's account must reach it), removed with the object.
class ThrowawayCluster {
 public:
  ThrowawayCluster() {
    std::string pattern = "/tmp/dailybalance-cause-XXXXXX";
    dir_ = ::mkdtemp(pattern.data());
    data_source_ = Shell(Script() + " start " + dir_ + " 2>&1");
  }
  ~ThrowawayCluster() { Shell(Script() + " stop " + dir_ + " 2>&1"); }
  ThrowawayCluster(const ThrowawayCluster&) = delete;
  ThrowawayCluster& operator=(const ThrowawayCluster&) = delete;

  const std::string& data_source() const { return data_source_; }
  // `pg_ctl stop -m fast`: the server ends every session (57P01) and stops.
  void StopFast() const {
    const std::string bin = Shell("ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1");
    const std::string as_owner = ::getuid() == 0 ? "runuser -u postgres -- " : "";
    Shell(as_owner + bin + "/pg_ctl -D " + dir_ + "/data -m fast -w stop 2>&1");
  }
  // Kills the session of `application` as a cut network or a crashed
  // backend would end it: without a word (pg_terminate_backend would say
  // 57P01, which is what a shutdown says).
  void Kill(const std::string& application) const {
    auto connection = data::OpenConnection(data_source_);
    const std::vector<automation::Variant> name{automation::Variant(application)};
    auto pids = connection->backend().ExecuteNative(
        "SELECT pid FROM pg_stat_activity WHERE application_name = ?1", name);
    for (size_t r = 0; r < pids.RowCount(); ++r) ::kill(automation::CLng(pids.At(r, 0)), SIGKILL);
  }

 private:
  static std::string Script() { return std::string(DAILYBALANCE_SOURCE_DIR) + "/scripts/pg-cluster.sh"; }
  std::string dir_, data_source_;
};

class ServerCauses : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnServer()) GTEST_SKIP() << "causes of a server";
  }
  std::vector<std::string> Env(std::vector<std::string> more = {}) const {
    more.push_back("DAILYBALANCE_REGISTRY=" + dir_.File("registry.json"));
    return more;
  }
  int Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    Child child(args, Env(env), dir_.File("out"), dir_.File("err"));
    return child.Wait();
  }
  void Init(const std::string& db) {
    ASSERT_EQ(Run({"init", "--db", db, "--bills", "20", "--lines", "3", "--days", "2", "--last-day", "2026-12-04"}), 0)
        << ReadFile(dir_.File("err"));
  }
  std::vector<std::string> CloseArgs(const std::string& db) const {
    return {"close", "--db", db, "--date", "2026-12-04", "--type", "sales", "--shop", "all", "--client", "314"};
  }
  // A closing held at the retail bills' update while `interrupt` acts on
  // its server; answers what it printed.
  std::string HeldClosing(const ThrowawayCluster& cluster, const std::function<void()>& interrupt, int& code) {
    Child child(CloseArgs(cluster.data_source()), Env({kHeldAt, "PGAPPNAME=cause-victim"}), dir_.File("out"),
                dir_.File("err"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ReadFile(dir_.File("err")).find("injected pause") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    interrupt();
    code = child.Wait();
    return ReadFile(dir_.File("out")) + ReadFile(dir_.File("err"));
  }
  // The line after the stage's message names the cause.
  static void ExpectBesideTheStage(const std::string& printed, const std::string& cause) {
    const size_t at = printed.find("cause: " + cause);
    ASSERT_NE(at, std::string::npos) << printed;
    ASSERT_GT(at, 0u) << printed;
    EXPECT_EQ(printed[at - 1], '\n') << printed;
    const size_t line = printed.rfind('\n', at - 2);
    const std::string stage = printed.substr(line == std::string::npos ? 0 : line + 1, at - 1 - (line == std::string::npos ? 0 : line + 1));
    EXPECT_NE(stage.find("日结失败"), std::string::npos) << "the stage's message, then the cause:\n" << printed;
  }

  TempDir dir_;
};

TEST_F(ServerCauses, AConnectionTheServerEnds) {
  ThrowawayCluster cluster;
  ASSERT_NE(cluster.data_source().find("postgresql://"), std::string::npos) << cluster.data_source();
  Init(cluster.data_source());
  int code = 0;
  std::string printed = HeldClosing(cluster, [&] { cluster.Kill("cause-victim"); }, code);
  EXPECT_EQ(code, 1) << printed;
  ExpectBesideTheStage(printed, "the connection to the database server was lost");
}

TEST_F(ServerCauses, AServerShuttingDown) {
  ThrowawayCluster cluster;
  ASSERT_NE(cluster.data_source().find("postgresql://"), std::string::npos) << cluster.data_source();
  Init(cluster.data_source());
  int code = 0;
  std::string printed = HeldClosing(cluster, [&] { cluster.StopFast(); }, code);
  EXPECT_EQ(code, 1) << printed;
  ExpectBesideTheStage(printed, "the database server is shutting down");
}

TEST_F(ServerCauses, AServerNobodyCanReach) {
  ThrowawayCluster cluster;
  ASSERT_NE(cluster.data_source().find("postgresql://"), std::string::npos) << cluster.data_source();
  Init(cluster.data_source());
  cluster.StopFast();
  const int code = Run(CloseArgs(cluster.data_source()));
  const std::string printed = ReadFile(dir_.File("out")) + ReadFile(dir_.File("err"));
  EXPECT_EQ(code, 2) << "an unreachable --db is refused before anything runs: " << printed;
  EXPECT_NE(printed.find("\ndailybalance: cause: the database server cannot be reached or refused the connection\n"),
            std::string::npos)
      << printed;
}

}  // namespace
}  // namespace tovan::testing
