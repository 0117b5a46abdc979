// The daily closing as the back office runs it for both front ends.
//
// First the host's own checks against the database, which refuse with a
// Refusal before anything is written: every bill id names an open retail
// bill (unknown ids and closed ones are named), the closing date is the
// bills' business day unless given (a real day, no earlier than the latest
// bill, inside the current period, not after today), a day's selection is
// one shop's, customers are customers and not group headings, a check bill
// has a receiving customer (given or stored), a receiving customer has a
// check bill, and the operator may close those shops.  Then what the host's
// closing dialog runs: balance amounts,
// selection validity, stock check, settlement records, the host's look for
// causes of failure, and the closing, all in one unit of work that commits
// only when the closing answered True and its last vote was SetComplete.
//
// Every closing, done, refused or failed, leaves its row in the audit trail.
//
// Errors: Refusal for input the data refutes (kForbidden for shops the
// operator may not close); OperationFailed when a check or the closing
// answers a failure (nothing is committed); OutcomeUnknown when the answer
// to the closing's commit was lost and the database could not be asked
// whether it stands; AutomationError when a call cannot be made.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/cash_count.h"
#include "backoffice/session.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

namespace tovan::backoffice {

// Field names in refusals: bills, date, type, shop, client, inCust,
// invoiceType, tax, acct, dept, checkBill, count, countNote, signOff.
struct ClosingRequest {
  std::string ids;                       // a checked id list; empty: the open bills of `date`, `bill_type`, `shop`
  std::optional<automation::Date> date;  // the closing date; with no ids also the day selected
  std::string bill_type;                 // "1" sales, "2" returns, empty: as the bills are
  std::optional<std::string> shop;       // id, number or name; "all": every shop of a day together
  std::optional<int32_t> client, in_cust, dept;
  std::optional<std::string> invoice_type;  // a checked id
  std::optional<double> tax;                // percent, checked 0..100
  std::optional<std::string> acct;          // a checked name
  bool check_bill = false;
  std::optional<CashCountInput> count;  // the cash count, when the operator made one
};

// What the checks made of a request: the bills and values the closing takes.
struct ClosingPlan {
  std::string ids;
  size_t bills = 0;
  automation::Date date;
  automation::Date first_day, last_day;  // the earliest and latest bill's FDate
  std::string bill_type;  // "1" or "2"
  std::vector<int32_t> shops;
  int32_t client = 0;
  std::optional<int32_t> in_cust;  // with a check bill only
  bool in_cust_stored = false;     // taken from the operator's stored settings
  std::string invoice_type;
  double tax = 0;
};

struct ClosingResult {
  std::string message;  // "日结成功"
  ClosingPlan plan;
  int32_t daily_bill_id = 0;
  std::string daily_bill_no, stock_bill_no;
  std::optional<std::string> check_bill_no;
  std::optional<CashCount> count;  // as stored with the daily bill
};

ClosingResult RunClosing(Session& session, const ClosingRequest& request, automation::DispatchPtr events);

// The host's checks alone, in a unit that is never committed: what
// RunClosing would close, or the Refusal it would raise now, which is
// recorded as a refused closing (the dialog asks before it starts one).
ClosingPlan PlanClosing(Session& session, const ClosingRequest& request);

// The dialog's "check" button: the same checks and the component's own
// (validity, stock, tracked goods), in a unit that is never committed.
struct ClosingCheck {
  bool valid = false, stock = false, tracked = false;
  std::string valid_message, stock_message;
  std::string bill_type;  // "sales" or "returns"
  std::vector<std::string> causes;
  bool ok() const { return valid && stock && causes.empty(); }
};
ClosingCheck CheckClosing(Session& session, const ClosingRequest& request);

}  // namespace tovan::backoffice
