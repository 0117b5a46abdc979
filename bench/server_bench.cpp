// The closing on a PostgreSQL server, against a raw libpq baseline and
// against the embedded engine.
//
// For each size (DAILYBALANCE_BENCH_BILLS, bills of one day with ten lines
// each; 10,000 and 100,000 unless told) it times, on fresh copies of a
// prebuilt database:
//   - `dailybalance init` of the day on the server and in a file;
//   - `dailybalance close` of the day's sales (the whole command, a process
//     of its own, as an operator runs it), on the server and on the file;
//   - the baseline: the very statements that closing sent, translated before
//     the clock starts, run by a bare libpq client in one transaction, every
//     run of writes pipelined, each read waited for;
//   - four closings of four shops' bills, at once from four processes, and
//     the same four one after the other.
// It also times UpdateBalAmount (through `dailybalance invoke`) against the
// same kind of baseline.  A Google Benchmark program: it prints the times,
// then the ratios (close / baseline, server / embedded, growth from the
// smallest size to the largest, four at once / four in turn) and the goals,
// all measured in the one run.
// Needs DAILYBALANCE_BENCH_PG_HOST, the socket folder of a server that trusts
// "postgres" (scripts/server_bench.sh starts one with default durability).
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/data/postgresql/backend.h"
#include "platform/data/postgresql/tsql_dialect.h"
#include "platform/data/tsql/translation.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string host_dir;
std::string binary;

std::string Source(const std::string& db) { return fmt::format("postgresql://postgres@/{}?host={}", db, host_dir); }

void Sql(const std::string& db, const std::string& sql) {
  PGconn* c = PQconnectdb(("dbname=" + db + " host=" + host_dir + " user=postgres").c_str());
  PGresult* r = PQexec(c, sql.c_str());
  if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
    std::fprintf(stderr, "%s: %s", sql.c_str(), PQerrorMessage(c));
    std::exit(1);
  }
  PQclear(r);
  PQfinish(c);
}

std::vector<std::string> Column(const std::string& db, const std::string& sql) {
  PGconn* c = PQconnectdb(("dbname=" + db + " host=" + host_dir + " user=postgres").c_str());
  PGresult* r = PQexec(c, sql.c_str());
  std::vector<std::string> out;
  for (int i = 0; i < PQntuples(r); ++i) out.emplace_back(PQgetvalue(r, i, 0));
  PQclear(r);
  PQfinish(c);
  return out;
}

