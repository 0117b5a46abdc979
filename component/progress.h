// The progress counters an instance keeps for the host to poll.
//
// Thread-safety: plain values, read and written on the instance's thread.
#pragma once

#include <cstdint>

#include "platform/automation/variant.h"

namespace tovan::component {

struct ProgressCounters {
  int32_t position = 0;
  int32_t total = 0;

  // position / total × 100, unrounded; 0 while the total is 0.
  double Percent() const { return total == 0 ? 0.0 : static_cast<double>(position) / total * 100.0; }
  // Rounded to a whole number as CLng does (halves to even).
  int32_t PercentAsLong() const { return automation::CLng(automation::Variant(Percent())); }
  // Rounded through a 16-bit integer (CInt), then widened.
  int32_t PercentAsInteger() const { return automation::CInt(automation::Variant(Percent())); }
};

}  // namespace tovan::component
