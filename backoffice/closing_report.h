// The closing report (日结报表) of one daily bill: who closed which shops'
// bills of which day, the figures of those bills by settlement method, shop
// and cashier, the tax, the stock and check bills the closing produced, the
// cash count made at closing, and
// how every total reconciles with the others.  Where two totals differ
// (methods the closing leaves out, bills not settled in full, rounding,
// discounts, the deducted methods, the entry that takes the rounding), a
// line of its own names the difference, computed from the data.
//
// Errors: Refusal ("id") when no daily bill `id` stands; AutomationError
// when the database cannot be read.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backoffice/cash_count.h"
#include "backoffice/closed_days.h"
#include "backoffice/session.h"

namespace tovan::backoffice {

struct ClosingReport {
  DayDetails day;  // header, bills, stock bill lines, check bill
  int sales_bills = 0, return_bills = 0;

  struct Method {
    int32_t id = 0;
    std::string name;
    double amount = 0;
    int bills = 0;
    // How the closing treats it: "stock" (the stock bill takes it), "deducted"
    // (taken off the goods lines) or "left out".
    std::string role;
  };
  std::vector<Method> methods;  // every method the bills were settled by, by id
  double settled = 0;           // all of them

  struct Subtotal {
    int32_t id = 0;
    std::string name;
    int bills = 0;
    double amount = 0;
  };
  std::vector<Subtotal> shops, cashiers;

  std::string invoice_type;  // "2020" tax-inclusive, "2021" ordinary
  double tax_rate = 0;       // percent, as the closing was given it
  double stock_in_tax = 0, stock_net = 0, stock_tax = 0;

  // One line of a reconciliation: a label and its amount; a chain of them
  // adds up to its last line, the total it explains.
  struct Line {
    std::string label;
    double amount = 0;
    bool total = false;  // a total the lines above it add up to
  };
  std::vector<Line> bills_to_settlement;  // the bills' total, as the methods and the gaps make it up
  std::vector<Line> goods_to_stock_bill;  // the goods lines, to the stock bill's total

  std::optional<CashCount> count;  // the cash count made at closing, if one was
};

ClosingReport ReportClosing(Session& session, int32_t daily_bill_id);

}  // namespace tovan::backoffice
