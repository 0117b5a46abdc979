// The closing at scale: each operation of the component on generated demo
// databases against a raw-SQLite baseline that writes the same rows, and a
// table at the end: component time, baseline time, their ratio, the growth
// from 1,000 to 10,000 and from 10,000 to 100,000 bills (ten lines each),
// and the peak memory of each operation at the largest size.
//
// Before timing anything, every baseline runs once next to the component on
// the same file and the two resulting databases are compared row by row, so
// the baseline cannot win by writing less.
//
//   closing_bench [--benchmark_filter=...]      run and print the table
//   closing_bench --once NAME                   one run of one benchmark, for a profiler
//   closing_bench --peak NAME                   (internal) one run, peak RSS before and after
//
// $CLOSING_BENCH_DIR keeps the generated databases there for the next run;
// $CLOSING_BENCH_MAX_BILLS (e.g. 10000) leaves the larger sizes out.
#include <sqlite3.h>
#include <malloc.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

constexpr int kSizes[] = {1000, 10000, 100000};
constexpr int kLargest = 100000;

// The sizes this run measures: all, or those up to $CLOSING_BENCH_MAX_BILLS.
std::vector<int> Sizes() {
  const char* cap = std::getenv("CLOSING_BENCH_MAX_BILLS");
  int max = cap != nullptr && *cap != '\0' ? std::atoi(cap) : kLargest;
  std::vector<int> sizes;
  for (int bills : kSizes)
    if (bills <= max) sizes.push_back(bills);
  return sizes;
}

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
  for (int bills : Sizes()) {
    ops.push_back({"UpdateBalAmount", bills, Start::Open,
                   [](const std::string& db, W) { return tovan::bench::UpdateBalAmount(db); },
                   [](const std::string& db, W, K kept) { return raw::UpdateBalAmount(db, kept); }});
    ops.push_back({"IsValidBill+CheckStore", bills, Start::Balanced,
                   [](const std::string& db, W w) { return tovan::bench::CheckSelection(db, w.ids); },
                   [](const std::string& db, W w, K kept) { return raw::CheckSelection(db, w.ids, kept); }});
    ops.push_back({"ProcessDailyBalance", bills, Start::Balanced,
                   [](const std::string& db, W w) { return tovan::bench::ProcessDailyBalance(db, w.ids, w.settlements); },
                   [](const std::string& db, W w, K kept) { return raw::ProcessDailyBalance(db, w.ids, w.settlements, kept); }});
    ops.push_back({"UnBalData", bills, Start::Closed,
                   [](const std::string& db, W w) { return tovan::bench::UnBalData(db, w.daily_bill_id); },
                   [](const std::string& db, W w, K kept) { return raw::UnBalData(db, w.daily_bill_id, kept); }});
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
      auto started = std::chrono::steady_clock::now();
      std::string error = MeasuredCall(op, component, db, w, kept);
      std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
      if (!error.empty()) std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
      if (error.empty()) std::fprintf(stderr, "%s: %.1f ms\n", name.c_str(), took.count());
      return error.empty() ? 0 : 1;
    }
  }
  std::fprintf(stderr, "no benchmark named %s\n", name.c_str());
  return 2;
}

// ---- Comparing the databases the two sides leave ----

// Every row of one table, values with their storage class, in a stable order,
// read one at a time (a day of a large chain does not fit twice in memory).
class TableRows {
 public:
  TableRows(sqlite3* db, const std::string& table) {
    std::string row_text;
    sqlite3_stmt* columns = nullptr;
    sqlite3_prepare_v2(db, ("SELECT name FROM pragma_table_info('" + table + "')").c_str(), -1, &columns, nullptr);
    for (bool first = true; sqlite3_step(columns) == SQLITE_ROW;) {
      const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(columns, 0));
      // The clock's time of a closing: two runs a second apart differ there and nowhere else.
      if (name == "FCloseTime") continue;
      const std::string col = "\"" + name + "\"";
      row_text += (first ? "" : " || '|' || ") + std::string("typeof(") + col + ") || ':' || ifnull(" + col + ",'')";
      first = false;
    }
    sqlite3_finalize(columns);
    sqlite3_prepare_v2(db, ("SELECT " + row_text + " FROM \"" + table + "\" ORDER BY 1").c_str(), -1, &rows_, nullptr);
  }
  ~TableRows() { sqlite3_finalize(rows_); }
  TableRows(const TableRows&) = delete;
  TableRows& operator=(const TableRows&) = delete;
  // The next row, or nullopt at the end.
  std::optional<std::string> Next() {
    if (rows_ == nullptr || sqlite3_step(rows_) != SQLITE_ROW) return std::nullopt;
    const unsigned char* text = sqlite3_column_text(rows_, 0);
    return std::string(text ? reinterpret_cast<const char*>(text) : "");
  }

 private:
  sqlite3_stmt* rows_ = nullptr;
};

