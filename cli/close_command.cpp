// `dailybalance close`: reads the options into a closing request, runs the
// back office's closing and prints what it produced, or the refusal with the
// causes the host found, one line each, or that its outcome is unknown.
#include <iostream>

#include "backoffice/closing.h"
#include "backoffice/input_checks.h"
#include "backoffice/json_forms.h"
#include "cli/arguments.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/count_table.h"
#include "cli/json_values.h"

namespace tovan::cli {

namespace {
backoffice::ClosingRequest ReadRequest(const CloseOptions& options) {
  namespace bo = backoffice;
  bo::ClosingRequest request;
  if (options.bills.empty() && (options.date.empty() || options.type.empty()))
    throw bo::Refusal("bills", "give --bills ID,ID,... or --date D --type sales|returns");
  if (!options.bills.empty()) request.ids = IdListInput("bills", options.bills);
  if (!options.date.empty()) request.date = bo::DateArgument("date", options.date);
  if (!options.type.empty()) request.bill_type = bo::BillTypeArgument("type", options.type);
  request.shop = options.shop;
  if (options.client) request.client = bo::IdArgument("client", *options.client);
  if (options.in_cust) request.in_cust = bo::IdArgument("inCust", *options.in_cust);
  if (options.invoice_type) request.invoice_type = std::to_string(bo::IdArgument("invoiceType", *options.invoice_type));
  if (options.tax) request.tax = bo::NumberArgument("tax", *options.tax, 0, 100);
  if (options.acct) request.acct = bo::NameArgument("acct", *options.acct);
  if (options.dept) request.dept = bo::IdArgument("dept", *options.dept);
  request.check_bill = options.check_bill;
  if (!options.count.empty() || options.count_note || options.sign_off) {
    bo::CashCountInput count;
    for (const std::string& entry : options.count) count.entries.push_back(bo::CountEntryArgument("count", entry));
    if (options.count_note) count.note = bo::CountNoteArgument("countNote", *options.count_note);
    if (options.sign_off) count.sign_off = bo::CountSignOff{*options.sign_off, ReadPassword("signOff", false)};
    request.count = std::move(count);
  }
  return request;
}

void PrintResult(const backoffice::ClosingResult& r, bool json) {
  if (json) {
    std::cout << ToText(backoffice::ToJson(r)) << "\n";
    return;
  }
  std::cout << r.message << "\n"
            << "daily bill  " << r.daily_bill_no << " of " << automation::DateToText(r.plan.date) << " ("
            << r.plan.bills << " retail bills)\n"
            << "stock bill  " << r.stock_bill_no << "\n";
  if (r.check_bill_no)
    std::cout << "check bill  " << *r.check_bill_no << " to customer " << *r.plan.in_cust
              << (r.plan.in_cust_stored ? " (the stored receiving customer)" : "") << "\n";
  if (r.count) {
    std::cout << "\n";
    PrintCount(*r.count);
  }
}
}  // namespace

int RunClose(const CloseOptions& options) {
  return RunCommand(
      [&] {
        backoffice::ClosingRequest request = ReadRequest(options);
        backoffice::Session session({options.db, options.user_id, options.app_type});
        automation::DispatchPtr events = options.events ? options.events : ProgressDisplay(options.json);
        try {
          PrintResult(backoffice::RunClosing(session, request, events), options.json);
        } catch (const backoffice::OutcomeUnknown& e) {
          if (options.json) {
            std::cout << ToText(Json{{"result", "unknown"}, {"message", e.message}, {"causes", e.causes}}) << "\n";
          } else {
            std::cout << e.message << "\n";
            for (const std::string& cause : e.causes) std::cout << cause << "\n";
          }
          return kExitUnknown;
        }
        return kExitOk;
      },
      [&](const backoffice::OperationFailed& e) {
        if (options.json) {
          std::cout << ToText(Json{{"result", false}, {"message", e.message}, {"causes", e.causes}}) << "\n";
        } else {
          std::cout << e.message << "\n";
          for (const std::string& cause : e.causes) std::cout << cause << "\n";
        }
      });
}

}  // namespace tovan::cli
