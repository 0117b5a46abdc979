// `dailybalance cancel | closed | show`: the closed side of the host.
#include <iostream>

#include "backoffice/cancellation.h"
#include "backoffice/closed_days.h"
#include "backoffice/input_checks.h"
#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "cli/arguments.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "cli/table.h"

namespace tovan::cli {

namespace bo = backoffice;

namespace {
std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
  return out;
}
}  // namespace

int RunCancel(const CancelOptions& options) {
  return RunCommand([&] {
    std::string ids = IdListInput("ids", options.ids);
    bo::Session session({options.db, options.user_id, options.app_type});
    automation::DispatchPtr events = options.events ? options.events : ProgressDisplay(options.json);
    bo::CancelResult result = bo::CancelClosings(session, ids, options.reason, events);
    if (options.json) {
      std::cout << ToText(bo::ToJson(result)) << "\n";
    } else {
      for (const bo::CancelledDay& d : result.cancelled)
        std::cout << "cancelled  " << d.bill_no << " (id " << d.id << ")\n";
      for (const bo::CancelFailure& f : result.failed) {
        std::cout << "not cancelled  " << f.bill_no << " (id " << f.id << "):\n";
        for (const std::string& line : f.lines) std::cout << "  " << line << "\n";
      }
      for (const bo::CancelFailure& f : result.unknown) {
        std::cout << "outcome unknown  " << f.bill_no << " (id " << f.id << "):\n";
        for (const std::string& line : f.lines) std::cout << "  " << line << "\n";
      }
      if (result.ok()) std::cout << "反日结完成！\n";
    }
    return !result.unknown.empty() ? kExitUnknown : result.ok() ? kExitOk : kExitFailed;
  });
}

int RunClosed(const ClosedOptions& options) {
  return RunCommand([&] {
    bo::ClosedDayFilter filter;
    if (options.from) filter.from = bo::DateArgument("from", *options.from);
    if (options.to) filter.to = bo::DateArgument("to", *options.to);
    if (options.number) filter.number = bo::NumberPart(*options.number);
    filter.sql = options.filter;
    if (!filter.sql.empty() && (options.from || options.to || options.shop || options.number))
      throw bo::Refusal("filter", "give either --filter or --from, --to, --shop and --number");
    bo::Session session({options.db, 1, 2, false});
    if (options.shop) filter.shop = bo::ResolveShop(session, "shop", *options.shop).id;
    bo::ClosedDayList list = bo::ListClosedDays(session, filter);
    if (options.json) {
      std::cout << ToText(bo::ToJson(list)) << "\n";
      return kExitOk;
    }
    if (list.days.empty()) {
      std::cout << "No closed days.\n";
      return kExitOk;
    }
    Table table({">ID", "Daily bill", "Date", "Shops", ">Bills", ">Amount", "Stock bill", "Check bill", "Operator",
                 "Closed at"});
    for (const bo::ClosedDay& d : list.days)
      table.Add({std::to_string(d.id), d.bill_no, d.date, Joined(d.shops), std::to_string(d.bills), Money(d.amount),
                 OrDash(d.stock_bill_no), OrDash(d.check_bill_no), OrDash(d.operator_name), OrDash(d.closed_at)});
    table.Add({"", "total", "", "", std::to_string(list.bills), Money(list.amount)});
    table.Print(std::cout);
    return kExitOk;
  });
}

int RunShow(const ShowOptions& options) {
  return RunCommand([&] {
    int32_t id = bo::IdArgument("id", options.id);
    bo::Session session({options.db, 1, 2, false});
    bo::DayDetails details = bo::ShowDay(session, id);
    if (options.json) {
      std::cout << ToText(bo::ToJson(details)) << "\n";
      return kExitOk;
    }
    const bo::ClosedDay& d = details.day;
    std::cout << "Daily bill  " << d.bill_no << " (id " << d.id << ") of " << d.date << "\n"
              << "Shops       " << Joined(d.shops) << "\n"
              << "Closed by   " << OrDash(d.operator_name) << " at " << OrDash(d.closed_at) << "\n\n";
    Table bills({"Bill", "Date", "Type", "Shop", "Cashier", ">Amount"});
    for (const bo::DayBill& b : details.bills) bills.Add({b.bill_no, b.date, b.type, b.shop, b.cashier, Money(b.amount)});
    bills.Add({"total (" + std::to_string(details.bills.size()) + " bills)", "", "", "", "", Money(details.bills_total)});
    bills.Print(std::cout);
    if (details.stock_bill) {
      const auto& s = *details.stock_bill;
      std::cout << "\nStock bill  " << s.bill_no << " of " << s.date << "\n";
      Table lines({">#", "Item", "Unit", "Stock", "Batch", ">Qty", ">Price", ">Amount"});
      for (const bo::StockLine& l : s.lines)
        lines.Add({std::to_string(l.index), l.item_number + " " + l.item_name, l.unit, l.stock, l.batch,
                   automation::NumberToText(l.qty), Money(l.price), Money(l.amount)});
      lines.Add({"", "total", "", "", "", "", "", Money(s.total)});
      lines.Print(std::cout);
    }
    if (details.check_bill) {
      const auto& c = *details.check_bill;
      std::cout << "\nCheck bill  " << c.bill_no << " to " << c.customer_id << " " << c.customer << ": "
                << Money(c.amount) << (c.written_off ? ", written off" : ", open") << "\n";
    }
    return kExitOk;
  });
}

}  // namespace tovan::cli
