// `dailybalance open`: the open retail bills of a filter, as a table or JSON.
#include <iostream>

#include "backoffice/input_checks.h"
#include "backoffice/json_forms.h"
#include "backoffice/lookups.h"
#include "backoffice/open_bills.h"
#include "cli/arguments.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/json_values.h"
#include "cli/table.h"

namespace tovan::cli {

namespace bo = backoffice;

int RunOpen(const OpenBillsOptions& options) {
  return RunCommand([&] {
    bo::OpenBillFilter filter;
    if (options.from) filter.from = bo::DateArgument("from", *options.from);
    if (options.to) filter.to = bo::DateArgument("to", *options.to);
    bo::CheckRange(filter.from, filter.to);
    if (options.type) filter.type = bo::BillTypeArgument("type", *options.type);
    bo::Session session({options.db, 1, 2, false});
    if (options.shop) filter.shop = bo::ResolveShop(session, "shop", *options.shop).id;
    bo::OpenBillList list = bo::ListOpenBills(session, filter);
    if (options.json) {
      std::cout << ToText(bo::ToJson(list)) << "\n";
      return kExitOk;
    }
    if (list.bills.empty()) {
      std::cout << "No open retail bills.\n";
      return kExitOk;
    }
    Table table({">ID", "Bill", "Date", "Type", "Shop", "Cashier", ">Amount"});
    for (const bo::OpenBill& b : list.bills)
      table.Add({std::to_string(b.id), b.bill_no, b.date, b.type, b.shop, b.cashier, Money(b.amount)});
    table.Add({"", std::to_string(list.bills.size()) + (list.bills.size() == 1 ? " bill" : " bills"), "", "", "", "total",
               Money(list.total)});
    table.Print(std::cout);
    return kExitOk;
  });
}

}  // namespace tovan::cli
