// `dailybalance cancel | closed | show`: the closed side of the host.
#include <iostream>

#include "backoffice/cancellation.h"
#include "backoffice/closed_days.h"
#include "backoffice/closing_report.h"
#include "backoffice/input_checks.h"
#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "cli/arguments.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/count_table.h"
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

namespace {
// A reconciliation: its lines, and its total under a rule.
void PrintChain(const std::string& title, const std::vector<bo::ClosingReport::Line>& chain) {
  if (chain.empty()) return;
  std::cout << "\n" << title << "\n";
  Table table({"", ">Amount"});
  for (const auto& line : chain) {
    if (line.total) table.Add({std::string(8, '-'), "----------"});
    table.Add({line.label, Money(line.amount)});
  }
  table.Print(std::cout);
}

void PrintReport(const bo::ClosingReport& r) {
  const bo::ClosedDay& d = r.day.day;
  std::cout << "日结报表  " << d.bill_no << " of " << d.date << "\n"
            << "Shops        " << Joined(d.shops) << "\n"
            << "Closed by    " << OrDash(d.operator_name) << " at " << OrDash(d.closed_at) << "\n"
            << "Bills        " << r.sales_bills << " sales, " << r.return_bills << " returns, "
            << Money(r.day.bills_total) << "\n"
            << "Invoice      "
            << (r.invoice_type == "2020" ? "2020 tax-inclusive, tax rate " + automation::NumberToText(r.tax_rate) +
                                               "%, tax " + Money(r.stock_tax) + " on " + Money(r.stock_net) + " net"
                                         : "2021 ordinary, no tax")
            << "\n\n";
  Table methods({"Settlement method", ">Bills", ">Amount", "In the closing"});
  for (const auto& m : r.methods) methods.Add({m.name, std::to_string(m.bills), Money(m.amount), m.role});
  methods.Add({"settled in all", "", Money(r.settled), ""});
  methods.Print(std::cout);
  for (const auto* group : {&r.shops, &r.cashiers}) {
    std::cout << "\n";
    Table table({group == &r.shops ? "Shop" : "Cashier", ">Bills", ">Amount"});
    for (const auto& s : *group) table.Add({s.name.empty() ? std::to_string(s.id) : s.name, std::to_string(s.bills), Money(s.amount)});
    table.Print(std::cout);
  }
  PrintChain("The bills' total, settled", r.bills_to_settlement);
  PrintChain("The goods lines, to the stock bill", r.goods_to_stock_bill);
  std::cout << "\n";
  if (r.count) {
    PrintCount(*r.count);
  } else {
    std::cout << "No cash count was made at closing.\n";
  }
}

// A day's retail bills, its stock bill's lines and its check bill.
void PrintDetails(const bo::DayDetails& details) {
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
}
}  // namespace

int RunShow(const ShowOptions& options) {
  return RunCommand([&] {
    int32_t id = bo::IdArgument("id", options.id);
    bo::Session session({options.db, 1, 2, false});
    if (options.report) {
      bo::ClosingReport report = bo::ReportClosing(session, id);
      if (options.json) {
        std::cout << ToText(bo::ToJson(report)) << "\n";
        return kExitOk;
      }
      PrintReport(report);
      std::cout << "\n";
      PrintDetails(report.day);
      return kExitOk;
    }
    bo::DayDetails details = bo::ShowDay(session, id);
    if (options.json) {
      std::cout << ToText(bo::ToJson(details)) << "\n";
      return kExitOk;
    }
    const bo::ClosedDay& d = details.day;
    std::cout << "Daily bill  " << d.bill_no << " (id " << d.id << ") of " << d.date << "\n"
              << "Shops       " << Joined(d.shops) << "\n"
              << "Closed by   " << OrDash(d.operator_name) << " at " << OrDash(d.closed_at) << "\n\n";
    PrintDetails(details);
    return kExitOk;
  });
}

}  // namespace tovan::cli
