// The dialog's HTTP services against a running `dailybalance serve`: input
// refused with 400 before anything runs, sign-in, sessions and CSRF, rights
// per role, lockout, slow clients and TLS, reads that leave the database as
// it was, a day closed and cancelled through jobs, the host's causes of
// failure, and two closings of the same bills at once.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>
#include <optional>
#include <nlohmann/json.hpp>
#include <fmt/format.h>
#include <cmath>
#include <regex>

#include "platform/data/backend.h"
#include "platform/data/open.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/cli_run.h"
#include "tests/support/commit_cutting_proxy.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_backend.h"

extern char** environ;

namespace tovan::testing {
namespace {

using Json = nlohmann::json;
constexpr const char* kDay = "2026-12-04";
constexpr const char* kPassword = "pass-word-0123";

// Sets `password` for operator `id` as an admin does, through standard input.
void SetPassword(const TempDir& dir, const std::string& db, const std::string& id, const std::string& password) {
  const std::string input = dir.File("password-" + id);
  std::ofstream(input) << password << "\n";
  auto run = RunDailybalance(dir, {"user", "passwd", "--db", db, id}, input);
  EXPECT_EQ(run.exit_code, 0) << run.err;
}

// One `serve` process on a free port over a fresh generated database, whose
// operators (1 admin, 2 closer of shop 1, 3 supervisor) have kPassword.  It
// signs in as `user` (none: "") and sends that session's cookie with every
// request, and its CSRF token with every change.
class DialogServer {
 public:
  DialogServer(const TempDir& dir, const std::vector<std::string>& extra = {}, const std::string& user = "1")
      : dir_(dir) {
    if (!std::filesystem::exists(dir.File("db-source"))) {
      db_ = FreshDataSource(dir.File("shop.db"));
      auto init = RunDailybalance(dir, {"init", "--db", db_, "--bills", "40", "--lines", "4", "--days", "2",
                                        "--last-day", kDay});
      EXPECT_EQ(init.exit_code, 0) << init.err;
      for (const char* id : {"1", "2", "3"}) SetPassword(dir, db_, id, kPassword);
      std::ofstream(dir.File("db-source")) << db_;
    } else {
      std::ifstream(dir.File("db-source")) >> db_;
    }
    std::string registry = "DAILYBALANCE_REGISTRY=" + dir.File("registry.json");
    std::vector<std::string> args{DAILYBALANCE_CLI, "serve", "--db", db_, "--port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(registry.data());
    env.push_back(nullptr);
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, dir.File("serve.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    std::smatch m;
    if (std::regex_search(line, m, std::regex(R"(^Closing dialog: (https?)://[^ ]+:(\d+)/$)"))) {
      tls_ = m[1] == "https";
      port_ = std::stoi(m[2]);
    }
    first_line_ = line;
    if (port_ > 0 && !user.empty()) {
      auto res = SignIn(user, kPassword);
      EXPECT_TRUE(res && res->status == 200) << (res ? res->body : "no answer");
    }
  }
  ~DialogServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }

  std::unique_ptr<httplib::Client> Client() const {
    auto client = std::make_unique<httplib::Client>((tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                                                    std::to_string(port_));
    client->enable_server_certificate_verification(false);
    client->set_read_timeout(120, 0);
    return client;
  }
  // Signs in; a success makes this the session later requests carry.
  httplib::Result SignIn(const std::string& user, const std::string& password) {
    auto res = Client()->Post("/api/session", Json{{"user", user}, {"password", password}}.dump(), "application/json");
    if (res && res->status == 200) {
      set_cookie_ = res->get_header_value("Set-Cookie");
      cookie_ = set_cookie_.substr(0, set_cookie_.find(';'));
      csrf_ = Json::parse(res->body)["csrf"];
    }
    return res;
  }
  // The session's cookie, and with `csrf` its token.
  httplib::Headers Headers(bool csrf = true) const {
    httplib::Headers headers{{"Cookie", cookie_}};
    if (csrf) headers.emplace("X-CSRF-Token", csrf_);
    return headers;
  }
  httplib::Result Post(const std::string& path, const Json& body, bool csrf = true) const {
    return Client()->Post(path.c_str(), Headers(csrf), body.dump(), "application/json");
  }
  httplib::Result GetRaw(const std::string& path) const { return Client()->Get(path.c_str(), Headers(false)); }
  Json Get(const std::string& path) const {
    auto res = GetRaw(path);
    EXPECT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path << " " << res->body;
    return Json::parse(res->body);
  }
  // Follows the job's event stream to its end; `changes` gets how often its
  // progress changed (a stream that joins late sees fewer events than that).
  // `started`: the answer to a POST made already.
  Json RunJob(const std::string& path, const Json& body, int* changes = nullptr,
              const httplib::Response* started = nullptr) const {
    std::optional<httplib::Result> posted;
    if (!started) {
      posted.emplace(Post(path, body));
      EXPECT_TRUE(*posted);
      started = &**posted;
    }
    EXPECT_EQ(started->status, 202) << started->body;
    int64_t job = Json::parse(started->body)["job"];
    std::string stream;
    Client()->Get(("/api/jobs/" + std::to_string(job) + "/events").c_str(), Headers(false),
                  [&](const char* data, size_t n) {
                    stream.append(data, n);
                    return true;
                  });
    Json last;
    for (size_t at = 0; (at = stream.find("data: ", at)) != std::string::npos; at += 6)
      last = Json::parse(stream.substr(at + 6, stream.find("\n\n", at) - at - 6));
    if (changes) *changes = last.value("version", 0);
    EXPECT_EQ(last["state"], "done");
    return last["result"];
  }

  const std::string& db() const { return db_; }
  int port() const { return port_; }
  const std::string& first_line() const { return first_line_; }
  const std::string& set_cookie() const { return set_cookie_; }
  std::string errors() const {
    std::ifstream in(dir_.File("serve.err"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  const TempDir& dir_;
  std::string db_;
  pid_t pid_ = 0;
  int port_ = 0;
  bool tls_ = false;
  std::string first_line_, cookie_, set_cookie_, csrf_;
};

// The older tests read and change the embedded file directly; the sign-in and
// rights tests speak only HTTP and the command line, and run on both engines.
#define EMBEDDED_ONLY() \
  if (OnServer()) GTEST_SKIP() << "reads the embedded file directly"

data::ResultSet Query(const std::string& db, const std::string& sql) {
  auto connection = data::OpenConnection(db);
  return connection->backend().ExecuteNative(sql, {});
}

// Every row of every table, as text: what "nothing changed" means.
std::string Fingerprint(const std::string& db) { return Snapshot(db); }

std::string OpenSalesIds(const DialogServer& server) {
  Json bills = server.Get(std::string("/api/bills?type=sales&from=") + kDay + "&to=" + kDay)["bills"];
  std::string ids;
  for (const auto& b : bills) ids += (ids.empty() ? "" : ",") + std::to_string(b["id"].get<int>());
  return ids;
}

std::string FirstCustomer(const DialogServer& server) {
  Json customers = server.Get("/api/customers")["customers"];
  for (const auto& c : customers)
    if (c["isCustomer"] == true) return c["id"].dump();
  return "";
}

TEST(DialogServer, RefusesBadInputBeforeAnythingRuns) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  DialogServer server(dir);
  ASSERT_GT(server.port(), 0) << server.first_line();
  std::string before = Fingerprint(server.db());
  auto client = server.Client();
  for (const char* path : {"/api/bills?from=2026-13-01", "/api/bills?type=both", "/api/bills?shop=1;drop",
                           "/api/bills?from=2026-12-05&to=2026-12-04", "/api/closed?number=RJ%27--",
                           "/api/closed?from=yesterday", "/api/closed/0", "/api/closed/12a", "/api/customers/x",
                           "/api/jobs/abc", "/api/log?user=x", "/api/log?from=2026-12-05&to=2026-12-01"}) {
    auto res = server.GetRaw(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
    std::string error = Json::parse(res->body)["error"];
    EXPECT_FALSE(error.empty()) << path;
    EXPECT_EQ(error.find('\n'), std::string::npos) << path;
  }
  Json close{{"ids", "1,2"}, {"date", kDay}, {"client", "1"}};
  EXPECT_EQ(client->Post("/api/close", server.Headers(), close.dump(), "text/plain")->status, 415);
  EXPECT_EQ(client->Post("/api/close", server.Headers(), "{not json", "application/json")->status, 400);
  for (const Json& bad : {Json{{"ids", "1,,2"}, {"date", kDay}, {"client", "1"}},
                          Json{{"ids", "1) or (1=1"}, {"date", kDay}, {"client", "1"}},
                          Json{{"ids", "1"}, {"date", "2026-02-30"}, {"client", "1"}},
                          Json{{"ids", "1"}, {"date", kDay}, {"client", "1"}, {"tax", "1e3"}},
                          Json{{"ids", "1"}, {"date", kDay}, {"client", "1"}, {"acct", "x' or '1"}},
                          Json{{"ids", "1"}, {"date", kDay}, {"client", "1"}, {"checkBill", true}},
                          Json{{"ids", "1"}, {"date", kDay}, {"client", "301"}}}) {
    auto res = server.Post("/api/close", bad);
    EXPECT_EQ(res->status, 400) << bad.dump() << " " << res->body;
  }
  // A refusal names the control it concerns; an id that names nothing is a conflict with the data.
  auto heading = server.Post("/api/close", Json{{"ids", "1"}, {"client", "301"}});
  EXPECT_EQ(Json::parse(heading->body)["field"], "client") << heading->body;
  auto unknown_day = server.Post("/api/cancel", Json{{"ids", "999"}, {"reason", "a till miscounted"}});
  EXPECT_EQ(unknown_day->status, 409);
  EXPECT_NE(Json::parse(unknown_day->body)["error"].get<std::string>().find("999"), std::string::npos);
  EXPECT_EQ(server.Post("/api/cancel", Json{{"ids", "0"}})->status, 400);
  // A body nested a million levels deep is refused before it becomes a tree,
  // one beyond the size limit before it is read, and the server goes on.
  const std::string deep = "{\"ids\":" + std::string(1000000, '[') + std::string(1000000, ']') + "}";
  auto nested = client->Post("/api/selection", server.Headers(), deep, "application/json");
  ASSERT_TRUE(nested);
  EXPECT_EQ(nested->status, 400);
  EXPECT_NE(nested->body.find("deeper than 64"), std::string::npos) << nested->body;
  auto huge = client->Post("/api/selection", server.Headers(), std::string(9 << 20, ' '), "application/json");
  EXPECT_TRUE(!huge || huge->status == 413) << huge->status;
  EXPECT_EQ(server.Post("/api/selection", Json{{"ids", Json::array({1, "x"})}})->status, 400);
  EXPECT_EQ(server.GetRaw("/nothing-here")->status, 404);
  EXPECT_TRUE(before == Fingerprint(server.db())) << FirstDifference(before, Fingerprint(server.db()));
}

// Nothing but the page and the sign-in answers without a session; a change
// needs the session's CSRF token too; requests addressed to another name, or
// sent from another site's page, are not the dialog's.
TEST(DialogServer, LetsNoOneElseIn) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  DialogServer server(dir);
  auto client = server.Client();
  std::string before = Fingerprint(server.db());
  EXPECT_EQ(client->Get("/")->status, 200);
  EXPECT_EQ(client->Get("/dialog.js")->status, 200);
  for (const char* path : {"/api/bills", "/api/customers", "/api/closed", "/api/jobs/1", "/api/settings", "/api/log"}) {
    auto res = client->Get(path);
    EXPECT_EQ(res->status, 401) << path;
    EXPECT_EQ(Json::parse(res->body)["signIn"], true) << path;
  }
  EXPECT_EQ(client->Get("/api/bills", {{"Cookie", "dialog_session=0123456789abcdef"}})->status, 401);
  // The cookie is the session's only carrier: HttpOnly and SameSite=Strict, not Secure over plain HTTP.
  EXPECT_NE(server.set_cookie().find("; HttpOnly; SameSite=Strict"), std::string::npos) << server.set_cookie();
  EXPECT_EQ(server.set_cookie().find("Secure"), std::string::npos);
  Json close{{"ids", "1,2"}, {"date", kDay}, {"client", "1"}};
  EXPECT_EQ(client->Post("/api/close", close.dump(), "application/json")->status, 401);
  EXPECT_EQ(server.Post("/api/close", close, false)->status, 403) << "no CSRF token";
  const std::string first_cookie = server.Headers(false).begin()->second;
  EXPECT_EQ(client->Post("/api/close", {{"Cookie", first_cookie}, {"X-CSRF-Token", "0123"}}, close.dump(),
                         "application/json")->status, 403);
  // Another session's token does not do for this one.
  ASSERT_EQ(server.SignIn("3", kPassword)->status, 200);
  httplib::Headers mixed{{"Cookie", first_cookie}, {"X-CSRF-Token", server.Headers().find("X-CSRF-Token")->second}};
  EXPECT_EQ(client->Post("/api/cancel", mixed, Json{{"ids", "1"}, {"reason", "x"}}.dump(), "application/json")->status, 403);

  const std::string port = std::to_string(server.port());
  auto with = [&](httplib::Headers extra) {
    for (const auto& h : server.Headers(false)) extra.insert(h);
    return client->Get("/api/shops", extra)->status;
  };
  EXPECT_EQ(with({{"Host", "evil.example"}}), 421);
  EXPECT_EQ(with({{"Host", "127.0.0.1:1"}}), 421);
  EXPECT_EQ(with({{"Host", "LocalHost:" + port}}), 200);
  EXPECT_EQ(with({{"Origin", "http://evil.example"}}), 403);
  EXPECT_EQ(with({{"Origin", "http://127.0.0.1:" + port}}), 200);
  httplib::Headers evil_origin = server.Headers();
  evil_origin.emplace("Origin", "http://127.0.0.1.evil.example");
  EXPECT_EQ(client->Post("/api/close", evil_origin, close.dump(), "application/json")->status, 403);

  // Signing out ends the session: its cookie opens nothing after.
  const httplib::Headers signed_in = server.Headers();
  EXPECT_EQ(client->Delete("/api/session", server.Headers(false))->status, 403) << "sign-out needs the token too";
  auto out = client->Delete("/api/session", signed_in);
  EXPECT_EQ(out->status, 200);
  EXPECT_NE(out->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
  EXPECT_EQ(client->Get("/api/shops", signed_in)->status, 401);
  EXPECT_TRUE(before == Fingerprint(server.db())) << FirstDifference(before, Fingerprint(server.db()));
}

TEST(DialogServer, ReadsLeaveTheDatabaseAsItWas) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  DialogServer server(dir);
  std::string ids = OpenSalesIds(server);
  ASSERT_FALSE(ids.empty());
  std::string before = Fingerprint(server.db());
  auto page = server.Client()->Get("/");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("dialog.js"), std::string::npos);
  Json settings = server.Get("/api/settings");
  EXPECT_FALSE(server.Get("/api/shops")["shops"].empty());
  Json customers = server.Get("/api/customers")["customers"];
  ASSERT_FALSE(customers.empty());
  Json customer = server.Get("/api/customers/" + FirstCustomer(server));
  EXPECT_FALSE(customer["name"].get<std::string>().empty());
  EXPECT_FALSE(server.Get("/api/accounts")["accounts"].empty());
  server.Get("/api/closed");
  Json all = server.Get("/api/bills");
  Json day = server.Get(std::string("/api/bills?type=sales&from=") + kDay + "&to=" + kDay);
  EXPECT_LT(day["count"].get<int>(), all["count"].get<int>());
  for (const auto& b : day["bills"]) {
    EXPECT_EQ(b["date"], kDay);
    EXPECT_EQ(b["type"], "sales");
  }
  // The selection's reads are POSTs (a selection is long) and must not write either.
  Json totals = Json::parse(server.Post("/api/selection", Json{{"ids", ids}})->body);
  double methods = 0;
  for (const auto& m : totals["methods"]) methods += m["amount"].get<double>();
  EXPECT_GT(methods, 0);
  EXPECT_EQ(totals["days"].size(), 1u);
  Json check = Json::parse(server.Post("/api/check", Json{{"ids", ids}, {"client", FirstCustomer(server)}})->body);
  EXPECT_TRUE(check["valid"]["ok"]) << check.dump();
  EXPECT_TRUE(before == Fingerprint(server.db())) << FirstDifference(before, Fingerprint(server.db()));
}

TEST(DialogServer, ClosesWithProgressNamesCausesAndCancels) {
  EMBEDDED_ONLY();
  TempDir dir;
  DialogServer server(dir);
  std::string ids = OpenSalesIds(server);
  std::string client = FirstCustomer(server);

  // An item without a tax rate stops a closing under invoice type 2020 with tax 0: the host names it first.
  auto item = Query(server.db(), "SELECT e.FItemID, c.FNumber FROM T_LS_RetailEntry e JOIN t_ICItem c ON "
                                 "c.FItemID=e.FItemID WHERE e.FID=" + ids.substr(0, ids.find(',')) + " LIMIT 1");
  std::string item_id = automation::CStr(item.At(0, 0)), item_no = automation::CStr(item.At(0, 1));
  Query(server.db(), "UPDATE t_Item SET FTaxRate=17 WHERE FTaxRate IS NULL AND FItemClassID<>4");
  Query(server.db(), "UPDATE t_Item SET FTaxRate=NULL WHERE FItemID=" + item_id);
  Json untaxed{{"ids", ids}, {"date", kDay}, {"client", client}, {"invoiceType", "2020"}, {"tax", "0"}};
  Json check = Json::parse(server.Post("/api/check", untaxed)->body);
  EXPECT_FALSE(check["ok"]);
  ASSERT_EQ(check["causes"].size(), 1u) << check.dump();
  EXPECT_NE(check["causes"][0].get<std::string>().find(item_no), std::string::npos);
  std::string before = Fingerprint(server.db());
  Json refused = server.RunJob("/api/close", untaxed);
  EXPECT_FALSE(refused["ok"]);
  EXPECT_EQ(refused["causes"], check["causes"]);
  EXPECT_TRUE(before == Fingerprint(server.db())) << FirstDifference(before, Fingerprint(server.db()));
  // The command line refuses the same way, one line per cause.
  auto cli = RunDailybalance(dir, {"close", "--db", server.db(), "--bills", ids, "--date", kDay, "--client", client,
                                   "--invoice-type", "2020", "--tax", "0"});
  EXPECT_EQ(cli.exit_code, 1);
  EXPECT_NE(cli.out.find(item_no), std::string::npos) << cli.out;
  Query(server.db(), "UPDATE t_Item SET FTaxRate=17 WHERE FItemID=" + item_id);

  int changes = 0;
  Json closed = server.RunJob("/api/close", Json{{"ids", ids}, {"date", kDay}, {"client", client}, {"checkBill", true},
                                                 {"inCust", client}}, &changes);
  ASSERT_TRUE(closed["ok"]) << closed.dump();
  EXPECT_EQ(closed["message"], "日结成功");
  EXPECT_TRUE(std::regex_match(closed["dailyBillNo"].get<std::string>(), std::regex(R"(RJ\d{14})")));
  EXPECT_FALSE(closed["stockBillNo"].get<std::string>().empty());
  EXPECT_FALSE(closed["checkBillNo"].is_null());
  EXPECT_GT(changes, 2);  // progress came while it ran, beyond the start and the end
  EXPECT_EQ(OpenSalesIds(server), "");

  Json days = server.Get("/api/closed?number=" + closed["dailyBillNo"].get<std::string>().substr(8))["days"];
  ASSERT_EQ(days.size(), 1u);
  std::string daily_id = days[0]["id"].dump();
  EXPECT_EQ(days[0]["stockBillNo"], closed["stockBillNo"]);
  EXPECT_EQ(days[0]["checkBillNo"], closed["checkBillNo"]);
  Json details = server.Get("/api/closed/" + daily_id);
  EXPECT_EQ(details["bills"].size(), static_cast<size_t>(std::count(ids.begin(), ids.end(), ',') + 1));
  EXPECT_EQ(details["stockBill"]["billNo"], closed["stockBillNo"]);
  EXPECT_TRUE(server.Get("/api/closed?from=2026-12-05")["days"].empty());

  Json cancelled = server.RunJob("/api/cancel", Json{{"ids", daily_id}, {"reason", "a till miscounted"}});
  EXPECT_TRUE(cancelled["ok"]) << cancelled.dump();
  EXPECT_EQ(cancelled["cancelled"][0]["dailyBillNo"], closed["dailyBillNo"]);
  EXPECT_EQ(OpenSalesIds(server), ids);
  EXPECT_TRUE(server.Get("/api/closed")["days"].empty());
  EXPECT_EQ(server.Post("/api/cancel", Json{{"ids", daily_id}, {"reason", "again"}})->status, 409) << "cancelled already";
  EXPECT_EQ(server.Post("/api/cancel", Json{{"ids", daily_id}})->status, 400) << "no reason";
  EXPECT_EQ(server.Post("/api/close", Json{{"ids", ids}, {"client", client}})->status, 202);
}

// The jobs answer a lost COMMIT answer as the command does: done when the
// server committed, "unknown" only when it cannot be asked.
TEST(DialogServer, JobsReportWhatTheServerDidWhenACommitAnswerIsLost) {
  if (!OnServer() || ServerHost().empty()) GTEST_SKIP() << "a lost COMMIT answer is a server's matter";
  TempDir dir;
  { DialogServer init(dir, {}, ""); }
  std::string db;
  std::ifstream(dir.File("db-source")) >> db;
  CommitCuttingProxy proxy(ServerHost());
  std::ofstream(dir.File("db-source"), std::ios::trunc) << proxy.Through(db);
  DialogServer server(dir);
  std::string ids = OpenSalesIds(server);

  proxy.CutNextCommit(CommitCuttingProxy::Cut::kAfterCommitPassed);
  Json closed = server.RunJob("/api/close", Json{{"ids", ids}, {"date", kDay}, {"client", FirstCustomer(server)}});
  EXPECT_TRUE(closed["ok"]) << closed.dump();
  EXPECT_EQ(proxy.cuts(), 1);
  EXPECT_EQ(OpenSalesIds(server), "");
  std::string daily_id = server.Get("/api/closed")["days"][0]["id"].dump();

  proxy.CutNextCommit(CommitCuttingProxy::Cut::kAfterCommitPassed, /*then_unreachable=*/true);
  Json cancelled = server.RunJob("/api/cancel", Json{{"ids", daily_id}, {"reason", "counted again"}});
  EXPECT_FALSE(cancelled["ok"]) << cancelled.dump();
  EXPECT_TRUE(cancelled["failed"].empty());
  ASSERT_EQ(cancelled["unknown"].size(), 1u) << cancelled.dump();
  EXPECT_EQ(cancelled["unknown"][0]["lines"][0], "unknown: check `closed`");
  // The cut-off session finishes the COMMIT it received after the job has answered.
  bool reopened = false;
  for (int i = 0; i < 250 && !reopened; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    reopened = automation::CLng(Query(db, "SELECT count(*) FROM t_LS_Retail WHERE FDailyBillID<>0").At(0, 0)) == 0;
  EXPECT_TRUE(reopened) << "the server did cancel it";
}

TEST(DialogServer, NamesItemsWithoutABatchOrStockBeforeClosing) {
  EMBEDDED_ONLY();
  TempDir dir;
  DialogServer server(dir);
  std::string ids = OpenSalesIds(server);
  std::string first = ids.substr(0, ids.find(','));
  auto items = Query(server.db(), "SELECT DISTINCT e.FItemID, c.FNumber FROM T_LS_RetailEntry e JOIN t_ICItem c ON "
                                  "c.FItemID=e.FItemID WHERE e.FID=" + first + " AND c.FIsBatchManager=0 ORDER BY 1");
  ASSERT_GE(items.RowCount(), 2u);
  std::string batch_item = automation::CStr(items.At(0, 0)), batch_no = automation::CStr(items.At(0, 1));
  std::string short_item = automation::CStr(items.At(1, 0)), short_no = automation::CStr(items.At(1, 1));
  // One item turns batch-managed with no batch on hand; another has nothing left in stock.
  Query(server.db(), "UPDATE t_ICItem SET FIsBatchManager=1 WHERE FItemID=" + batch_item);
  Query(server.db(), "DELETE FROM t_CC_Inventory WHERE FItemID=" + batch_item);
  Query(server.db(), "UPDATE t_CC_Inventory SET FQty=0 WHERE FItemID=" + short_item);
  Query(server.db(), "UPDATE t_SystemProfile SET FValue='0' WHERE FCategory='IC' AND FKey='AllowNegativeStock'");
  Json body{{"ids", ids}, {"date", kDay}, {"client", FirstCustomer(server)}};
  Json check = Json::parse(server.Post("/api/check", body)->body);
  EXPECT_FALSE(check["ok"]);
  std::string causes = check["causes"].dump();
  EXPECT_NE(causes.find(batch_no + " "), std::string::npos) << causes;
  EXPECT_NE(causes.find("no batch"), std::string::npos) << causes;
  EXPECT_NE(causes.find(short_no + " "), std::string::npos) << causes;
  EXPECT_NE(causes.find("is short"), std::string::npos) << causes;
  // The command refuses after its stock check with the same causes, one line each.
  std::string before = Fingerprint(server.db());
  auto cli = RunDailybalance(dir, {"close", "--db", server.db(), "--bills", ids, "--date", kDay, "--client",
                                   FirstCustomer(server)});
  EXPECT_EQ(cli.exit_code, 1);
  for (const auto& cause : check["causes"]) EXPECT_NE(cli.out.find(cause.get<std::string>() + "\n"), std::string::npos) << cli.out;
  EXPECT_TRUE(before == Fingerprint(server.db())) << FirstDifference(before, Fingerprint(server.db()));
}

TEST(DialogServer, TwoClosingsOfTheSameBillsGiveOne) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  DialogServer server(dir);
  std::string ids = OpenSalesIds(server);
  Json body{{"ids", ids}, {"date", kDay}, {"client", FirstCustomer(server)}};
  // The later one is refused at once (409) when the first has closed by then, or by its job otherwise.
  auto close = [&] {
    auto started = server.Post("/api/close", body);
    if (started->status != 409) return server.RunJob("/api/close", body, nullptr, &*started);
    Json refused = Json::parse(started->body);
    return Json{{"ok", false}, {"field", refused["field"]}, {"message", refused["error"]}};
  };
  auto first = std::async(std::launch::async, close);
  auto second = std::async(std::launch::async, close);
  Json a = first.get(), b = second.get();
  EXPECT_NE(a["ok"].get<bool>(), b["ok"].get<bool>()) << a.dump() << b.dump();
  Json refused = a["ok"] ? b : a;
  EXPECT_EQ(refused["field"], "bills") << refused.dump();
  EXPECT_NE(refused["message"].get<std::string>().find("already closed"), std::string::npos) << refused.dump();
  EXPECT_EQ(server.Get("/api/closed")["count"], 1);
}

// The audit trail's rows of one kind, as "result message" lines, through the command line.
std::vector<std::string> AuditRows(const TempDir& dir, const std::string& db, const std::string& event) {
  auto run = RunDailybalance(dir, {"log", "--db", db, "--json"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> rows;
  const Json trail = Json::parse(run.out);
  for (const auto& e : trail["events"])
    if (e["event"] == event) rows.push_back(e["result"].get<std::string>() + " " + e["message"].get<std::string>());
  return rows;
}

TEST(DialogServer, EachOperatorMayDoWhatTheirRoleAllows) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  DialogServer server(dir, {}, "3");
  // A closer of the shop of the day's first sale.
  const Json bills = server.Get(std::string("/api/bills?type=sales&from=") + kDay + "&to=" + kDay)["bills"];
  ASSERT_FALSE(bills.empty());
  const int shop = bills[0]["shopId"];
  std::string own, other;
  for (const auto& b : bills) {
    std::string& list = b["shopId"] == shop ? own : other;
    list += (list.empty() ? "" : ",") + b["id"].dump();
  }
  ASSERT_FALSE(other.empty());
  auto added = RunDailybalance(dir, {"user", "add", "--db", server.db(), "7", "南站收银主管", "--role", "closer",
                                     "--shops", std::to_string(shop)});
  ASSERT_EQ(added.exit_code, 0) << added.err;
  SetPassword(dir, server.db(), "7", kPassword);
  ASSERT_EQ(server.SignIn("南站收银主管", kPassword)->status, 200) << "signs in by name";
  Json session = server.Get("/api/session");
  EXPECT_EQ(session["role"], "closer");
  std::string client = FirstCustomer(server);
  // Another shop's bills, a cancellation and the audit trail are refused with 403, and nothing is written.
  auto refused = server.Post("/api/close", Json{{"ids", other}, {"client", client}});
  EXPECT_EQ(refused->status, 403) << refused->body;
  EXPECT_NE(Json::parse(refused->body)["error"].get<std::string>().find("own shops"), std::string::npos);
  EXPECT_EQ(server.Post("/api/cancel", Json{{"ids", "1"}, {"reason", "a till miscounted"}})->status, 403);
  EXPECT_EQ(server.GetRaw("/api/log")->status, 403);
  // Their own shop's day closes, and the daily bill names them.
  Json closed = server.RunJob("/api/close", Json{{"ids", own}, {"client", client}});
  ASSERT_TRUE(closed["ok"]) << closed.dump();
  Json days = server.Get("/api/closed")["days"];
  ASSERT_EQ(days.size(), 1u);
  EXPECT_EQ(days[0]["operator"], session["name"]);
  // A supervisor cancels it, with a reason.
  ASSERT_EQ(server.SignIn("3", kPassword)->status, 200);
  EXPECT_EQ(server.Post("/api/cancel", Json{{"ids", days[0]["id"].dump()}})->status, 400) << "no reason";
  Json cancelled = server.RunJob("/api/cancel", Json{{"ids", days[0]["id"].dump()}, {"reason", "a till miscounted"}});
  EXPECT_TRUE(cancelled["ok"]) << cancelled.dump();
  std::vector<std::string> closer_events;
  const Json closer_trail = server.Get("/api/log?user=7")["events"];
  for (const auto& e : closer_trail)
    closer_events.push_back(e["event"].get<std::string>() + " " + e["result"].get<std::string>());
  EXPECT_EQ(closer_events, (std::vector<std::string>{"sign-in done", "close refused", "cancel refused", "close done"}));
  // The audit trail holds each closing and cancellation, done or refused.
  std::vector<std::string> closes = AuditRows(dir, server.db(), "close");
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0].rfind("refused ", 0), 0u) << closes[0];
  EXPECT_EQ(closes[1].rfind("done ", 0), 0u) << closes[1];
  std::vector<std::string> cancels = AuditRows(dir, server.db(), "cancel");
  ASSERT_EQ(cancels.size(), 3u);
  EXPECT_EQ(cancels[2].rfind("done ", 0), 0u) << cancels[2];
  EXPECT_NE(cancels[2].find("a till miscounted"), std::string::npos) << cancels[2];
  // An operator disabled while signed in is signed out at their next request.
  ASSERT_EQ(server.SignIn("7", kPassword)->status, 200);
  ASSERT_EQ(RunDailybalance(dir, {"user", "disable", "--db", server.db(), "7"}).exit_code, 0);
  auto gone = server.GetRaw("/api/bills");
  EXPECT_EQ(gone->status, 401);
  EXPECT_NE(gone->body.find("disabled"), std::string::npos) << gone->body;
  EXPECT_EQ(server.SignIn("7", kPassword)->status, 401);
}

TEST(DialogServer, LocksAnAccountAfterFiveFailedSignIns) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  DialogServer server(dir, {}, "");
  // A wrong password and an unknown name are told apart by nothing.
  auto unknown = server.SignIn("nobody", "whatever-it-is");
  auto wrong = server.SignIn("2", "whatever-it-is");
  ASSERT_TRUE(unknown && wrong);
  EXPECT_EQ(unknown->status, 401);
  EXPECT_EQ(unknown->body, wrong->body);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(server.SignIn("2", "not-the-password")->status, 401);
  // Five failures lock the account, by id and by name alike, even for the right password.
  auto locked = server.SignIn("2", kPassword);
  EXPECT_EQ(locked->status, 429);
  EXPECT_FALSE(locked->get_header_value("Retry-After").empty());
  EXPECT_NE(locked->body.find("try again in 15 minutes"), std::string::npos) << locked->body;
  // Another operator is not held back.
  EXPECT_EQ(server.SignIn("3", kPassword)->status, 200);
  EXPECT_EQ(server.SignIn("", kPassword)->status, 400);
  std::vector<std::string> rows = AuditRows(dir, server.db(), "sign-in");
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0], "failed unknown operator \"nobody\" from 127.0.0.1");
  EXPECT_EQ(rows[1], "failed from 127.0.0.1");
  EXPECT_EQ(rows[6], "refused from 127.0.0.1: locked after failed sign-ins");
  EXPECT_EQ(rows[7], "done from 127.0.0.1");
  // One address may try only so often, whoever it names.
  int limited = 0;
  for (int i = 0; i < 15 && limited == 0; ++i)
    limited = server.SignIn("nobody" + std::to_string(i), "whatever-it-is")->status == 429;
  EXPECT_EQ(limited, 1);
}

// A count beyond the tolerance needs a supervisor's sign-off.  Wrong
// passwords given for it count towards that supervisor's sign-in lock, so a
// closer cannot guess a supervisor's password through the count.
TEST(DialogServer, ASignOffsWrongPasswordsLockTheSupervisor) {
  DAILYBALANCE_REQUIRE_BACKEND();
  TempDir dir;
  std::string ids;
  Json body;
  {
    DialogServer server(dir, {}, "2");  // the closer of shop 1
    auto shop_bills = [&] {
      std::string open;
      const Json listed = server.Get(std::string("/api/bills?type=sales&shop=1&from=") + kDay + "&to=" + kDay);
      for (const auto& b : listed["bills"]) open += (open.empty() ? "" : ",") + std::to_string(b["id"].get<int>());
      return open;
    };
    ids = shop_bills();
    ASSERT_FALSE(ids.empty());
    auto totals = server.Post("/api/selection", Json{{"ids", ids}});
    ASSERT_TRUE(totals && totals->status == 200);
    Json method = Json::parse(totals->body)["methods"][0];
    const double short_by_ten = std::round(method["amount"].get<double>() * 100) / 100 - 10;
    body = Json{{"ids", ids},
                {"date", kDay},
                {"client", FirstCustomer(server)},
                {"count", Json::array({std::to_string(method["id"].get<int>()) + "=" + fmt::format("{:.2f}", short_by_ten)})},
                {"countNote", "短款 10 元"},
                {"signOffUser", "3"},
                {"signOffPassword", "not-the-password"}};
    for (int i = 0; i < 5; ++i) {
      Json refused = server.RunJob("/api/close", body);
      EXPECT_EQ(refused["field"], "signOff") << refused.dump();
    }
    auto locked = server.Post("/api/close", body);
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->status, 429) << locked->body;
    EXPECT_EQ(server.SignIn("3", kPassword)->status, 429) << "the supervisor's sign-in is locked alike";
    EXPECT_EQ(shop_bills(), ids) << "nothing was closed";
  }
  // The counts live in memory: a restarted server closes with the right password.
  DialogServer server(dir, {}, "2");
  body["signOffPassword"] = kPassword;
  Json closed = server.RunJob("/api/close", body);
  ASSERT_TRUE(closed["ok"]) << closed.dump();
  EXPECT_EQ(closed["count"]["signedOffBy"], 3);
  EXPECT_EQ(closed["count"]["lines"][0]["difference"], -10.0);
  Json report = server.Get("/api/closed/" + std::to_string(closed["dailyBillId"].get<int>()) + "/report");
  EXPECT_EQ(report["count"]["note"], "短款 10 元");
  EXPECT_EQ(server.Get("/api/settings")["maxCountDifference"], 0.0);
}