std::vector<std::string> Tables(sqlite3* db) {
  std::vector<std::string> out;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  return out;
}

// The first difference between the two databases, or the empty text; `rows`
// counts the rows compared.
std::string FirstDifference(const std::string& component_db, const std::string& baseline_db, size_t& rows) {
  rows = 0;
  sqlite3 *a = nullptr, *b = nullptr;
  std::string difference;
  if (sqlite3_open_v2(component_db.c_str(), &a, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      sqlite3_open_v2(baseline_db.c_str(), &b, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    difference = "cannot read " + component_db + " or " + baseline_db;
  } else if (Tables(a) != Tables(b)) {
    difference = "the two databases hold different tables";
  }
  for (const std::string& table : difference.empty() ? Tables(a) : std::vector<std::string>{}) {
    TableRows component_rows(a, table), baseline_rows(b, table);
    size_t counted = 0;
    for (;;) {
      auto x = component_rows.Next(), y = baseline_rows.Next();
      if (!x && !y) break;
      if (!x || !y) {
        difference = fmt::format("{}: the {} holds more rows (the other ends after {})", table,
                                 x ? "component's" : "baseline's", counted);
        break;
      }
      if (*x != *y) {
        difference = fmt::format("{}:\n    component {}\n    baseline  {}", table, *x, *y);
        break;
      }
      ++counted;
    }
    rows += counted;
    if (!difference.empty()) break;
  }
  sqlite3_close(a);
  sqlite3_close(b);
  return difference;
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
    std::fflush(stdout);
    all_same = all_same && error.empty();
  }
  return all_same;
}

// ---- Peak memory of each operation, in a process of its own ----

// A value of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKb(const char* key) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  long kb = 0;
  size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, key, n) == 0 && line[n] == ':') kb = std::atol(line + n + 1);
  std::fclose(status);
  return kb;
}

// The child: one run of benchmark NAME on a fresh copy; prints "<resident
// before> <peak during>" in KiB.  The high-water mark is reset first, so the
// preparation (reading the workload back) does not count.
int PeakRun(const std::vector<Operation>& ops, const std::string& name) {
  for (const Operation& op : ops) {
    for (bool component : {true, false}) {
      if (BenchName(op, component ? "component" : "baseline") != name) continue;
      const Workload& w = g_host->Get(op.bills);
      const std::string& prebuilt = StartFile(w, op.start);
      std::string db = component ? g_host->Fresh(prebuilt) : g_host->FreshFile(prebuilt);
      tovan::bench::raw::Kept kept;
      ::malloc_trim(0);
      if (FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear);
        std::fclose(clear);
      }
      long before = StatusKb("VmRSS");
      std::string error = MeasuredCall(op, component, db, w, kept);
      long peak = StatusKb("VmHWM");
      if (!error.empty()) {
        std::fprintf(stderr, "peak run %s: %s\n", name.c_str(), error.c_str());
        return 1;
      }
      std::printf("%ld %ld\n", before, peak);
      return 0;
    }
  }
  return 2;
}

struct Peak {
  long before_kb = 0, peak_kb = 0;
  double Mb() const { return (peak_kb - before_kb) / 1024.0; }
};

std::optional<Peak> MeasurePeak(const std::string& name) {
  std::string command = fmt::format("/proc/{}/exe --peak '{}' '{}'", ::getpid(), name, g_host->scratch().string());
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  Peak peak;
  int read = std::fscanf(pipe, "%ld %ld", &peak.before_kb, &peak.peak_kb);
  int status = ::pclose(pipe);
  if (read != 2 || status != 0) return std::nullopt;
  return peak;
}

// ---- The table ----

