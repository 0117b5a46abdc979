// The closing as the host's closing dialog runs it, shared by `close` and
// the browser dialog: balance amounts, selection validity, stock check,
// settlement records, the host's own look for causes of failure, then the
// closing, all in one host unit of work so that two closings of the same
// bills cannot both pass the checks; committed only when the closing
// answered True and its last vote was SetComplete.
//
// Errors: BadInput for input the host refuses, ClosingRefusal when a check
// or the closing answers a failure (nothing is committed), AutomationError
// when a call cannot be made.
//
// Thread-safety: the calling thread's host context (HostSession).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/host_session.h"
#include "host/host_database.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

namespace tovan::cli {

struct ClosingInput {
  std::string ids;  // validated id list; empty: the open bills of `date` of `bill_type_filter`
  automation::Date date;
  std::string bill_type_filter;  // "1", "2" or empty
  std::optional<std::string> client, invoice_type, tax, acct, in_cust, dept;
  bool check_bill = false;
};

// The refusal's message is the component's (or the host's) line; `causes`
// are what the host found in the data, one line each.
struct ClosingRefusal {
  std::string message;
  std::vector<std::string> causes;
};

struct ClosingReport {
  std::string message;  // "日结成功"
  int32_t daily_bill_id = 0;
  std::string daily_bill_no, stock_bill_no;
  std::optional<std::string> check_bill_no;
  int retail_bills = 0;
};

// Brings the balance amounts of the open bills among `ids` (a checked id
// list) up to date: UpdateBalAmount narrowed to their days and, when they
// are of one shop, to that shop, so that closings of different shops write
// different lines.  True without a call when none of them is open; false
// when the member answered a failure.
bool UpdateSelectionBalances(const automation::DispatchPtr& data, hostlib::HostDatabase& db,
                             const std::string& data_source, const std::string& ids);

// The option's own checks (ids, numbers, names) are the caller's; this
// checks what needs the database (known customers, the account's name).
ClosingReport RunClosing(const HostSession& session, const ClosingInput& input, automation::DispatchPtr events);

}  // namespace tovan::cli