// A connection that sends nothing or trickles its request holds one thread
// of many, for a bounded time; one address may hold only so many.
TEST(DialogServer, SlowClientsKeepNoOneWaiting) {
  if (OnServer()) GTEST_SKIP() << "the connections are the same on both engines";
  TempDir dir;
  DialogServer server(dir);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(server.port()));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto connect_one = [&] {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
  };
  std::vector<int> slow;
  for (int i = 0; i < 50; ++i) {
    slow.push_back(connect_one());
    EXPECT_EQ(::send(slow.back(), "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL), 16);
  }
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    while (trickling) {
      for (int fd : slow) ::send(fd, "X", 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  });
  const auto started = std::chrono::steady_clock::now();
  {
    // A normal request is answered beside them within 2 s.
    auto client = server.Client();
    client->set_connection_timeout(2, 0);
    client->set_read_timeout(2, 0);
    auto res = client->Get("/api/shops", server.Headers(false));
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the server sees that client go
  auto closed_by_server = [](int fd) {
    char buffer[512];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    }
    // A socket closed with bytes still unread is reset rather than ended.
    return n == 0 || errno == ECONNRESET;
  };
  // Beyond 64 connections from one address, a new one is closed at once.
  std::vector<int> more;
  for (int i = 0; i < 20; ++i) more.push_back(connect_one());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(std::count_if(more.begin(), more.end(), closed_by_server), 6);
  // The trickling requests end by their deadline, 10 s after they connected.
  std::this_thread::sleep_until(started + std::chrono::seconds(11));
  trickling = false;
  trickle.join();
  EXPECT_EQ(std::count_if(slow.begin(), slow.end(), closed_by_server), 50);
  for (int fd : slow) ::close(fd);
  for (int fd : more) ::close(fd);
}

TEST(DialogServer, ListensBeyondLoopbackOnlyOverTls) {
  if (OnServer()) GTEST_SKIP() << "the listening is the same on both engines";
  TempDir dir;
  {
    // Plain HTTP beyond loopback only when asked for by name, and warned about.
    DialogServer plain(dir, {"--bind", "0.0.0.0", "--insecure-http"}, "");
    EXPECT_GT(plain.port(), 0) << plain.first_line();
    EXPECT_NE(plain.errors().find("warning: plain HTTP"), std::string::npos) << plain.errors();
  }
  const std::string db = dir.File("shop.db");
  auto refused = RunDailybalance(dir, {"serve", "--db", db, "--bind", "0.0.0.0"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("--tls-cert"), std::string::npos) << refused.err;
  // Judged by what the address resolves to: "0" is 0.0.0.0.
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", db, "--bind", "0"}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", db, "--public-url", "ftp://x"}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", db, "--tls-cert", dir.File("none.pem")}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", db, "--tls-cert", db, "--tls-key", db}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", dir.File("missing.db")}).exit_code, 2);
  const std::string cert = dir.File("cert.pem"), key = dir.File("key.pem");
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " + key +
                         " -out " + cert + " 2>/dev/null").c_str()),
            0);
  DialogServer tls(dir, {"--bind", "127.0.0.1", "--tls-cert", cert, "--tls-key", key}, "1");
  ASSERT_NE(tls.first_line().find("https://127.0.0.1:"), std::string::npos) << tls.first_line();
  EXPECT_NE(tls.set_cookie().find("; Secure"), std::string::npos) << tls.set_cookie();
  EXPECT_FALSE(tls.Get("/api/shops")["shops"].empty());
  // Plain HTTP to the TLS port gets nothing.
  httplib::Client plain("127.0.0.1", tls.port());
  plain.set_read_timeout(3, 0);
  auto res = plain.Get("/");
  EXPECT_TRUE(!res || res->status != 200);
}

}  // namespace
}  // namespace tovan::testing
