// Power cuts on the embedded engine.  `dailybalance close`, `cancel` and
// `serve` run with a VFS that keeps only what was synced (power_loss_vfs.cpp,
// through LD_PRELOAD) and drops the rest at a chosen moment: at the
// acknowledgement itself (before the first byte of the command's answer
// reaches its stdout, or before the dialog's answer that a job is done is
// sent), or at each of the syncs a run makes.  What an acknowledgement
// reported must be on the disk afterwards, whole; what was cut short before
// it is either all there or not at all, and reported nothing.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "tests/reliability/reliability_support.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tovan::testing {
namespace {

using Json = nlohmann::json;
constexpr const char* kDay = "2026-12-04";
constexpr const char* kPassword = "pass-word-0123";
constexpr const char* kDone = "日结成功";

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string dropped;  // the VFS's note of the drop
  // What the process had written to stdout when the power went.
  std::string reported() const {
    std::smatch m;
    if (!std::regex_search(dropped, m, std::regex(R"(after (\d+) bytes)"))) return out;
    return out.substr(0, std::stoul(m[1]));
  }
};

// A dailybalance process; with `power_cut` ($POWERLOSS_AT) it runs on the
// power-loss VFS.  Its stdout is a pipe that is read only once the process
// has ended, so that the VFS can tell when the answer has begun.
class Process {
 public:
  Process(const TempDir& dir, std::vector<std::string> args, const std::string& power_cut, const std::string& input = "")
      : dir_(dir) {
    args.insert(args.begin(), DAILYBALANCE_CLI);
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry(*e), name = entry.substr(0, entry.find('='));
      if (name != "LD_PRELOAD" && name.rfind("POWERLOSS_", 0) != 0 && name.rfind("DAILYBALANCE_", 0) != 0)
        env_text.push_back(entry);
    }
    env_text.push_back("DAILYBALANCE_REGISTRY=" + dir.File("registry.json"));
    std::filesystem::remove(dir.File("dropped"));
    if (!power_cut.empty()) {
      env_text.push_back(std::string("LD_PRELOAD=") + POWER_LOSS_VFS);
      env_text.push_back("POWERLOSS_AT=" + power_cut);
      env_text.push_back("POWERLOSS_LOG=" + dir.File("dropped"));
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    read_end_ = out[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    EXPECT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    if (read_end_ >= 0) ::close(read_end_);
  }

  // The first line of its stdout, read while it runs (the dialog's address).
  std::string FirstLine() {
    std::string line;
    char c;
    while (::read(read_end_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  // Waits for the end (killing it first with `kill`), then reads its stdout.
  Outcome Finish(bool kill = false) {
    if (kill) ::kill(pid_, SIGKILL);
    Outcome run;
    run.exit_code = Wait();
    char buffer[4096];
    for (ssize_t n; (n = ::read(read_end_, buffer, sizeof buffer)) > 0;) run.out.append(buffer, n);
    run.dropped = ReadFile(dir_.File("dropped"));
    // What the power cut left of the WAL index is not to be trusted; SQLite
    // rebuilds it from the WAL on the disk.
    std::filesystem::remove(dir_.File("shop.db-shm"));
    return run;
  }

 private:
  int Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
  }
  const TempDir& dir_;
  pid_t pid_ = -1;
  int read_end_ = -1;
};

// A program reading the database beside the command, as the dialog or any
// other would: the command's connection is then not the last one, so its
// end checkpoints nothing, and only what its commits synced is on the disk.
// A process of its own, killed without a word: a connection of this process
// would keep the WAL index of the run in memory after the power cut.
class ReaderBeside {
 public:
  explicit ReaderBeside(const std::string& db) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      auto connection = data::OpenConnection(db);
      connection->backend().ExecuteNative("SELECT count(*) FROM t_LS_Retail", {});
      ssize_t written = ::write(ready[1], "r", 1);
      (void)written;
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char c;
    EXPECT_EQ(::read(ready[0], &c, 1), 1) << "the reader did not start";
    ::close(ready[0]);
  }
  ~ReaderBeside() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ReaderBeside(const ReaderBeside&) = delete;
  ReaderBeside& operator=(const ReaderBeside&) = delete;

 private:
  pid_t pid_;
};

class PowerLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    if (OnServer()) GTEST_SKIP() << "power cuts of the embedded engine";
    Outcome init = Process(dir_, {"init", "--db", db_, "--bills", "40", "--lines", "4", "--days", "2", "--last-day", kDay},
                       "")
                   .Finish();
    ASSERT_EQ(init.exit_code, 0) << ReadFile(dir_.File("err"));
    CopyDatabase(db_, pristine_);
    before_ = Snapshot(db_);
  }

  std::vector<std::string> CloseArgs() const {
    return {"close", "--db", db_, "--date", kDay, "--type", "sales", "--shop", "all", "--client", "314",
            "--check-bill", "--in-cust", "305"};
  }
  std::vector<std::string> CancelArgs() const { return {"cancel", "--db", db_, "1", "--reason", "power test"}; }

