// `dailybalance close`: checks the options, then runs the closing as the
// host's closing dialog does (cli/closing_dialog.h) and prints its report,
// or the refusal with the causes the host found, one line each.
#include <cmath>
#include <iostream>

#include "cli/arguments.h"
#include "cli/closing_dialog.h"
#include "cli/commands.h"
#include "cli/host_session.h"
#include "cli/json_values.h"
#include "platform/automation/error.h"

namespace tovan::cli {

namespace {
// A tax rate is a percentage.
constexpr double kMaxTaxRate = 100;
}  // namespace

int RunClose(const CloseOptions& options) {
  std::unique_ptr<HostSession> session;
  std::string ids, bill_type_filter;
  automation::Date date = automation::Date{std::floor(automation::Date::Now().serial)};
  try {
    // --bills names the bills (with --date as the closing date); without it,
    // --date and --type select the day's open bills.
    if (options.bills.empty() && (options.date.empty() || options.type.empty()))
      throw BadInput{"give --bills ID,ID,... or --date D --type sales|returns"};
    if (!options.bills.empty()) ids = IdListInput("--bills", options.bills);
    if (!options.date.empty()) date = DateArgument("--date", options.date);
    if (!options.type.empty()) bill_type_filter = BillTypeArgument("--type", options.type);
    if (options.client) IdArgument("--client", *options.client);
    if (options.in_cust) IdArgument("--in-cust", *options.in_cust);
    if (options.invoice_type) IdArgument("--invoice-type", *options.invoice_type);
    if (options.tax) NumberArgument("--tax", *options.tax, 0, kMaxTaxRate);
    if (options.acct) NameArgument("--acct", *options.acct);
    if (options.dept) IdArgument("--dept", *options.dept);
    session = std::make_unique<HostSession>(HostSessionOptions{options.db, static_cast<int16_t>(options.user_id), options.app_type});
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  } catch (const automation::AutomationError& e) {
    PrintError(e.description());
    return kExitFailed;
  }

  ClosingReport report;
  try {
    ClosingInput input{ids, date, bill_type_filter, options.client, options.invoice_type, options.tax,
                       options.acct, options.in_cust, options.dept, options.check_bill};
    automation::DispatchPtr events = options.events ? options.events : session->ProgressDisplay(options.json);
    report = RunClosing(*session, input, events);
  } catch (const BadInput& e) {
    PrintError(e.message);
    return kExitBadInput;
  } catch (const ClosingRefusal& e) {
    if (options.json) {
      std::cout << ToText(Json{{"result", false}, {"message", e.message}, {"causes", e.causes}}) << "\n";
    } else {
      std::cout << e.message << "\n";
      for (const std::string& cause : e.causes) std::cout << cause << "\n";
    }
    return kExitFailed;
  } catch (const automation::AutomationError& e) {
    PrintError(e.source() + ": " + e.description());
    return kExitFailed;
  }
  if (options.json) {
    Json out{{"result", true},
             {"message", report.message},
             {"dailyBillId", report.daily_bill_id},
             {"dailyBillNo", report.daily_bill_no},
             {"stockBillNo", report.stock_bill_no},
             {"checkBillNo", report.check_bill_no ? Json(*report.check_bill_no) : Json(nullptr)},
             {"retailBills", report.retail_bills}};
    std::cout << ToText(out) << "\n";
  } else {
    std::cout << report.message << "\n"
              << "daily bill  " << report.daily_bill_no << " (" << report.retail_bills << " retail bills)\n"
              << "stock bill  " << report.stock_bill_no << "\n";
    if (report.check_bill_no) std::cout << "check bill  " << *report.check_bill_no << "\n";
  }
  return kExitOk;
}

}  // namespace tovan::cli
