#include "bench/raw_baseline.h"

namespace tovan::bench::raw {
std::string UpdateBalAmount(const std::string&) { return "todo"; }
std::string CheckSelection(const std::string&, const std::string&) { return "todo"; }
std::string ProcessDailyBalance(const std::string&, const std::string&, const std::vector<Settlement>&) { return "todo"; }
std::string Close(const std::string&, const std::string&) { return "todo"; }
std::string UnBalData(const std::string&, const std::string&) { return "todo"; }
}  // namespace tovan::bench::raw
