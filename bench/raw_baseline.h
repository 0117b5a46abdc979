// The raw baselines of the closing benchmarks: the same final rows as the
// component's operations, written the fastest honest way — the SQLite C API,
// prepared statements with bound values, one transaction, no dialect layer,
// no Variants.  Each opens the database itself, as the component's first
// statement does, and commits before it answers.
//
// Each answers the empty text on success and what went wrong otherwise.
#pragma once

#include <string>
#include <vector>

#include "bench/bench_host.h"

namespace tovan::bench::raw {

std::string UpdateBalAmount(const std::string& db);
std::string CheckSelection(const std::string& db, const std::string& ids);
std::string ProcessDailyBalance(const std::string& db, const std::string& ids,
                                const std::vector<Settlement>& settlements);
std::string Close(const std::string& db, const std::string& ids);
std::string UnBalData(const std::string& db, const std::string& daily_bill_id);

}  // namespace tovan::bench::raw
