#include "web/dialog_inputs.h"

#include <nlohmann/json.hpp>

#include "backoffice/input_checks.h"

namespace tovan::web {

namespace bo = backoffice;
using bo::Refusal;

namespace {
// The JSON body may nest no deeper than this (a selection and its options are
// flat): a parser that recurses per level must never meet a hostile depth.
constexpr int kMaxDepth = 64;

std::optional<std::string> NonEmpty(const Fields& fields, const std::string& name) {
  auto value = fields(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

bool Flag(const Fields& fields, const std::string& name) {
  auto value = NonEmpty(fields, name);
  if (!value || *value == "false" || *value == "0") return false;
  if (*value == "true" || *value == "1") return true;
  throw Refusal(name, "expected true or false, not " + *value);
}

std::optional<automation::Date> DateField(const Fields& fields, const std::string& name) {
  if (auto v = NonEmpty(fields, name)) return bo::DateArgument(name, *v);
  return std::nullopt;
}
}  // namespace

Fields JsonFields(const std::string& body) {
  // Depth is counted before parsing, so a hostile body never becomes a deep tree.
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxDepth) throw Refusal("", "the request body nests deeper than " + std::to_string(kMaxDepth));
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) throw Refusal("", "the request body is not a JSON object");
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
        if (!e.is_number_integer() && !e.is_string()) throw Refusal(name, "expected a list of ids");
        joined += (joined.empty() ? "" : ",") + (e.is_string() ? e.get<std::string>() : std::to_string(e.get<int64_t>()));
      }
      return joined;
    }
    throw Refusal(name, "unexpected value");
  };
}

int32_t ReadId(const std::string& field, const std::string& text) { return bo::IdArgument(field, text); }

BillFilterFields ReadBillFilter(const Fields& fields) {
  BillFilterFields out;
  out.filter.from = DateField(fields, "from");
  out.filter.to = DateField(fields, "to");
  bo::CheckRange(out.filter.from, out.filter.to);
  if (auto v = NonEmpty(fields, "type")) out.filter.type = bo::BillTypeArgument("type", *v);
  out.shop = NonEmpty(fields, "shop");
  return out;
}

ClosedFilterFields ReadClosedFilter(const Fields& fields) {
  ClosedFilterFields out;
  out.filter.from = DateField(fields, "from");
  out.filter.to = DateField(fields, "to");
  bo::CheckRange(out.filter.from, out.filter.to);
  if (auto v = NonEmpty(fields, "number")) out.filter.number = bo::NumberPart(*v);
  out.shop = NonEmpty(fields, "shop");
  return out;
}

AuditFilterFields ReadAuditFilter(const Fields& fields) {
  AuditFilterFields out;
  out.filter.from = DateField(fields, "from");
  out.filter.to = DateField(fields, "to");
  bo::CheckRange(out.filter.from, out.filter.to);
  if (auto v = NonEmpty(fields, "user")) out.filter.user = bo::IdArgument("user", *v);
  out.shop = NonEmpty(fields, "shop");
  return out;
}

std::string ReadIds(const Fields& fields, size_t max_ids) {
  auto v = NonEmpty(fields, "ids");
  if (!v) throw Refusal("ids", "no bills given");
  std::string ids = bo::IdListArgument("ids", *v);
  if (bo::IdCount(ids) > max_ids) throw Refusal("ids", "more than " + std::to_string(max_ids) + " ids");
  return ids;
}

bo::ClosingRequest ReadClosingRequest(const Fields& fields) {
  bo::ClosingRequest request;
  request.ids = ReadIds(fields, 100000);
  request.date = DateField(fields, "date");
  request.shop = NonEmpty(fields, "shop");
  if (auto v = NonEmpty(fields, "client")) request.client = bo::IdArgument("client", *v);
  if (auto v = NonEmpty(fields, "invoiceType")) request.invoice_type = std::to_string(bo::IdArgument("invoiceType", *v));
  if (auto v = NonEmpty(fields, "tax")) request.tax = bo::NumberArgument("tax", *v, 0, 100);
  if (auto v = NonEmpty(fields, "acct")) request.acct = bo::NameArgument("acct", *v);
  request.check_bill = Flag(fields, "checkBill");
  if (auto v = NonEmpty(fields, "inCust")) request.in_cust = bo::IdArgument("inCust", *v);
  if (auto v = NonEmpty(fields, "dept")) request.dept = bo::IdArgument("dept", *v);
  // The count: entries "METHOD=AMOUNT" (methods by id), a note, a sign-off.
  auto count = NonEmpty(fields, "count");
  auto note = NonEmpty(fields, "countNote");
  auto sign_off = NonEmpty(fields, "signOffUser");
  if (count || note || sign_off) {
    bo::CashCountInput input;
    for (size_t start = 0; count && start <= count->size();) {
      const size_t comma = count->find(',', start);
      input.entries.push_back(bo::CountEntryArgument("count", count->substr(start, comma - start)));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (input.entries.size() > 100) throw Refusal("count", "more than 100 counted methods");
    if (note) input.note = bo::CountNoteArgument("countNote", *note);
    if (sign_off) {
      const std::string password = fields("signOffPassword").value_or("");
      if (password.empty() || password.size() > 1024) throw Refusal("signOff", "the supervisor's password");
      input.sign_off = bo::CountSignOff{bo::NameArgument("signOff", *sign_off), password};
    }
    request.count = std::move(input);
  }
  return request;
}

}  // namespace tovan::web
