// The raw baselines of the closing benchmarks: the same final rows as the
// component's operations, written the fastest honest way — the SQLite C API,
// prepared statements with bound values, one transaction, no dialect layer,
// no Variants.  Each opens the database itself, as the component's first
// statement does, and commits before it answers; the connection is handed
// back open, because closing it (a checkpoint of the write-ahead log) is no
// more part of the operation than it is for the component, whose connection
// stays with its host.
//
// Each answers the empty text on success and what went wrong otherwise.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_host.h"

namespace tovan::bench::raw {

class Connection {
 public:
  virtual ~Connection() = default;
};
using Kept = std::unique_ptr<Connection>;

std::string UpdateBalAmount(const std::string& db, Kept& kept);
std::string CheckSelection(const std::string& db, const std::string& ids, Kept& kept);
std::string ProcessDailyBalance(const std::string& db, const std::string& ids,
                                const std::vector<Settlement>& settlements, Kept& kept);
std::string Close(const std::string& db, const std::string& ids, Kept& kept);
std::string UnBalData(const std::string& db, const std::string& daily_bill_id, Kept& kept);

}  // namespace tovan::bench::raw