// One line per benchmark as it ends (the median of its repetitions), then
// the table, the growth, the peaks and the goals.
class TableReporter : public benchmark::BenchmarkReporter {
 public:
  TableReporter(std::vector<Operation> ops, std::map<std::string, Peak> peaks)
      : ops_(std::move(ops)), peaks_(std::move(peaks)) {}

  bool ReportContext(const Context&) override { return true; }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) {
        std::printf("%-44s failed: %s\n", run.run_name.function_name.c_str(), run.error_message.c_str());
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        ms_[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpu_ms_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        std::printf("%-44s %9.1f ms real %9.1f ms cpu (median of %lld)\n", run.run_name.function_name.c_str(),
                    run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), static_cast<long long>(run.repetitions));
      }
    }
    std::fflush(stdout);
  }

  void Finalize() override {
    std::printf("\n%-24s %7s %13s %13s %7s %13s %13s %7s %9s %9s\n", "operation", "bills", "component ms",
                "baseline ms", "ratio", "component cpu", "baseline cpu", "ratio", "peak MB", "base MB");
    double worst_ratio = 0, worst_cpu_ratio = 0;
    for (const Operation& op : ops_) {
      auto component = Time(op, "component"), baseline = Time(op, "baseline");
      auto component_cpu = Time(op, "component", cpu_ms_), baseline_cpu = Time(op, "baseline", cpu_ms_);
      if (!component && !baseline) continue;
      auto ratio = [](std::optional<double> a, std::optional<double> b, double& worst) {
        if (!a || !b) return std::string("-");
        worst = std::max(worst, *a / *b);
        return fmt::format("{:.2f}x", *a / *b);
      };
      std::string real_ratio = ratio(component, baseline, worst_ratio);
      std::string cpu_ratio = ratio(component_cpu, baseline_cpu, worst_cpu_ratio);
      std::printf("%-24s %7d %13s %13s %7s %13s %13s %7s %9s %9s\n", op.name.c_str(), op.bills, Ms(component).c_str(),
                  Ms(baseline).c_str(), real_ratio.c_str(), Ms(component_cpu).c_str(), Ms(baseline_cpu).c_str(),
                  cpu_ratio.c_str(), PeakText(op, "component").c_str(), PeakText(op, "baseline").c_str());
    }
    std::printf("(ms: real time; cpu: the process's processor time, what a shared machine's load does not "
                "stretch.  peak MB: the high-water mark of resident memory during the operation over what the "
                "process held before it, at the largest size)\n\n");
    std::optional<double> close_growth, close_cpu_growth;
    const std::vector<int> sizes = Sizes();
    std::printf("growth (real / cpu)\n");
    for (const char* name : {"UpdateBalAmount", "IsValidBill+CheckStore", "ProcessDailyBalance", "UnBalData",
                             "close (whole)"}) {
      std::string line = fmt::format("  {:<24}", name);
      for (size_t i = 1; i < sizes.size(); ++i) {
        auto small = Find(name, sizes[i - 1]), large = Find(name, sizes[i]);
        auto small_cpu = Find(name, sizes[i - 1], cpu_ms_), large_cpu = Find(name, sizes[i], cpu_ms_);
        line += fmt::format("  {:>6} / {:<6} {:>7} / {:<7}", sizes[i], sizes[i - 1],
                            small && large ? fmt::format("{:.2f}x", *large / *small) : "-",
                            small_cpu && large_cpu ? fmt::format("{:.2f}x", *large_cpu / *small_cpu) : "-");
        if (std::string(name) == "close (whole)" && sizes[i] == kLargest) {
          if (small && large) close_growth = *large / *small;
          if (small_cpu && large_cpu) close_cpu_growth = *large_cpu / *small_cpu;
        }
      }
      std::printf("%s\n", line.c_str());
    }

    std::printf("\ngoals\n");
    auto goal = [](const std::string& what, std::optional<double> value, double limit, const char* unit) {
      if (!value) {
        std::printf("  %-50s not measured\n", what.c_str());
        return;
      }
      std::printf("  %-50s %9.2f %-3s (under %g): %s\n", what.c_str(), *value, unit, limit,
                  *value < limit ? "met" : "NOT MET");
    };
    auto seconds = [](std::optional<double> ms) { return ms ? std::optional<double>(*ms / 1000) : std::nullopt; };
    goal("close of 100,000 bills / 1,000,000 lines", seconds(Find("close (whole)", kLargest)), 2, "s");
    goal("close of 100,000 bills, processor time", seconds(Find("close (whole)", kLargest, cpu_ms_)), 2, "s");
    goal("worst component / baseline ratio", worst_ratio > 0 ? std::optional<double>(worst_ratio) : std::nullopt, 1.5,
         "x");
    goal("worst component / baseline ratio, processor time",
         worst_cpu_ratio > 0 ? std::optional<double>(worst_cpu_ratio) : std::nullopt, 1.5, "x");
    goal("growth of close, 100,000 / 10,000 bills", close_growth, 11, "x");
    goal("growth of close, 100,000 / 10,000 bills, processor time", close_cpu_growth, 11, "x");
    std::optional<double> close_peak;
    if (auto it = peaks_.find(fmt::format("component/close__whole_/{}", kLargest)); it != peaks_.end())
      close_peak = it->second.Mb();
    goal("peak memory of the closing, 100,000 bills", close_peak, 100, "MB");
    goal("UnBalData of 100,000 bills", seconds(Find("UnBalData", kLargest)), 0.5, "s");
    goal("UnBalData of 100,000 bills, processor time", seconds(Find("UnBalData", kLargest, cpu_ms_)), 0.5, "s");
  }

 private:
  std::optional<double> Time(const Operation& op, const char* side) const { return Time(op, side, ms_); }
  static std::optional<double> Time(const Operation& op, const char* side, const std::map<std::string, double>& ms) {
    auto it = ms.find(BenchName(op, side));
    return it == ms.end() ? std::nullopt : std::optional<double>(it->second);
  }
  std::optional<double> Find(const std::string& name, int bills) const { return Find(name, bills, ms_); }
  std::optional<double> Find(const std::string& name, int bills, const std::map<std::string, double>& ms) const {
    for (const Operation& op : ops_)
      if (op.name == name && op.bills == bills) return Time(op, "component", ms);
    return std::nullopt;
  }
  std::string PeakText(const Operation& op, const char* side) const {
    auto it = peaks_.find(BenchName(op, side));
    return it == peaks_.end() ? "" : fmt::format("{:.1f}", it->second.Mb());
  }
  static std::string Ms(std::optional<double> v) { return v ? fmt::format("{:.1f}", *v) : "-"; }

  std::vector<Operation> ops_;
  std::map<std::string, Peak> peaks_;
  std::map<std::string, double> ms_, cpu_ms_;
};

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> once, peak_of;
  const char* keep_dir = std::getenv("CLOSING_BENCH_DIR");
  std::filesystem::path scratch = keep_dir != nullptr && *keep_dir != '\0'
                                      ? std::filesystem::path(keep_dir)
                                      : std::filesystem::temp_directory_path() / fmt::format("closing-bench-{}", ::getpid());
  bool keep = keep_dir != nullptr && *keep_dir != '\0';
  if (argc == 3 && std::string(argv[1]) == "--once") once = argv[2];
  if (argc == 4 && std::string(argv[1]) == "--peak") {
    // The parent's scratch directory, its databases used as they are.
    peak_of = argv[2];
    scratch = argv[3];
    keep = true;
  }

  if (!once && !peak_of) benchmark::Initialize(&argc, argv);
  if (!once && !peak_of && benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  try {
    BenchHost host(scratch, keep);
    g_host = &host;
    std::vector<Operation> ops = Operations();
    if (once) return RunOnce(ops, *once);
    if (peak_of) return PeakRun(ops, *peak_of);
    const std::vector<int> sizes = Sizes();
    std::printf("generating the demo databases of %s bills (ten lines each)...\n",
                fmt::format("{}", fmt::join(sizes, ", ")).c_str());
    std::fflush(stdout);
    for (int bills : sizes) host.Get(bills);
    std::printf("each operation once on both sides, the databases compared row by row:\n");
    bool same = VerifyBaselines(ops);
    if (!same) std::printf("warning: a baseline does not write what the component writes\n");
    std::map<std::string, Peak> peaks;
    for (const Operation& op : ops) {
      if (op.bills != sizes.back()) continue;
      for (const char* side : {"component", "baseline"}) {
        std::string name = BenchName(op, side);
        if (auto peak = MeasurePeak(name)) peaks[name] = *peak;
      }
    }
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
    TableReporter reporter(ops, peaks);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_host = nullptr;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "closing_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