// Runs the command and waits; answers its exit code.
int Run(const std::vector<std::string>& args, const std::string& env = {}) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!env.empty()) putenv(const_cast<char*>(env.c_str()));
    std::freopen("/dev/null", "w", stdout);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Copy(const std::string& from, const std::string& to) {
  Sql("postgres", "DROP DATABASE IF EXISTS " + to + " WITH (FORCE)");
  // Copied as files after a checkpoint: copied through the WAL, the copy's
  // pages would be checkpointed in the middle of the next timed run.
  Sql("postgres", "CREATE DATABASE " + to + " TEMPLATE " + from + " STRATEGY FILE_COPY");
  Sql("postgres", "CHECKPOINT");
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<std::string> CloseArgs(const std::string& db, const std::string& bills) {
  std::vector<std::string> args{"close", "--db", Source(db), "--client", "314"};
  if (bills.empty()) {
    args.insert(args.end(), {"--date", "2026-12-04", "--type", "sales", "--shop", "all"});
  } else {
    args.insert(args.end(), {"--bills", bills, "--date", "2026-12-04"});
  }
  return args;
}

// The statements of a traced run, each record ending with "-- end --".
std::vector<std::string> Traced(const std::string& file) {
  std::ifstream in(file);
  std::stringstream all;
  all << in.rdbuf();
  std::vector<std::string> out;
  std::string text = all.str(), record;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\n-- end --\n", at)) != std::string::npos; at = end + 11)
    out.push_back(text.substr(at, end - at));
  return out;
}

struct Step {
  std::string sql;
  bool read;
};

// The baseline: the translated statements, writes pipelined between reads.
double Baseline(const std::string& db, const std::vector<Step>& steps) {
  auto start = Clock::now();
  PGconn* c = PQconnectdb(("dbname=" + db + " host=" + host_dir + " user=postgres").c_str());
  PQenterPipelineMode(c);
  std::size_t pending = 0;
  auto drain = [&] {
    PQpipelineSync(c);
    for (std::size_t k = 0; k < pending; ++k) {
      PQclear(PQgetResult(c));
      PQgetResult(c);
    }
    PQclear(PQgetResult(c));  // the sync
    pending = 0;
  };
  auto send = [&](const std::string& sql) {
    PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    ++pending;
  };
  send("SET client_min_messages = warning");  // as the backend's session: no notice per dropped #table
  send("BEGIN ISOLATION LEVEL REPEATABLE READ");
  for (const Step& s : steps) {
    send(s.sql);
    if (s.read || pending >= 512) drain();
  }
  send("COMMIT");
  drain();
  PQfinish(c);
  return Seconds(start);
}

// What one size of database needs: the prebuilt copy, the statements a
// traced closing and a traced UpdateBalAmount sent (translated), and the
// bill lists of four shops.
struct Prepared {
  int bills = 0;
  std::string base, work;
  std::string file, work_file;  // the embedded engine's database and its working copy
  std::vector<Step> close_steps, balance_steps;
  std::vector<std::string> shops;
};

std::vector<Step> TranslatedSteps(const std::string& db, const std::string& trace) {
  std::vector<Step> steps;
  auto backend = tovan::data::postgresql::PostgresBackend::Open(Source(db));
  for (const std::string& text : Traced(trace)) {
    auto t = tovan::data::postgresql::TranslateBatch(text, backend->catalog());
    if (!t.ok) continue;  // a call of GetICMaxNum and the like: not T-SQL text
    for (const auto& s : t.statements) {
      if (s.kind != tovan::data::tsql::TranslatedStatement::Kind::Execute) continue;
      const std::string lead = s.sql.substr(s.sql.find_first_not_of(" \r\n\t("), 6);
      steps.push_back({s.sql, lead == "select" || lead == "SELECT" || lead == "Select"});
    }
  }
  std::remove(trace.c_str());
  return steps;
}

std::vector<std::string> BalanceArgs(const std::string& db) {
  return {"invoke", "--db", Source(db), "TovanMDailyBalance.clsData", "UpdateBalAmount", "\"" + Source(db) + "\""};
}

void RemoveFile(const std::string& file) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file + suffix).c_str());
}

// Builds a day's database afresh: the server database `db`, or the embedded file `db`.
bool Init(const std::string& db, bool server, int bills) {
  if (server) Sql("postgres", "DROP DATABASE IF EXISTS " + db + " WITH (FORCE)");
  else RemoveFile(db);
  return Run({"init", "--db", server ? Source(db) : db, "--bills", std::to_string(bills), "--lines", "10", "--days",
              "1", "--last-day", "2026-12-04"}) == 0;
}

