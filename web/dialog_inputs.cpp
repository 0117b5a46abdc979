#include "web/dialog_inputs.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "cli/arguments.h"

namespace tovan::web {

using cli::BadInput;

namespace {
constexpr double kMaxTaxRate = 100;

std::optional<std::string> NonEmpty(const Fields& fields, const std::string& name) {
  auto value = fields(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

bool Flag(const Fields& fields, const std::string& name) {
  auto value = NonEmpty(fields, name);
  if (!value || *value == "false" || *value == "0") return false;
  if (*value == "true" || *value == "1") return true;
  throw BadInput{name + ": expected true or false, not " + *value};
}
}  // namespace

Fields QueryFields(const std::function<bool(const std::string&)>& has,
                   const std::function<std::string(const std::string&)>& get) {
  return [has, get](const std::string& name) -> std::optional<std::string> {
    if (!has(name)) return std::nullopt;
    return get(name);
  };
}

Fields JsonFields(const std::string& body) {
  nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) throw BadInput{"the request body is not a JSON object"};
  return [parsed](const std::string& name) -> std::optional<std::string> {
    auto it = parsed.find(name);
    if (it == parsed.end() || it->is_null()) return std::nullopt;
    if (it->is_string()) return it->get<std::string>();
    if (it->is_boolean()) return std::string(it->get<bool>() ? "true" : "false");
    if (it->is_number_integer()) return std::to_string(it->get<int64_t>());
    if (it->is_number()) return it->dump();
    if (it->is_array()) {
      std::string joined;
      for (const auto& e : *it) {
        if (!e.is_number_integer() && !e.is_string()) throw BadInput{name + ": expected a list of ids"};
        joined += (joined.empty() ? "" : ",") + (e.is_string() ? e.get<std::string>() : std::to_string(e.get<int64_t>()));
      }
      return joined;
    }
    throw BadInput{name + ": unexpected value"};
  };
}

int32_t ReadId(const std::string& field, const std::string& text) { return cli::IdArgument(field, text); }

BillFilter ReadBillFilter(const Fields& fields) {
  BillFilter filter;
  if (auto v = NonEmpty(fields, "from")) filter.from = cli::DateArgument("from", *v);
  if (auto v = NonEmpty(fields, "to")) filter.to = cli::DateArgument("to", *v);
  if (filter.from.serial > filter.to.serial) throw BadInput{"from: the first day is after the last"};
  if (auto v = NonEmpty(fields, "type")) filter.type = cli::BillTypeArgument("type", *v);
  if (auto v = NonEmpty(fields, "shop")) filter.shop = cli::IdArgument("shop", *v);
  return filter;
}

ClosedFilter ReadClosedFilter(const Fields& fields) {
  ClosedFilter filter;
  if (auto v = NonEmpty(fields, "from")) filter.from = cli::DateArgument("from", *v);
  if (auto v = NonEmpty(fields, "to")) filter.to = cli::DateArgument("to", *v);
  if (auto v = NonEmpty(fields, "number")) {
    bool word = v->size() <= 40 && std::all_of(v->begin(), v->end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c));
    });
    if (!word) throw BadInput{"number: letters and digits only, at most 40: " + *v};
    filter.number = *v;
  }
  return filter;
}

std::string ReadIds(const Fields& fields, size_t max_ids) {
  auto v = NonEmpty(fields, "ids");
  if (!v) throw BadInput{"ids: no bills given"};
  std::string ids = cli::IdListArgument("ids", *v);
  if (static_cast<size_t>(std::count(ids.begin(), ids.end(), ',')) + 1 > max_ids)
    throw BadInput{"ids: more than " + std::to_string(max_ids) + " ids"};
  return ids;
}

CheckRequest ReadCheckRequest(const Fields& fields) {
  CheckRequest request;
  request.ids = ReadIds(fields, 100000);
  if (auto v = NonEmpty(fields, "invoiceType")) request.invoice_type = std::to_string(cli::IdArgument("invoiceType", *v));
  if (auto v = NonEmpty(fields, "tax")) request.tax = cli::NumberArgument("tax", *v, 0, kMaxTaxRate);
  if (auto v = NonEmpty(fields, "client")) request.client = std::to_string(cli::IdArgument("client", *v));
  request.check_bill = Flag(fields, "checkBill");
  if (auto v = NonEmpty(fields, "inCust")) request.in_cust = std::to_string(cli::IdArgument("inCust", *v));
  return request;
}

cli::ClosingInput ReadClosingInput(const Fields& fields) {
  cli::ClosingInput input;
  input.ids = ReadIds(fields, 100000);
  auto date = NonEmpty(fields, "date");
  if (!date) throw BadInput{"date: the closing date is required"};
  input.date = cli::DateArgument("date", *date);
  auto client = NonEmpty(fields, "client");
  if (!client) throw BadInput{"client: the customer is required"};
  input.client = std::to_string(cli::IdArgument("client", *client));
  if (auto v = NonEmpty(fields, "invoiceType")) input.invoice_type = std::to_string(cli::IdArgument("invoiceType", *v));
  if (auto v = NonEmpty(fields, "tax")) {
    cli::NumberArgument("tax", *v, 0, kMaxTaxRate);
    input.tax = *v;
  }
  if (auto v = NonEmpty(fields, "acct")) input.acct = cli::NameArgument("acct", *v);
  input.check_bill = Flag(fields, "checkBill");
  if (auto v = NonEmpty(fields, "inCust")) input.in_cust = std::to_string(cli::IdArgument("inCust", *v));
  if (input.check_bill && !input.in_cust) throw BadInput{"inCust: a check bill needs the receiving customer"};
  if (auto v = NonEmpty(fields, "dept")) input.dept = std::to_string(cli::IdArgument("dept", *v));
  return input;
}

}  // namespace tovan::web