  Outcome RunCommand(const std::vector<std::string>& args, const std::string& power_cut) {
    if (power_cut.empty()) return Process(dir_, args, power_cut).Finish();
    ReaderBeside reader(db_);
    return Process(dir_, args, power_cut).Finish();
  }

  // Whether `state` is one of `expected`; otherwise a failure naming what differs from the first.
  void ExpectOneOf(const std::string& state, std::initializer_list<const std::string*> expected,
                   const std::string& how) {
    for (const std::string* e : expected)
      if (state == *e) return;
    ADD_FAILURE() << how << " left part of the work: " << FirstDifference(**expected.begin(), state) << "\n"
                  << DifferingRows(**expected.begin(), state);
  }

  TempDir dir_;
  std::string db_ = dir_.File("shop.db");
  std::string pristine_ = dir_.File("pristine.db");
  std::string before_;
};

TEST_F(PowerLoss, AcknowledgedCommandsSurviveAndCutOnesLeaveNoTrace) {
  // What a closing and then its cancellation write, without power cuts.
  Outcome closing = RunCommand(CloseArgs(), "");
  ASSERT_EQ(closing.exit_code, 0) << closing.out << ReadFile(dir_.File("err"));
  const std::string closed = Snapshot(db_);
  auto number = TestConnection(db_)->backend().ExecuteNative("SELECT FBillNo FROM t_LS_DailyBill", {});
  ASSERT_EQ(number.RowCount(), 1u);
  const std::string daily_bill_no = automation::CStr(number.At(0, 0));
  ASSERT_EQ(RunCommand(CancelArgs(), "").exit_code, 0) << ReadFile(dir_.File("err"));
  const std::string cancelled = Snapshot(db_);
  CopyDatabase(pristine_, db_);

  // The power goes as each answer begins: what it reported is on the disk.
  Outcome acknowledged = RunCommand(CloseArgs(), "stdout");
  ASSERT_EQ(acknowledged.exit_code, 0) << ReadFile(dir_.File("err"));
  ASSERT_NE(acknowledged.reported().find(kDone), std::string::npos) << acknowledged.out << acknowledged.dropped;
  EXPECT_EQ(IntegrityCheck(db_), "ok");
  EXPECT_TRUE(Snapshot(db_) == closed) << "an acknowledged closing was lost: " << FirstDifference(closed, Snapshot(db_));
  Outcome cancel_acknowledged = RunCommand(CancelArgs(), "stdout");
  ASSERT_EQ(cancel_acknowledged.exit_code, 0) << ReadFile(dir_.File("err"));
  ASSERT_NE(cancel_acknowledged.reported().find("反日结完成"), std::string::npos)
      << cancel_acknowledged.out << cancel_acknowledged.dropped;
  EXPECT_TRUE(Snapshot(db_) == cancelled) << "an acknowledged cancellation was lost: "
                                          << FirstDifference(cancelled, Snapshot(db_));

  // The power goes at each sync of a closing in turn, then of a cancellation.
  for (bool cancelling : {false, true}) {
    const std::string& start = cancelling ? closed : before_;
    const std::string& end = cancelling ? cancelled : closed;
    int cuts = 0;
    for (int sync = 1;; ++sync) {
      CopyDatabase(pristine_, db_);
      if (cancelling) {
        ASSERT_EQ(RunCommand(CloseArgs(), "").exit_code, 0);
      }
      Outcome cut = RunCommand(cancelling ? CancelArgs() : CloseArgs(), "sync:" + std::to_string(sync));
      if (cut.dropped.find("at sync") == std::string::npos) break;  // the run ended before its sync'th sync
      ++cuts;
      const std::string how = std::string(cancelling ? "cancellation" : "closing") + " cut at sync " +
                              std::to_string(sync);
      EXPECT_EQ(IntegrityCheck(db_), "ok") << how;
      std::string now = Snapshot(db_);
      ExpectOneOf(now, {&start, &end}, how);
      const std::string reported = cut.reported();
      if (reported.find(kDone) != std::string::npos) {
        EXPECT_TRUE(now == end) << how << ": reported done, yet it is gone";
      }
      // A closing that is gone gives its number to the next one; it must not have told anyone that number.
      if (!cancelling && now == start) {
        EXPECT_EQ(reported.find(daily_bill_no), std::string::npos) << how << " reported " << reported;
      }
    }
    EXPECT_GE(cuts, 2) << "the VFS saw too few syncs to cut at";
    std::cout << "[ cuts     ] " << (cancelling ? "cancel" : "close") << ": cut at each of " << cuts << " syncs\n";
  }
}

// One `serve` process; signs in as operator 1.
class Dialog {
 public:
  Dialog(const TempDir& dir, const std::string& db, const std::string& power_cut)
      : process_(dir, {"serve", "--db", db, "--port", "0"}, power_cut) {
    std::smatch m;
    std::string line = process_.FirstLine();
    if (std::regex_search(line, m, std::regex(R"(:(\d+)/$)"))) port_ = std::stoi(m[1]);
    EXPECT_GT(port_, 0) << line;
    auto res = Client().Post("/api/session", Json{{"user", "1"}, {"password", kPassword}}.dump(), "application/json");
    EXPECT_TRUE(res && res->status == 200) << (res ? res->body : "no answer");
    if (!res || res->status != 200) return;
    cookie_ = res->get_header_value("Set-Cookie");
    cookie_ = cookie_.substr(0, cookie_.find(';'));
    csrf_ = Json::parse(res->body)["csrf"];
  }

