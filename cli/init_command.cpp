#include <cmath>
#include <filesystem>
#include <iostream>

#include "backoffice/session.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "host/database_builder.h"
#include "platform/automation/error.h"

namespace tovan::cli {

namespace {
constexpr int kMaxBills = 1000000;
constexpr int kMaxLines = 1000;
constexpr int kMaxDays = 3660;
}  // namespace

int RunInit(const InitOptions& options) {
  if (options.empty && options.bills_given) {
    PrintError("--empty and --bills exclude each other");
    return kExitBadInput;
  }
  // Bounds keep a mistyped number from filling the disk for hours.
  if (options.bills < 0 || options.bills > kMaxBills || options.lines < 1 || options.lines > kMaxLines ||
      options.days < 1 || options.days > kMaxDays) {
    PrintError("--bills must lie from 0 to " + std::to_string(kMaxBills) + ", --lines from 1 to " +
               std::to_string(kMaxLines) + ", --days from 1 to " + std::to_string(kMaxDays));
    return kExitBadInput;
  }
  try {
    backoffice::NewDatabasePath(options.db);
  } catch (const backoffice::Refusal& e) {
    return Refused(e);
  }
  hostlib::DemoOptions demo;
  demo.bills = options.empty ? 0 : options.bills;
  demo.lines = options.lines;
  demo.seed = options.seed;
  demo.days = options.days;
  if (!options.last_day.empty()) {
    auto day = automation::ParseDate(options.last_day);
    if (!day || day->serial != std::floor(day->serial)) {
      PrintError("--last-day is not a date: " + options.last_day);
      return kExitBadInput;
    }
    demo.last_day = *day;
  }
  std::error_code ec;
  if (std::filesystem::exists(options.db, ec)) {
    if (!options.force) {
      PrintError(options.db + " already exists (use --force to replace it)");
      return kExitBadInput;
    }
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(options.db + suffix, ec);
  }
  try {
    hostlib::BuildDatabase(options.db, demo);
  } catch (const automation::AutomationError& e) {
    PrintError("cannot build " + options.db + ": " + e.description());
    return e.number() == automation::vberr::kInvalidProcedureCall ? kExitBadInput : kExitFailed;
  }
  if (options.json) {
    std::cout << ToText(Json{{"db", options.db}, {"bills", demo.bills}, {"lines", demo.lines}, {"seed", demo.seed}})
              << "\n";
  } else {
    std::cout << "Created " << options.db << " with the host schema and master data";
    if (demo.bills > 0) std::cout << " and " << demo.bills << " retail bills";
    std::cout << "\nOperator 1 is its admin; set a password with: dailybalance user passwd --db " << options.db
              << " 1\n";
  }
  return kExitOk;
}

}  // namespace tovan::cli
