// Dates in the text of a filter, as the closing's statements write them.
//
// Thread-safety: pure functions.
#pragma once

#include <string>

#include "platform/automation/variant.h"

namespace tovan::closing {

// The date text of VB's `date + days`; a serial outside the calendar raises
// Overflow (6).
std::string ShiftedDateText(automation::Date date, double days);

}  // namespace tovan::closing
