// The closing on a PostgreSQL server, against a raw libpq baseline.
//
// For 1,000 and 10,000 bills (ten lines each, one day) it times, on fresh
// copies of a prebuilt server database:
//   - `dailybalance close` of the day's sales (the whole command, a process
//     of its own, as an operator runs it);
//   - the baseline: the very statements that closing sent, translated before
//     the clock starts, run by a bare libpq client in one transaction, every
//     run of writes pipelined, each read waited for;
//   - four closings of four shops' bills, at once from four processes, and
//     the same four one after the other.
// It also times UpdateBalAmount (through `dailybalance invoke`) against the
// same kind of baseline.  A Google Benchmark program: it prints the times,
// then the ratios (close / baseline, growth from 1,000 to 10,000 bills, four
// at once / four in turn) and the goals, all measured in the one run.
// Needs DAILYBALANCE_BENCH_PG_HOST, the socket folder of a server that trusts
// "postgres" (scripts/server_bench.sh starts one).
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

Prepared Prepare(int bills) {
  Prepared p;
  p.bills = bills;
  p.base = fmt::format("bench_{}", bills);
  p.work = p.base + "_work";
  Sql("postgres", "DROP DATABASE IF EXISTS " + p.base + " WITH (FORCE)");
  if (Run({"init", "--db", Source(p.base), "--bills", std::to_string(bills), "--lines", "10", "--days", "1",
           "--last-day", "2026-12-04"}) != 0) {
    std::fprintf(stderr, "cannot build %s\n", p.base.c_str());
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
    p.shops.push_back(list);
  }
  return p;
}

// Each iteration starts from a fresh copy, made while the clock is stopped.
template <class Body>
void Timed(benchmark::State& state, const Prepared& p, Body body) {
  for (auto _ : state) {
    Copy(p.base, p.work);
    auto start = Clock::now();
    if (!body()) state.SkipWithError("the operation failed");
    state.SetIterationTime(Seconds(start));
  }
}

void RunTogether(const Prepared& p, bool at_once) {
  std::vector<pid_t> children;
  for (const auto& list : p.shops) {
    if (!at_once) {
      Run(CloseArgs(p.work, list));
      continue;
    }
    pid_t pid = fork();
    if (pid == 0) _exit(Run(CloseArgs(p.work, list)));
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
}

void Register(const Prepared& p) {
  auto add = [&](const std::string& name, auto body) {
    benchmark::RegisterBenchmark(fmt::format("{}/{}", name, p.bills).c_str(),
                                 [&p, body](benchmark::State& state) { Timed(state, p, body); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  };
  add("close", [&p] { return Run(CloseArgs(p.work, "")) == 0; });
  add("close_baseline", [&p] { return Baseline(p.work, p.close_steps) > 0; });
  add("UpdateBalAmount", [&p] { return Run(BalanceArgs(p.work)) == 0; });
  add("UpdateBalAmount_baseline", [&p] { return Baseline(p.work, p.balance_steps) > 0; });
  add("four_shops_at_once", [&p] { return RunTogether(p, true), true; });
  add("four_shops_in_turn", [&p] { return RunTogether(p, false), true; });
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
    std::printf("\n%8s %12s %12s %7s %14s %12s %7s %12s %12s %7s\n", "bills", "close ms", "raw ms", "ratio",
                "balance ms", "raw ms", "ratio", "4 at once", "4 in turn", "ratio");
    for (int bills : {1000, 10000}) {
      std::printf("%8d %12.1f %12.1f %6.2fx %14.1f %12.1f %6.2fx %12.1f %12.1f %6.2fx\n", bills, ms("close", bills),
                  ms("close_baseline", bills), ratio(ms("close", bills), ms("close_baseline", bills)),
                  ms("UpdateBalAmount", bills), ms("UpdateBalAmount_baseline", bills),
                  ratio(ms("UpdateBalAmount", bills), ms("UpdateBalAmount_baseline", bills)),
                  ms("four_shops_at_once", bills), ms("four_shops_in_turn", bills),
                  ratio(ms("four_shops_at_once", bills), ms("four_shops_in_turn", bills)));
    }
    const double close_ratio = ratio(ms("close", 10000), ms("close_baseline", 10000));
    const double balance_ratio = ratio(ms("UpdateBalAmount", 10000), ms("UpdateBalAmount_baseline", 10000));
    const double growth = ratio(ms("close", 10000), ms("close", 1000));
    const double together = ratio(ms("four_shops_at_once", 10000), ms("four_shops_in_turn", 10000));
    std::printf("growth 1,000 -> 10,000 bills: close %.1fx, its baseline %.1fx\n", growth,
                ratio(ms("close_baseline", 10000), ms("close_baseline", 1000)));
    auto verdict = [](bool met) { return met ? "met" : "NOT MET"; };
    std::printf("goals: close within 3x of its baseline (%.2fx): %s; UpdateBalAmount within 3x (%.2fx): %s\n",
                close_ratio, verdict(close_ratio < 3), balance_ratio, verdict(balance_ratio < 3));
    std::printf("       close of 10,000 bills under 3 s (%.2f s): %s; growth under 12x (%.1fx): %s\n",
                ms("close", 10000) / 1000, verdict(ms("close", 10000) < 3000), growth, verdict(growth < 12));
    std::printf("       four shops at once / in turn: %.2f (%s)\n", together,
                together < 0.75 ? "well under" : "NOT well under four closings in turn");
  }

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
  std::vector<Prepared> sizes;
  sizes.reserve(2);
  for (int bills : {1000, 10000}) sizes.push_back(Prepare(bills));
  for (const Prepared& p : sizes) Register(p);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const Prepared& p : sizes) Sql("postgres", "DROP DATABASE IF EXISTS " + p.work + " WITH (FORCE)");
  return 0;
}
