// The open retail bills an operator chooses from: the bills not yet closed,
// filtered by business days, type and shop, in date then id order on every
// database.
//
// Errors: Refusal for a filter that cannot hold (a reversed range);
// AutomationError when the database cannot be read.
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

struct OpenBillFilter {
  std::optional<automation::Date> from, to;  // whole days, inclusive
  std::string type;                          // "1" sales, "2" returns, empty: both
  int32_t shop = 0;                          // 0: every shop
};
// Raises Refusal ("from") when `from` is after `to`.
void CheckRange(const std::optional<automation::Date>& from, const std::optional<automation::Date>& to);

struct OpenBill {
  int32_t id = 0;
  std::string bill_no, date;  // date yyyy-mm-dd
  std::string type;           // "sales" or "returns"
  int32_t shop_id = 0;
  std::string shop, cashier;
  double amount = 0;
};

struct OpenBillList {
  std::vector<OpenBill> bills;
  double total = 0;
};

OpenBillList ListOpenBills(Session& session, const OpenBillFilter& filter);

}  // namespace tovan::backoffice
