// The closing at scale: each operation of the component on generated demo
// databases against a raw-SQLite baseline that writes the same rows, and a
// table at the end: component time, baseline time, their ratio, the growth
// from 1,000 to 10,000 bills and the peak memory of a whole closing.
//
// Before timing anything, every baseline runs once next to the component on
// the same file and the two resulting databases are compared row by row, so
// the baseline cannot win by writing less.
//
//   closing_bench [--benchmark_filter=...]      run and print the table
//   closing_bench --once NAME                   one run of one benchmark, for a profiler
//   closing_bench --peak-close DB BILLS         (internal) one closing, peak RSS
//
// $CLOSING_BENCH_DIR keeps the generated databases there for the next run.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_host.h"
#include "bench/raw_baseline.h"
#include "platform/host/global_context.h"

namespace {

using tovan::bench::BenchHost;
using tovan::bench::Workload;

constexpr int kSmall = 1000;
constexpr int kLarge = 10000;

enum class Start { Open, Balanced, Closed };

// One operation measured both ways.
struct Operation {
  std::string name;  // as in the table
  int bills;
  Start start;
  std::function<std::string(const std::string& db, const Workload& w)> component;
  std::function<std::string(const std::string& db, const Workload& w, tovan::bench::raw::Kept& kept)> baseline;
};

BenchHost* g_host = nullptr;

const std::string& StartFile(const Workload& w, Start start) {
  switch (start) {
    case Start::Open: return w.open_db;
    case Start::Balanced: return w.balanced_db;
    case Start::Closed: return w.closed_db;
  }
  return w.open_db;
}

std::vector<Operation> Operations() {
  namespace raw = tovan::bench::raw;
  using W = const Workload&;
  using K = raw::Kept&;
  std::vector<Operation> ops;
  ops.push_back({"UpdateBalAmount", kLarge, Start::Open,
                 [](const std::string& db, W) { return tovan::bench::UpdateBalAmount(db); },
                 [](const std::string& db, W, K kept) { return raw::UpdateBalAmount(db, kept); }});
  ops.push_back({"IsValidBill+CheckStore", kLarge, Start::Balanced,
                 [](const std::string& db, W w) { return tovan::bench::CheckSelection(db, w.ids); },
                 [](const std::string& db, W w, K kept) { return raw::CheckSelection(db, w.ids, kept); }});
  for (int bills : {kSmall, kLarge}) {
    ops.push_back({"ProcessDailyBalance", bills, Start::Balanced,
                   [](const std::string& db, W w) { return tovan::bench::ProcessDailyBalance(db, w.ids, w.settlements); },
                   [](const std::string& db, W w, K kept) { return raw::ProcessDailyBalance(db, w.ids, w.settlements, kept); }});
  }
  for (int bills : {kSmall, kLarge}) {
    ops.push_back({"UnBalData", bills, Start::Closed,
                   [](const std::string& db, W w) { return tovan::bench::UnBalData(db, w.daily_bill_id); },
                   [](const std::string& db, W w, K kept) { return raw::UnBalData(db, w.daily_bill_id, kept); }});
  }
  for (int bills : {kSmall, kLarge}) {
    ops.push_back({"close (whole)", bills, Start::Open,
                   [](const std::string& db, W w) { return tovan::bench::Close(db, w.ids); },
                   [](const std::string& db, W w, K kept) { return raw::Close(db, w.ids, kept); }});
  }
  return ops;
}

std::string BenchName(const Operation& op, const char* side) {
  std::string name = op.name;
  for (char& c : name)
    if (c == ' ' || c == '(' || c == ')' || c == '+') c = '_';
  return fmt::format("{}/{}/{}", side, name, op.bills);
}

// The measured call alone, for profilers (valgrind --toggle-collect=*MeasuredCall*).
[[gnu::noinline]] std::string MeasuredCall(const Operation& op, bool component, const std::string& db, const Workload& w,
                                           tovan::bench::raw::Kept& kept) {
  return component ? op.component(db, w) : op.baseline(db, w, kept);
}

void Run(benchmark::State& state, const Operation* op, bool component) {
  const Workload& w = g_host->Get(op->bills);
  const std::string& prebuilt = StartFile(w, op->start);
  tovan::bench::raw::Kept kept;  // the baseline's connection, closed untimed as the component's is
  for (auto _ : state) {
    state.PauseTiming();
    kept.reset();
    std::string db = component ? g_host->Fresh(prebuilt) : g_host->FreshFile(prebuilt);
    state.ResumeTiming();
    std::string error = MeasuredCall(*op, component, db, w, kept);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.counters["bills"] = op->bills;
}

int RunOnce(const std::vector<Operation>& ops, const std::string& name) {
  for (const Operation& op : ops) {
    for (bool component : {true, false}) {
      if (BenchName(op, component ? "component" : "baseline") != name) continue;
      const Workload& w = g_host->Get(op.bills);
      const std::string& prebuilt = StartFile(w, op.start);
      std::string db = component ? g_host->Fresh(prebuilt) : g_host->FreshFile(prebuilt);
      tovan::bench::raw::Kept kept;
      std::string error = MeasuredCall(op, component, db, w, kept);
      if (!error.empty()) std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
      return error.empty() ? 0 : 1;
    }
  }
  std::fprintf(stderr, "no benchmark named %s\n", name.c_str());
  return 2;
}

// ---- Comparing the databases the two sides leave ----

std::vector<std::string> Column(sqlite3* db, const std::string& sql) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(st, 0);
    out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
  }
  sqlite3_finalize(st);
  return out;
}

