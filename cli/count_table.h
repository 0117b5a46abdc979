// The cash count as a terminal table: expected, counted and difference per
// settlement method, then who counted, who signed off and the note.  Shared
// by `close` (what it stored) and `show --report`.
//
// Thread-safety: writes to std::cout.
#pragma once

#include "backoffice/cash_count.h"

namespace tovan::cli {

void PrintCount(const backoffice::CashCount& count);

}  // namespace tovan::cli