  // Starts a job and follows its events to the answer that it is done.
  Json RunJob(const std::string& path, const Json& body) {
    auto started = Client().Post(path.c_str(), {{"Cookie", cookie_}, {"X-CSRF-Token", csrf_}}, body.dump(),
                                 "application/json");
    EXPECT_TRUE(started && started->status == 202) << (started ? started->body : "no answer");
    if (!started || started->status != 202) return {};
    std::string stream;
    Client().Get(("/api/jobs/" + Json::parse(started->body)["job"].dump() + "/events").c_str(),
                 {{"Cookie", cookie_}}, [&](const char* data, size_t n) {
                   stream.append(data, n);
                   return stream.find("\"state\":\"done\"") == std::string::npos;
                 });
    size_t at = stream.rfind("data: ");
    if (at == std::string::npos) return {};
    Json last = Json::parse(stream.substr(at + 6, stream.find("\n\n", at) - at - 6));
    EXPECT_EQ(last["state"], "done");
    return last["result"];
  }
  Json Get(const std::string& path) const {
    auto res = Client().Get(path.c_str(), {{"Cookie", cookie_}});
    EXPECT_TRUE(res && res->status == 200) << path;
    return res && res->status == 200 ? Json::parse(res->body) : Json::object();
  }
  Outcome Stop() { return process_.Finish(true); }

 private:
  httplib::Client Client() const {
    httplib::Client client("http://127.0.0.1:" + std::to_string(port_));
    client.set_read_timeout(120, 0);
    return client;
  }
  Process process_;
  int port_ = 0;
  std::string cookie_, csrf_;
};

TEST_F(PowerLoss, DialogAnswersDoneOnlyForWhatSurvives) {
  const std::string input = dir_.File("password");
  std::ofstream(input) << kPassword << "\n";
  ASSERT_EQ(Process(dir_, {"user", "passwd", "--db", db_, "1"}, "", input).Finish().exit_code, 0)
      << ReadFile(dir_.File("err"));
  CopyDatabase(db_, pristine_);

  // Without power cuts, in one process.
  std::string closed, cancelled, daily_id;
  Json body;
  {
    Dialog dialog(dir_, db_, "");
    std::string ids, client;
    Json bills = dialog.Get(std::string("/api/bills?type=sales&from=") + kDay + "&to=" + kDay);
    for (const auto& b : bills["bills"]) ids += (ids.empty() ? "" : ",") + b["id"].dump();
    for (const auto& c : dialog.Get("/api/customers")["customers"])
      if (c["isCustomer"] == true && client.empty()) client = c["id"].dump();
    ASSERT_FALSE(ids.empty()) << bills.dump();
    body = Json{{"ids", ids}, {"date", kDay}, {"client", client}, {"checkBill", true}, {"inCust", client}};
    Json result = dialog.RunJob("/api/close", body);
    ASSERT_TRUE(result["ok"]) << result.dump();
    closed = Snapshot(db_);
    daily_id = automation::CStr(TestConnection(db_)->backend().ExecuteNative("SELECT FID FROM t_LS_DailyBill", {}).At(0, 0));
    ASSERT_TRUE(dialog.RunJob("/api/cancel", Json{{"ids", daily_id}, {"reason", "power test"}})["ok"]);
    cancelled = Snapshot(db_);
    dialog.Stop();
  }
  CopyDatabase(pristine_, db_);

  // The power goes as the server sends the answer that the job is done.
  const std::string at_done = "send:\"state\":\"done\"";
  {
    Dialog dialog(dir_, db_, at_done);
    EXPECT_TRUE(dialog.RunJob("/api/close", body)["ok"]);
    Outcome run = dialog.Stop();
    ASSERT_NE(run.dropped.find("on send"), std::string::npos) << "no answer said done";
  }
  EXPECT_EQ(IntegrityCheck(db_), "ok");
  EXPECT_TRUE(Snapshot(db_) == closed) << "a closing the dialog answered done was lost: "
                                       << FirstDifference(closed, Snapshot(db_)) << "\n"
                                       << DifferingRows(closed, Snapshot(db_));
  {
    Dialog dialog(dir_, db_, at_done);
    EXPECT_TRUE(dialog.RunJob("/api/cancel", Json{{"ids", daily_id}, {"reason", "power test"}})["ok"]);
    ASSERT_NE(dialog.Stop().dropped.find("on send"), std::string::npos) << "no answer said done";
  }
  EXPECT_EQ(IntegrityCheck(db_), "ok");
  EXPECT_TRUE(Snapshot(db_) == cancelled) << "a cancellation the dialog answered done was lost: "
                                          << FirstDifference(cancelled, Snapshot(db_));
}

}  // namespace
}  // namespace tovan::testing