void CopyFile(const std::string& from, const std::string& to) {
  RemoveFile(to);
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

Prepared Prepare(int bills) {
  Prepared p;
  p.bills = bills;
  p.base = fmt::format("bench_{}", bills);
  p.work = p.base + "_work";
  p.file = fmt::format("/tmp/server_bench_{}_{}.db", ::getpid(), bills);
  p.work_file = p.file + ".work.db";
  if (!Init(p.base, true, bills) || !Init(p.file, false, bills)) {
    std::fprintf(stderr, "cannot build the databases of %d bills\n", bills);
    std::exit(1);
  }
  // Traced runs: what each operation sends, translated while no clock runs.
  const std::string trace = fmt::format("/tmp/server_bench_{}.trace", ::getpid());
  for (auto [args, steps] : {std::pair{CloseArgs(p.work, ""), &p.close_steps},
                             std::pair{BalanceArgs(p.work), &p.balance_steps}}) {
    Copy(p.base, p.work);
    std::remove(trace.c_str());
    Run(args, "DAILYBALANCE_TRACE=" + trace);
    Copy(p.base, p.work);
    *steps = TranslatedSteps(p.work, trace);
  }
  for (int shop = 1; shop <= 4; ++shop) {
    auto ids = Column(p.base, fmt::format("select \"FID\" from \"t_LS_Retail\" where \"FBranchShop\"={} and "
                                          "\"FBillType\"=1 order by 1", shop));
    std::string list;
    for (const auto& id : ids) list += (list.empty() ? "" : ",") + id;
    // A shop's day of 25,000 bills is longer than an argument may be: it goes in a file.
    const std::string file = fmt::format("/tmp/server_bench_{}_{}_shop{}.ids", ::getpid(), bills, shop);
    std::ofstream(file) << list;
    p.shops.push_back("@" + file);
  }
  return p;
}

// Each iteration starts from a fresh copy, made while the clock is stopped.
template <class Body>
void Timed(benchmark::State& state, const Prepared& p, Body body) {
  for (auto _ : state) {
    Copy(p.base, p.work);
    CopyFile(p.file, p.work_file);
    auto start = Clock::now();
    if (!body()) state.SkipWithError("the operation failed");
    state.SetIterationTime(Seconds(start));
  }
}

// Whether every one of the four closings closed.
bool RunTogether(const Prepared& p, bool at_once) {
  std::vector<pid_t> children;
  bool closed = true;
  for (const auto& list : p.shops) {
    if (!at_once) {
      closed = Run(CloseArgs(p.work, list)) == 0 && closed;
      continue;
    }
    pid_t pid = fork();
    if (pid == 0) _exit(Run(CloseArgs(p.work, list)));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    closed = closed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return closed;
}

void Register(const Prepared& p) {
  for (bool server : {true, false}) {
    benchmark::RegisterBenchmark(fmt::format("{}init/{}", server ? "" : "embedded_", p.bills).c_str(),
                                 [&p, server](benchmark::State& state) {
                                   const std::string db = server ? p.base + "_init" : p.file + ".init.db";
                                   for (auto _ : state) {
                                     auto start = Clock::now();
                                     if (!Init(db, server, p.bills)) state.SkipWithError("init failed");
                                     state.SetIterationTime(Seconds(start));
                                   }
                                   if (server) Sql("postgres", "DROP DATABASE IF EXISTS " + db + " WITH (FORCE)");
                                   else RemoveFile(db);
                                 })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  auto add = [&](const std::string& name, auto body) {
    benchmark::RegisterBenchmark(fmt::format("{}/{}", name, p.bills).c_str(),
                                 [&p, body](benchmark::State& state) { Timed(state, p, body); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  };
  add("close", [&p] { return Run(CloseArgs(p.work, "")) == 0; });
  add("embedded_close", [&p] {
    std::vector<std::string> args = CloseArgs(p.work, "");
    args[2] = p.work_file;
    return Run(args) == 0;
  });
  add("close_baseline", [&p] { return Baseline(p.work, p.close_steps) > 0; });
  add("UpdateBalAmount", [&p] { return Run(BalanceArgs(p.work)) == 0; });
  add("UpdateBalAmount_baseline", [&p] { return Baseline(p.work, p.balance_steps) > 0; });
  add("four_shops_at_once", [&p] { return RunTogether(p, true); });
  add("four_shops_in_turn", [&p] { return RunTogether(p, false); });
}

// The times as each benchmark ends, then the ratios and the goals.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (!run.error_occurred) ms_[run.run_name.function_name] = run.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto ms = [this](const std::string& name, int bills) {
      auto it = ms_.find(fmt::format("{}/{}", name, bills));
      return it == ms_.end() ? 0.0 : it->second;
    };
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("\n%8s %10s %10s %10s %7s %10s %10s %7s %12s %10s %7s %10s %10s %7s\n", "bills", "init ms",
                "emb. init", "close ms", "raw", "emb. close", "srv/emb", "", "balance ms", "raw ms", "ratio",
                "4 at once", "4 in turn", "ratio");
    for (int bills : sizes) {
      std::printf("%8d %10.1f %10.1f %10.1f %6.2fx %10.1f %9.2fx %7s %12.1f %10.1f %6.2fx %10.1f %10.1f %6.2fx\n",
                  bills, ms("init", bills), ms("embedded_init", bills), ms("close", bills),
                  ratio(ms("close", bills), ms("close_baseline", bills)), ms("embedded_close", bills),
                  ratio(ms("close", bills), ms("embedded_close", bills)), "", ms("UpdateBalAmount", bills),
                  ms("UpdateBalAmount_baseline", bills),
                  ratio(ms("UpdateBalAmount", bills), ms("UpdateBalAmount_baseline", bills)),
                  ms("four_shops_at_once", bills), ms("four_shops_in_turn", bills),
                  ratio(ms("four_shops_at_once", bills), ms("four_shops_in_turn", bills)));
    }
    const int small = sizes.front(), large = sizes.back();
    const double growth = ratio(ms("close", large), ms("close", small));
    const double embedded_growth = ratio(ms("embedded_close", large), ms("embedded_close", small));
    const double server_embedded = ratio(ms("close", large), ms("embedded_close", large));
    const double together = ratio(ms("four_shops_at_once", large), ms("four_shops_in_turn", large));
    // A figure left out by a filter, or whose run failed, is 0: no verdict.
    auto verdict = [](double figure, double goal) { return figure <= 0 ? "not measured" : figure < goal ? "met" : "NOT MET"; };
    std::printf("at %d bills:\n", large);
    std::printf("  server close under 10 s (%.2f s): %s\n", ms("close", large) / 1000,
                verdict(ms("close", large), 10000));
    std::printf("  server / embedded close under 2.5x (%.2fx): %s\n", server_embedded, verdict(server_embedded, 2.5));
    std::printf("  server init under 20 s (%.2f s): %s\n", ms("init", large) / 1000, verdict(ms("init", large), 20000));
    std::printf("  embedded close under 3 s (%.2f s): %s\n", ms("embedded_close", large) / 1000,
                verdict(ms("embedded_close", large), 3000));
    std::printf("  growth %d -> %d bills under 11x: server %.1fx (%s), embedded %.1fx (%s)\n", small, large, growth,
                verdict(growth, 11), embedded_growth, verdict(embedded_growth, 11));
    std::printf("  four shops at once / in turn (server) under 0.6 (%.2f): %s\n", together, verdict(together, 0.6));
  }

  std::vector<int> sizes;

 private:
  std::map<std::string, double> ms_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* dir = std::getenv("DAILYBALANCE_BENCH_PG_HOST");
  if (dir == nullptr || argc < 2) {
    std::fprintf(stderr, "usage: DAILYBALANCE_BENCH_PG_HOST=SOCKET_DIR server_bench PATH_OF_DAILYBALANCE [benchmark flags]\n");
    return 2;
  }
  host_dir = dir;
  binary = argv[1];
  argv[1] = argv[0];
  --argc;
  ++argv;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  // The benchmarks refer to these until the run ends.
  std::vector<int> bill_counts;
  const char* wanted = std::getenv("DAILYBALANCE_BENCH_BILLS");
  for (std::stringstream list(wanted != nullptr ? wanted : "10000,100000"); list.good();) {
    std::string item;
    std::getline(list, item, ',');
    if (!item.empty()) bill_counts.push_back(std::stoi(item));
  }
  std::vector<Prepared> sizes;
  sizes.reserve(bill_counts.size());
  for (int bills : bill_counts) sizes.push_back(Prepare(bills));
  for (const Prepared& p : sizes) Register(p);
  RatioReporter reporter;
  reporter.sizes = bill_counts;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const Prepared& p : sizes) {
    Sql("postgres", "DROP DATABASE IF EXISTS " + p.work + " WITH (FORCE)");
    RemoveFile(p.file);
    RemoveFile(p.work_file);
    for (const std::string& list : p.shops) std::remove(list.substr(1).c_str());
  }
  return 0;
}
