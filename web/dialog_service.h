// The closing dialog's services over the component, as a host's dialog calls
// them: every read and every change goes through the three classes by
// dispatch; the host's own reads (bill details, shop names) use bound
// parameters.  Inputs arrive validated (web/dialog_inputs.h), and filters
// are built here from those values: no text from a request is SQL.
//
// Reads run in a unit of work that is never committed, so nothing a read
// does can stay in the database.
//
// Errors: cli::BadInput for requests the data refutes (an unknown
// customer), AutomationError when a call cannot be made.
//
// Thread-safety: the calling thread's host context (a HostWorkers thread).
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/closing_dialog.h"
#include "cli/host_session.h"

namespace tovan::web {

using Json = nlohmann::ordered_json;

struct BillFilter {
  automation::Date from = automation::Date::FromParts(1900, 1, 2);
  automation::Date to = automation::Date::FromParts(9999, 12, 30);
  std::string type;  // "1", "2" or empty
  int32_t shop = 0;  // 0: every shop
};

struct CheckRequest {
  std::string ids;
  std::string invoice_type = "2021";
  double tax = 17;
  std::string client;  // empty: not chosen yet
  bool check_bill = false;
  std::string in_cust;
};

struct ClosedFilter {
  std::optional<automation::Date> from, to;
  std::string number;  // part of the daily bill's number; letters and digits
};

Json Settings(cli::HostSession& session);
Json Shops(cli::HostSession& session);
Json OpenBills(cli::HostSession& session, const BillFilter& filter);
Json SelectionTotals(cli::HostSession& session, const std::string& ids);
Json CheckSelection(cli::HostSession& session, const CheckRequest& request);
Json Customers(cli::HostSession& session);
Json Customer(cli::HostSession& session, int32_t id);
Json Accounts(cli::HostSession& session);
Json ClosedDays(cli::HostSession& session, const ClosedFilter& filter);
Json DayDetails(cli::HostSession& session, int32_t id);

// The closing and the cancellation, reporting progress through `events`.
Json Close(cli::HostSession& session, const cli::ClosingInput& input, automation::DispatchPtr events);
Json Cancel(cli::HostSession& session, const std::string& ids, automation::DispatchPtr events);

}  // namespace tovan::web
