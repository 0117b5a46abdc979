// The master data an operator picks from, read for both front ends: shops,
// customers (the customer tree, one customer's details), settlement
// accounts, the operator's stored closing settings, and what a selection of
// bills adds up to.  Customers, accounts and settings come through the
// component's lookups, as the host's dialog reads them.
//
// Errors: Refusal for a value the data refutes (an unknown shop or
// customer); AutomationError when the database cannot be read.
//
// Thread-safety: the calling thread's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/session.h"

namespace tovan::backoffice {

struct Shop {
  int32_t id = 0;
  std::string number, name;
};
std::vector<Shop> ListShops(Session& session);
// A shop by id ("2"), number ("002") or name ("东城店").
Shop ResolveShop(Session& session, const std::string& field, const std::string& text);

struct CustomerNode {
  int32_t id = 0;
  std::string number, name;
  int level = 1;
  bool is_customer = false;  // a leaf of the tree; headings group customers
};
std::vector<CustomerNode> ListCustomers(Session& session);

struct CustomerDetail {
  int32_t id = 0;
  std::string name, contact, phone, fax, tax_rate;
};
CustomerDetail ReadCustomer(Session& session, const std::string& field, int32_t id);
// Raises Refusal (`field`) unless `id` names a customer, not a group heading
// or anything else.
void CheckCustomer(Session& session, const std::string& field, int32_t id);

struct Account {
  int32_t id = 0;
  std::string number, name;
};
std::vector<Account> ListAccounts(Session& session);

// The operator's stored closing settings; empty where none is stored.
struct ClosingSettings {
  std::string client, invoice_type, tax_rate, in_cust, account;
};
ClosingSettings ReadClosingSettings(Session& session);

// What the selected bills add up to, as the closing will see it.
struct SelectionTotals {
  struct Method {
    int32_t id = 0;
    std::string name;
    double amount = 0;
  };
  struct Day {
    std::string date;
    int bills = 0;
    double amount = 0;
  };
  std::vector<Method> methods;     // the settlement methods the closing books
  double deductible = 0;           // the part taken off the goods lines (gift vouchers, cards, points)
  std::vector<Day> days;
  double total = 0;
};
// `ids` is a checked id list.
SelectionTotals TotalSelection(Session& session, const std::string& ids);

}  // namespace tovan::backoffice
