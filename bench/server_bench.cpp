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
// It prints the times and the ratios (close / baseline, growth from 1,000 to
// 10,000 bills, four at once / four in turn).  Needs DAILYBALANCE_BENCH_PG_HOST,
// the socket folder of a server that trusts "postgres" (scripts/server_bench.sh
// starts one).
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
  Sql("postgres", "CREATE DATABASE " + to + " TEMPLATE " + from);
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<std::string> CloseArgs(const std::string& db, const std::string& bills) {
  std::vector<std::string> args{"close", "--db", Source(db), "--client", "314"};
  if (bills.empty()) {
    args.insert(args.end(), {"--date", "2026-12-04", "--type", "sales"});
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

struct Size {
  int bills;
  double close = 0, baseline = 0, parallel = 0, sequential = 0;
  std::size_t statements = 0;
};

void Measure(Size& size) {
  const std::string base = fmt::format("bench_{}", size.bills);
  Sql("postgres", "DROP DATABASE IF EXISTS " + base + " WITH (FORCE)");
  if (Run({"init", "--db", Source(base), "--bills", std::to_string(size.bills), "--lines", "10", "--days", "1",
           "--last-day", "2026-12-04"}) != 0) {
    std::fprintf(stderr, "cannot build %s\n", base.c_str());
    std::exit(1);
  }
  const std::string work = base + "_work";
  // A traced run: what the closing sends, translated while no clock runs.
  Copy(base, work);
  const std::string trace = fmt::format("/tmp/server_bench_{}.trace", ::getpid());
  std::remove(trace.c_str());
  Run(CloseArgs(work, ""), "DAILYBALANCE_TRACE=" + trace);
  std::vector<Step> steps;
  {
    Copy(base, work);
    auto backend = tovan::data::postgresql::PostgresBackend::Open(Source(work));
    for (const std::string& text : Traced(trace)) {
      auto t = tovan::data::postgresql::TranslateBatch(text, backend->catalog());
      if (!t.ok) continue;  // a call of GetICMaxNum and the like: not T-SQL text
      for (const auto& s : t.statements) {
        if (s.kind != tovan::data::tsql::TranslatedStatement::Kind::Execute) continue;
        const std::string lead = s.sql.substr(s.sql.find_first_not_of(" \r\n\t("), 6);
        steps.push_back({s.sql, lead == "select" || lead == "SELECT" || lead == "Select"});
      }
    }
  }
  std::remove(trace.c_str());
  size.statements = steps.size();
  for (int round = 0; round < 3; ++round) {
    Copy(base, work);
    auto start = Clock::now();
    if (Run(CloseArgs(work, "")) != 0) std::fprintf(stderr, "close failed\n");
    const double close = Seconds(start);
    Copy(base, work);
    const double baseline = Baseline(work, steps);
    if (round == 0 || close < size.close) size.close = close;
    if (round == 0 || baseline < size.baseline) size.baseline = baseline;
  }
  // Four shops' bills: at once, then one after the other.
  std::vector<std::string> shops;
  for (int shop = 1; shop <= 4; ++shop) {
    auto ids = Column(base, fmt::format("select \"FID\" from \"t_LS_Retail\" where \"FBranchShop\"={} and "
                                        "\"FBillType\"=1 order by 1", shop));
    std::string list;
    for (const auto& id : ids) list += (list.empty() ? "" : ",") + id;
    shops.push_back(list);
  }
  Copy(base, work);
  auto start = Clock::now();
  std::vector<pid_t> children;
  for (const auto& list : shops) {
    pid_t pid = fork();
    if (pid == 0) _exit(Run(CloseArgs(work, list)));
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  size.parallel = Seconds(start);
  Copy(base, work);
  start = Clock::now();
  for (const auto& list : shops) Run(CloseArgs(work, list));
  size.sequential = Seconds(start);
  Sql("postgres", "DROP DATABASE IF EXISTS " + work + " WITH (FORCE)");
}

}  // namespace

int main(int argc, char** argv) {
  const char* dir = std::getenv("DAILYBALANCE_BENCH_PG_HOST");
  if (dir == nullptr || argc < 2) {
    std::fprintf(stderr, "usage: DAILYBALANCE_BENCH_PG_HOST=SOCKET_DIR server_bench PATH_OF_DAILYBALANCE\n");
    return 2;
  }
  host_dir = dir;
  binary = argv[1];
  std::vector<Size> sizes{{1000}, {10000}};
  for (Size& s : sizes) Measure(s);
  std::printf("%8s %10s %10s %8s %11s %11s %11s %8s\n", "bills", "close s", "raw s", "ratio", "statements",
              "4 at once", "4 in turn", "ratio");
  for (const Size& s : sizes)
    std::printf("%8d %10.3f %10.3f %8.2f %11zu %11.3f %11.3f %8.2f\n", s.bills, s.close, s.baseline,
                s.close / s.baseline, s.statements, s.parallel, s.sequential, s.parallel / s.sequential);
  std::printf("growth 1,000 -> 10,000 bills: close %.1fx, baseline %.1fx\n", sizes[1].close / sizes[0].close,
              sizes[1].baseline / sizes[0].baseline);
  std::printf("goals: close within 3x of the baseline: %s; close of 10,000 bills under 3 s: %s; growth under 12x: %s\n",
              sizes[1].close / sizes[1].baseline < 3 ? "met" : "MISSED", sizes[1].close < 3 ? "met" : "MISSED",
              sizes[1].close / sizes[0].close < 12 ? "met" : "MISSED");
  return 0;
}
