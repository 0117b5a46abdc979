#include "backoffice/input_checks.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace tovan::backoffice {

namespace {
bool IsPositiveId(const std::string& part) {
  return !part.empty() && part.size() <= 9 && part.find_first_not_of("0123456789") == std::string::npos &&
         std::stol(part) > 0;
}
}  // namespace

std::string IdListArgument(const std::string& field, const std::string& text) {
  size_t start = 0;
  for (size_t position = 1;; ++position) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!IsPositiveId(part)) {
      // A list of a whole day would make a message nobody reads: name the part instead.
      constexpr size_t kShown = 120;
      if (text.size() <= kShown) throw Refusal(field, "expected ids like 12,15,20, not: " + text);
      throw Refusal(field, "expected ids like 12,15,20; part " + std::to_string(position) +
                               " is not an id: " + part.substr(0, kShown));
    }
    if (comma == std::string::npos) return text;
    start = comma + 1;
  }
}

std::vector<std::string> SplitIds(const std::string& ids) {
  std::vector<std::string> out;
  for (size_t start = 0; start < ids.size();) {
    size_t comma = ids.find(',', start);
    if (comma == std::string::npos) comma = ids.size();
    out.push_back(ids.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

size_t IdCount(const std::string& ids) {
  return ids.empty() ? 0 : static_cast<size_t>(std::count(ids.begin(), ids.end(), ',')) + 1;
}

int32_t IdArgument(const std::string& field, const std::string& text) {
  if (!IsPositiveId(text)) throw Refusal(field, "not an id: " + text);
  return static_cast<int32_t>(std::stol(text));
}

automation::Date DateArgument(const std::string& field, const std::string& text) {
  // Exactly yyyy-mm-dd: a time of day or another form is not a business day.
  bool shaped = text.size() == 10 && text[4] == '-' && text[7] == '-';
  for (size_t i = 0; shaped && i < text.size(); ++i)
    if (i != 4 && i != 7) shaped = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
  auto date = shaped ? automation::ParseDate(text) : std::nullopt;
  if (!date || date->serial != std::floor(date->serial)) throw Refusal(field, "not a date (yyyy-mm-dd): " + text);
  return *date;
}

double NumberArgument(const std::string& field, const std::string& text) {
  auto value = automation::ParseNumber(text);
  if (!value || text.find_first_of(" \t&eEdD") != std::string::npos || !std::isfinite(*value))
    throw Refusal(field, "not a number: " + text);
  return *value;
}

double NumberArgument(const std::string& field, const std::string& text, double low, double high) {
  double value = NumberArgument(field, text);
  if (value < low || value > high)
    throw Refusal(field, text + " is out of range (" + automation::NumberToText(low) + " to " +
                             automation::NumberToText(high) + ")");
  return value;
}

std::string NameArgument(const std::string& field, const std::string& text, size_t max_bytes) {
  bool control = std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (text.empty() || text.size() > max_bytes || control || text.find('\'') != std::string::npos)
    throw Refusal(field, "not a name (no quotes or control characters, at most " + std::to_string(max_bytes) +
                             " bytes): " + text);
  return text;
}

std::string WordArgument(const std::string& field, const std::string& text) {
  bool word = !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
  if (!word) throw Refusal(field, "not a word of letters, digits and underscores: " + text);
  return text;
}

std::string BillTypeArgument(const std::string& field, const std::string& text) {
  if (text == "sales") return "1";
  if (text == "returns") return "2";
  throw Refusal(field, "expected sales or returns, not " + text);
}

std::string NameSome(const std::vector<std::string>& values, size_t shown) {
  std::string out;
  for (size_t i = 0; i < values.size() && i < shown; ++i) out += (i > 0 ? ", " : "") + values[i];
  if (values.size() > shown) out += " and " + std::to_string(values.size() - shown) + " more";
  return out;
}

}  // namespace tovan::backoffice
