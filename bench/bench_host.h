// The reference host of the closing benchmarks: a scratch directory with a
// registry of its own, demo databases built once per size (bills open, bills
// balanced, bills closed), and the component called the way the `close` and
// `cancel` commands call it.
//
// A timed run works on a fresh copy of a prebuilt file, so every iteration
// starts from the same rows and opens its connection cold, as a command does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tovan::bench {

// The closing dialog's choices, fixed for every run.
inline constexpr const char* kClient = "314";
inline constexpr const char* kInvoiceType = "2021";
inline constexpr double kTaxRate = 17;
inline constexpr int32_t kInCustomer = 301;  // the check bill's receiving customer

// One settlement record of the closing dialog: method, amount (as the
// component packaged it) and account.
struct Settlement {
  std::string item_id;
  std::string amount;
  std::string account;
};

// One size of workload: its prebuilt files and the inputs of its closing.
struct Workload {
  int bills = 0;
  std::string open_db;      // generated bills, balance amounts not written yet
  std::string balanced_db;  // after UpdateBalAmount
  std::string closed_db;    // after the closing of every bill
  std::string ids;          // every bill, "1,2,3,..." (all are sales of one day)
  std::vector<Settlement> settlements;
  std::string daily_bill_id;  // of the closing in closed_db
};

class BenchHost {
 public:
  // Points the registry at `scratch` and registers both libraries there.
  // A kept scratch directory is not removed at the end, and the databases
  // found in it are used again (profiling runs start from them).
  BenchHost(std::filesystem::path scratch, bool keep);
  ~BenchHost();
  BenchHost(const BenchHost&) = delete;
  BenchHost& operator=(const BenchHost&) = delete;

  // The workload of `bills` bills, built on first use (not timed).
  const Workload& Get(int bills);
  // A fresh copy of `prebuilt` as the working database, with this thread's
  // host context started on it; answers its path.
  std::string Fresh(const std::string& prebuilt);
  // A fresh copy without a host context (for the raw baselines).
  std::string FreshFile(const std::string& prebuilt);
  const std::filesystem::path& scratch() const { return scratch_; }

 private:
  std::filesystem::path scratch_;
  bool keep_;
  std::map<int, Workload> workloads_;
};

// The component's operations, each in one host unit of work committed at its
// end as the commands commit it.  Each answers the empty text on success and
// what went wrong otherwise.
std::string UpdateBalAmount(const std::string& db);
// IsValidBill then CheckStore on the bills, as `close` checks them.
std::string CheckSelection(const std::string& db, const std::string& ids);
// ProcessDailyBalance alone, with the dialog's settlement records given.
std::string ProcessDailyBalance(const std::string& db, const std::string& ids,
                                const std::vector<Settlement>& settlements);
// Everything `close --bills IDS --check-bill` runs: balance amounts, the
// selection checks, settlement records and the closing.
std::string Close(const std::string& db, const std::string& ids);
// `cancel DAILY_ID`.
std::string UnBalData(const std::string& db, const std::string& daily_bill_id);

// The settlement records `close` hands to the closing, read through the component.
std::vector<Settlement> SettlementRecords(const std::string& db, const std::string& ids);

}  // namespace tovan::bench
