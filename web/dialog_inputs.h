// The dialog's request fields, checked as the command line checks its
// options before anything reaches the component: ids, dates, numbers,
// names, bill types.  A field that fails raises cli::BadInput with a
// one-line message naming it (answered as HTTP 400).
//
// Thread-safety: pure functions.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/closing_dialog.h"
#include "web/dialog_service.h"

namespace tovan::web {

// A field by name, absent as nullopt: a query parameter or a JSON member.
using Fields = std::function<std::optional<std::string>(const std::string& name)>;

Fields QueryFields(const std::function<bool(const std::string&)>& has,
                   const std::function<std::string(const std::string&)>& get);
// Members of a JSON object body; strings, numbers and booleans as text, an
// array of ids joined by ",".  Raises BadInput for a body that is not one.
Fields JsonFields(const std::string& body);

BillFilter ReadBillFilter(const Fields& fields);
ClosedFilter ReadClosedFilter(const Fields& fields);
// "ids": a list of positive ids, at most `max_ids`.
std::string ReadIds(const Fields& fields, size_t max_ids);
CheckRequest ReadCheckRequest(const Fields& fields);
cli::ClosingInput ReadClosingInput(const Fields& fields);
int32_t ReadId(const std::string& field, const std::string& text);

}  // namespace tovan::web
