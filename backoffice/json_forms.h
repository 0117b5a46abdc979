// The one JSON shape of each back-office answer, shared by the command
// line's --json and the dialog's HTTP answers: stable camelCase keys in a
// fixed order, numbers as numbers, dates as yyyy-mm-dd, missing bills as
// null.  The README lists the shapes.
//
// Thread-safety: pure functions.
#pragma once

#include <nlohmann/json.hpp>

#include "backoffice/audit.h"
#include "backoffice/cancellation.h"
#include "backoffice/closed_days.h"
#include "backoffice/closing_report.h"
#include "backoffice/closing.h"
#include "backoffice/lookups.h"
#include "backoffice/open_bills.h"
#include "backoffice/system_options.h"

namespace tovan::backoffice {

using Json = nlohmann::ordered_json;

Json ToJson(const OpenBillList& list);
Json ToJson(const ClosedDay& day);
Json ToJson(const ClosedDayList& list);
Json ToJson(const DayDetails& details);
Json ToJson(const ClosingResult& result);
Json ToJson(const ClosingCheck& check);
Json ToJson(const CancelResult& result);
Json ToJson(const OptionValue& option);
Json ToJson(const SelectionTotals& totals);
Json ToJson(const std::vector<AuditRow>& trail);
Json ToJson(const ClosingReport& report);
// null when no count was made.
Json ToJson(const std::optional<CashCount>& count);

}  // namespace tovan::backoffice
