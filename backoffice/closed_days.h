// The closed days: each daily bill with what its closing produced (the
// stock bill, the check bill), its shops, bills and amount, who closed it
// and when; and one day in full.  Listed newest first, in the same order on
// every database.
//
// Errors: Refusal for a filter the database does not accept or a daily bill
// that does not stand; AutomationError when the database cannot be read.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/session.h"
#include "platform/automation/variant.h"

namespace tovan::backoffice {

struct ClosedDayFilter {
  std::optional<automation::Date> from, to;  // business days, inclusive
  int32_t shop = 0;                          // 0: every shop
  std::string number;                        // part of the daily bill's number: letters and digits
  std::string sql;                           // the host's own SQL condition on b (daily bill) and be (entry)
};
// Raises Refusal ("number") unless `text` is at most 40 letters and digits.
std::string NumberPart(const std::string& text);

struct ClosedDay {
  int32_t id = 0;
  std::string bill_no, date;  // date yyyy-mm-dd
  std::vector<std::string> shops;
  int bills = 0;
  double amount = 0;
  std::string stock_bill_no, check_bill_no;  // empty: none
  int32_t operator_id = 0;
  std::string operator_name;
  std::string closed_at;  // yyyy-mm-dd hh:mm:ss; empty when not recorded
};

struct ClosedDayList {
  std::vector<ClosedDay> days;
  int bills = 0;
  double amount = 0;
};
ClosedDayList ListClosedDays(Session& session, const ClosedDayFilter& filter);

struct DayBill {
  int32_t id = 0;
  std::string bill_no, date, type, shop, cashier;
  double amount = 0;
};

struct StockLine {
  int index = 0;
  std::string item_number, item_name, unit, stock, batch;
  double qty = 0, price = 0, amount = 0;
};

struct DayDetails {
  ClosedDay day;
  std::vector<DayBill> bills;
  double bills_total = 0;
  struct StockBill {
    std::string bill_no, date;
    std::vector<StockLine> lines;
    double total = 0;
  };
  std::optional<StockBill> stock_bill;
  struct CheckBill {
    std::string bill_no, customer;
    int32_t customer_id = 0;
    double amount = 0;
    bool written_off = false;
  };
  std::optional<CheckBill> check_bill;
};
// Raises Refusal ("id") when no daily bill `id` stands.
DayDetails ShowDay(Session& session, int32_t id);

}  // namespace tovan::backoffice