// Every row of every table, values with their storage class, in a stable order.
std::map<std::string, std::vector<std::string>> Dump(const std::string& file) {
  std::map<std::string, std::vector<std::string>> tables;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return tables;
  for (const std::string& table :
       Column(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name")) {
    std::vector<std::string> columns = Column(db, "SELECT name FROM pragma_table_info('" + table + "')");
    std::string row_text;
    for (size_t c = 0; c < columns.size(); ++c) {
      std::string col = "\"" + columns[c] + "\"";
      row_text += (c ? " || '|' || " : "") + std::string("typeof(") + col + ") || ':' || ifnull(" + col + ",'')";
    }
    tables[table] = Column(db, "SELECT " + row_text + " FROM \"" + table + "\" ORDER BY 1");
  }
  sqlite3_close(db);
  return tables;
}

// The first difference between the two databases, or the empty text; `rows`
// counts the rows compared.
std::string FirstDifference(const std::string& component_db, const std::string& baseline_db, size_t& rows) {
  auto a = Dump(component_db), b = Dump(baseline_db);
  rows = 0;
  if (a.empty()) return "cannot read " + component_db;
  for (const auto& [table, component_rows] : a) {
    const auto& baseline_rows = b[table];
    rows += component_rows.size();
    if (component_rows == baseline_rows) continue;
    if (component_rows.size() != baseline_rows.size())
      return fmt::format("{}: {} rows against {}", table, component_rows.size(), baseline_rows.size());
    for (size_t r = 0; r < component_rows.size(); ++r)
      if (component_rows[r] != baseline_rows[r])
        return fmt::format("{}:\n    component {}\n    baseline  {}", table, component_rows[r], baseline_rows[r]);
  }
  return {};
}

// Runs both sides once on fresh copies and compares what they leave.
bool VerifyBaselines(const std::vector<Operation>& ops) {
  bool all_same = true;
  for (const Operation& op : ops) {
    const Workload& w = g_host->Get(op.bills);
    const std::string& prebuilt = StartFile(w, op.start);
    std::string component_db = (g_host->scratch() / "verify-component.db").string();
    std::string baseline_db = (g_host->scratch() / "verify-baseline.db").string();
    std::string error = op.component(g_host->Fresh(prebuilt), w);
    tovan::host::GlobalContext::ForThread().Reset();
    std::filesystem::copy_file(g_host->scratch() / "work.db", component_db, std::filesystem::copy_options::overwrite_existing);
    if (error.empty()) {
      tovan::bench::raw::Kept kept;
      error = op.baseline(g_host->FreshFile(prebuilt), w, kept);
    }
    std::filesystem::copy_file(g_host->scratch() / "work.db", baseline_db, std::filesystem::copy_options::overwrite_existing);
    size_t rows = 0;
    if (error.empty()) error = FirstDifference(component_db, baseline_db, rows);
    std::printf("same rows   %-24s %6d bills: %s\n", op.name.c_str(), op.bills,
                error.empty() ? fmt::format("yes, all {} rows", rows).c_str() : error.c_str());
    all_same = all_same && error.empty();
  }
  std::fflush(stdout);
  return all_same;
}

// ---- Peak memory of a whole closing, in a process of its own ----

long MaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The child: the whole `close` of BILLS bills on a copy of DB; prints
// "<peak before> <peak after>" in KiB.
int PeakClose(const std::string& prebuilt, int bills) {
  BenchHost host(std::filesystem::temp_directory_path() / fmt::format("closing-bench-peak-{}", ::getpid()), false);
  std::string ids;
  for (int id = 1; id <= bills; ++id) ids.append(id > 1 ? "," : "").append(std::to_string(id));
  std::string db = host.Fresh(prebuilt);
  long before = MaxRssKb();
  std::string error = tovan::bench::Close(db, ids);
  long after = MaxRssKb();
  if (!error.empty()) {
    std::fprintf(stderr, "peak run: %s\n", error.c_str());
    return 1;
  }
  std::printf("%ld %ld\n", before, after);
  return 0;
}

struct Peak {
  long before_kb = 0, after_kb = 0;
};

std::optional<Peak> MeasurePeak(const Workload& w) {
  std::string command =
      fmt::format("/proc/{}/exe --peak-close '{}' {}", ::getpid(), w.open_db, w.bills);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  Peak peak;
  int read = std::fscanf(pipe, "%ld %ld", &peak.before_kb, &peak.after_kb);
  int status = ::pclose(pipe);
  if (read != 2 || status != 0) return std::nullopt;
  return peak;
}

// ---- The table ----

// One line per benchmark as it ends (the median of its repetitions), then
// the table and the goals.
class TableReporter : public benchmark::BenchmarkReporter {
 public:
  TableReporter(std::vector<Operation> ops, std::optional<Peak> peak) : ops_(std::move(ops)), peak_(peak) {}

  bool ReportContext(const Context&) override { return true; }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) {
        std::printf("%-44s failed: %s\n", run.run_name.function_name.c_str(), run.error_message.c_str());
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        ms_[run.run_name.function_name] = run.GetAdjustedRealTime();
        std::printf("%-44s %9.1f ms real %9.1f ms cpu (median of %lld)\n", run.run_name.function_name.c_str(),
                    run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), static_cast<long long>(run.repetitions));
      }
    }
    std::fflush(stdout);
  }

  void Finalize() override {
    std::printf("\n%-24s %7s %14s %14s %8s\n", "operation", "bills", "component ms", "baseline ms", "ratio");
    double worst_ratio = 0;
    for (const Operation& op : ops_) {
      auto component = Time(op, "component"), baseline = Time(op, "baseline");
      if (!component && !baseline) continue;
      std::string ratio = "-";
      if (component && baseline) {
        worst_ratio = std::max(worst_ratio, *component / *baseline);
        ratio = fmt::format("{:.2f}x", *component / *baseline);
      }
      std::printf("%-24s %7d %14s %14s %8s\n", op.name.c_str(), op.bills, Ms(component).c_str(), Ms(baseline).c_str(),
                  ratio.c_str());
    }
    std::printf("\n");
    std::optional<double> close_growth;
    for (const char* name : {"ProcessDailyBalance", "UnBalData", "close (whole)"}) {
      auto small = Find(name, kSmall), large = Find(name, kLarge);
      if (!small || !large) continue;
      std::printf("growth %-22s %d / %d bills: %5.2f\n", name, kLarge, kSmall, *large / *small);
      if (std::string(name) == "close (whole)") close_growth = *large / *small;
    }
    std::optional<double> peak_mb;
    if (peak_) {
      peak_mb = (peak_->after_kb - peak_->before_kb) / 1024.0;
      std::printf("peak memory of close (whole), %d bills: %.1f MB over the process before it (%.1f MB in all)\n",
                  kLarge, *peak_mb, peak_->after_kb / 1024.0);
    } else {
      std::printf("peak memory of close (whole): not measured\n");
    }

    std::printf("\ngoals\n");
    auto goal = [](const char* what, std::optional<double> value, double limit, const char* unit) {
      if (!value) {
        std::printf("  %-46s not measured\n", what);
        return;
      }
      std::printf("  %-46s %9.2f %-3s (under %g): %s\n", what, *value, unit, limit, *value < limit ? "met" : "NOT MET");
    };
    auto close_large = Find("close (whole)", kLarge);
    goal("close of 10,000 bills / 100,000 lines", close_large ? std::optional<double>(*close_large / 1000) : std::nullopt,
         2, "s");
    goal("worst component / baseline ratio", worst_ratio > 0 ? std::optional<double>(worst_ratio) : std::nullopt, 3, "x");
    goal("growth of close, 10,000 / 1,000 bills", close_growth, 12, "x");
    goal("peak memory of the closing", peak_mb, 200, "MB");
  }

 private:
  std::optional<double> Time(const Operation& op, const char* side) const {
    auto it = ms_.find(BenchName(op, side));
    return it == ms_.end() ? std::nullopt : std::optional<double>(it->second);
  }
  std::optional<double> Find(const std::string& name, int bills) const {
    for (const Operation& op : ops_)
      if (op.name == name && op.bills == bills) return Time(op, "component");
    return std::nullopt;
  }
  static std::string Ms(std::optional<double> v) { return v ? fmt::format("{:.1f}", *v) : "-"; }

  std::vector<Operation> ops_;
  std::optional<Peak> peak_;
  std::map<std::string, double> ms_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--peak-close") return PeakClose(argv[2], std::atoi(argv[3]));

  const char* keep_dir = std::getenv("CLOSING_BENCH_DIR");
  std::filesystem::path scratch = keep_dir != nullptr && *keep_dir != '\0'
                                      ? std::filesystem::path(keep_dir)
                                      : std::filesystem::temp_directory_path() / fmt::format("closing-bench-{}", ::getpid());
  std::optional<std::string> once;
  if (argc == 3 && std::string(argv[1]) == "--once") once = argv[2];

  if (!once) benchmark::Initialize(&argc, argv);
  if (!once && benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  try {
    BenchHost host(scratch, keep_dir != nullptr && *keep_dir != '\0');
    g_host = &host;
    std::vector<Operation> ops = Operations();
    if (once) return RunOnce(ops, *once);
    std::printf("generating the demo databases of %d and %d bills...\n", kSmall, kLarge);
    std::fflush(stdout);
    for (int bills : {kSmall, kLarge}) host.Get(bills);
    std::printf("each operation once on both sides, the databases compared row by row:\n");
    bool same = VerifyBaselines(ops);
    if (!same) std::printf("warning: a baseline does not write what the component writes\n");
    std::optional<Peak> peak = MeasurePeak(host.Get(kLarge));
    std::printf("\ntimes (real time, a fresh copy of the database per run, its preparation not timed):\n");

    for (const Operation& op : ops) {
      for (bool component : {true, false}) {
        benchmark::RegisterBenchmark(BenchName(op, component ? "component" : "baseline").c_str(), Run, &op, component)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(0.5)
            ->Repetitions(3)
            ->ReportAggregatesOnly(true);
      }
    }
    TableReporter reporter(ops, peak);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_host = nullptr;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "closing_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
