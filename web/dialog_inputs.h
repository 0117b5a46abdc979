// The dialog's request fields, read into the back office's requests and
// checked as the command line checks its options, before anything reaches
// the database: ids, dates, numbers, names, bill types.  A field that fails
// raises backoffice::Refusal naming it (answered as HTTP 400).
//
// Thread-safety: pure functions.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "backoffice/audit.h"
#include "backoffice/closed_days.h"
#include "backoffice/closing.h"
#include "backoffice/open_bills.h"

namespace tovan::web {

// A field by name, absent as nullopt: a query parameter or a JSON member.
using Fields = std::function<std::optional<std::string>(const std::string& name)>;

// Members of a JSON object body; strings, numbers and booleans as text, an
// array of ids joined by ",".  Raises Refusal for a body that is not one.
Fields JsonFields(const std::string& body);

// The shop stays text: the back office resolves it (id, number or name).
struct BillFilterFields {
  backoffice::OpenBillFilter filter;
  std::optional<std::string> shop;
};
BillFilterFields ReadBillFilter(const Fields& fields);
struct ClosedFilterFields {
  backoffice::ClosedDayFilter filter;
  std::optional<std::string> shop;
};
ClosedFilterFields ReadClosedFilter(const Fields& fields);
struct AuditFilterFields {
  backoffice::AuditFilter filter;
  std::optional<std::string> shop;
};
AuditFilterFields ReadAuditFilter(const Fields& fields);
// "ids": a list of positive ids, at most `max_ids`.
std::string ReadIds(const Fields& fields, size_t max_ids);
backoffice::ClosingRequest ReadClosingRequest(const Fields& fields);
int32_t ReadId(const std::string& field, const std::string& text);

}  // namespace tovan::web
