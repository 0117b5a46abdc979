// The dialog's HTTP services against a running `dailybalance serve`: input
// refused with 400 before anything runs, changes refused without the token,
// reads that leave the database as it was, a day closed and cancelled
// through jobs, the host's causes of failure, and two closings of the same
// bills at once.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <optional>
#include <nlohmann/json.hpp>
#include <regex>

#include "platform/data/backend.h"
#include "platform/data/open.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/cli_run.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tovan::testing {
namespace {

using Json = nlohmann::json;
constexpr const char* kToken = "test-token-0123456789";
constexpr const char* kDay = "2026-12-04";

// One `serve` process on a free port over a fresh generated database.
class DialogServer {
 public:
  DialogServer(const TempDir& dir, const std::vector<std::string>& extra = {}) : db_(dir.File("shop.db")) {
    if (!std::filesystem::exists(db_)) {
      auto init = RunDailybalance(dir, {"init", "--db", db_, "--bills", "40", "--lines", "4", "--days", "2",
                                        "--last-day", kDay});
      EXPECT_EQ(init.exit_code, 0) << init.err;
    }
    std::string registry = "DAILYBALANCE_REGISTRY=" + dir.File("registry.json");
    std::vector<std::string> args{DAILYBALANCE_CLI, "serve", "--db", db_, "--port", "0", "--token", kToken};
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
    posix_spawn_file_actions_addclose(&actions, out[0]);
    EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    std::smatch m;
    if (std::regex_search(line, m, std::regex(R"(:(\d+)/#token=)"))) port_ = std::stoi(m[1]);
    first_line_ = line;
  }
  ~DialogServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  int WaitExit() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(120, 0);
    return client;
  }
  httplib::Result Post(const std::string& path, const Json& body, const char* token = kToken) const {
    httplib::Headers headers;
    if (token) headers.emplace("X-Dialog-Token", token);
    return Client().Post(path.c_str(), headers, body.dump(), "application/json");
  }
  Json Get(const std::string& path) const {
    auto res = Client().Get(path.c_str());
    EXPECT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path << " " << res->body;
    return Json::parse(res->body);
  }
  // Starts a job and waits for its end through the event stream.
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
    Client().Get(("/api/jobs/" + std::to_string(job) + "/events").c_str(), [&](const char* data, size_t n) {
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

 private:
  std::string db_;
  pid_t pid_ = 0;
  int port_ = 0;
  std::string first_line_;
};

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

TEST(DialogServer, RefusesBadInputAndChangesWithoutTheToken) {
  TempDir dir;
  DialogServer server(dir);
  ASSERT_GT(server.port(), 0) << server.first_line();
  std::string before = Fingerprint(server.db());
  auto client = server.Client();
  for (const char* path : {"/api/bills?from=2026-13-01", "/api/bills?type=both", "/api/bills?shop=1;drop",
                           "/api/bills?from=2026-12-05&to=2026-12-04", "/api/closed?number=RJ%27--",
                           "/api/closed?from=yesterday", "/api/closed/0", "/api/closed/12a", "/api/customers/x",
                           "/api/jobs/abc"}) {
    auto res = client.Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
    std::string error = Json::parse(res->body)["error"];
    EXPECT_FALSE(error.empty()) << path;
    EXPECT_EQ(error.find('\n'), std::string::npos) << path;
  }
  Json close{{"ids", "1,2"}, {"date", kDay}, {"client", "1"}};
  EXPECT_EQ(server.Post("/api/close", close, nullptr)->status, 403);
  EXPECT_EQ(server.Post("/api/close", close, "wrong-token-0123456789")->status, 403);
  EXPECT_EQ(server.Post("/api/cancel", Json{{"ids", "1"}}, nullptr)->status, 403);
  EXPECT_EQ(client.Post("/api/close", {{"X-Dialog-Token", kToken}}, close.dump(), "text/plain")->status, 415);
  EXPECT_EQ(client.Post("/api/close", {{"X-Dialog-Token", kToken}}, "{not json", "application/json")->status, 400);
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
  // A body nested a million levels deep is refused before it becomes a tree, and the server goes on.
  const std::string deep = "{\"ids\":" + std::string(1000000, '[') + std::string(1000000, ']') + "}";
  auto nested = client.Post("/api/selection", {{"X-Dialog-Token", kToken}}, deep, "application/json");
  ASSERT_TRUE(nested);
  EXPECT_EQ(nested->status, 400);
  EXPECT_NE(nested->body.find("deeper than 64"), std::string::npos) << nested->body;
  EXPECT_EQ(server.Post("/api/selection", Json{{"ids", Json::array({1, "x"})}})->status, 400);
  EXPECT_EQ(client.Get("/nothing-here")->status, 404);
  // Requests addressed to another name, or sent from another origin's page, are not the dialog's.
  const std::string port = std::to_string(server.port());
  EXPECT_EQ(client.Get("/api/shops", {{"Host", "evil.example"}})->status, 421);
  EXPECT_EQ(client.Get("/api/shops", {{"Host", "127.0.0.1:1"}})->status, 421);
  EXPECT_EQ(client.Get("/api/shops", {{"Host", "LocalHost:" + port}})->status, 200);
  EXPECT_EQ(client.Get("/api/shops", {{"Origin", "http://evil.example"}})->status, 403);
  EXPECT_EQ(client.Get("/api/shops", {{"Origin", "http://127.0.0.1:" + port}})->status, 200);
  EXPECT_EQ(client.Post("/api/close", {{"X-Dialog-Token", kToken}, {"Origin", "http://127.0.0.1.evil.example"}},
                        close.dump(), "application/json")->status, 403);
  EXPECT_TRUE(before == Fingerprint(server.db())) << FirstDifference(before, Fingerprint(server.db()));
}

TEST(DialogServer, ReadsLeaveTheDatabaseAsItWas) {
  TempDir dir;
  DialogServer server(dir);
  std::string ids = OpenSalesIds(server);
  ASSERT_FALSE(ids.empty());
  std::string before = Fingerprint(server.db());
  auto page = server.Client().Get("/");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("dialog.js"), std::string::npos);
  Json settings = server.Get("/api/settings");
  EXPECT_EQ(settings["database"].get<std::string>().find(kToken), std::string::npos);
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

TEST(DialogServer, NamesItemsWithoutABatchOrStockBeforeClosing) {
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
  EXPECT_EQ(automation::CLng(Query(server.db(), "SELECT count(*) FROM t_LS_DailyBill").At(0, 0)), 1);
}

TEST(DialogServer, ListensBeyondLoopbackOnlyWithAToken) {
  TempDir dir;
  auto run = RunDailybalance(dir, {"init", "--db", dir.File("shop.db"), "--bills", "5", "--lines", "2"});
  ASSERT_EQ(run.exit_code, 0);
  auto refused = RunDailybalance(dir, {"serve", "--db", dir.File("shop.db"), "--bind", "0.0.0.0"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("--token"), std::string::npos);
  // Judged by what the address resolves to: "0" is 0.0.0.0.
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", dir.File("shop.db"), "--bind", "0"}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", dir.File("shop.db"), "--public-url", "ftp://x"}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", dir.File("shop.db"), "--token", "short"}).exit_code, 2);
  EXPECT_EQ(RunDailybalance(dir, {"serve", "--db", dir.File("missing.db")}).exit_code, 2);
}

}  // namespace
}  // namespace tovan::testing
