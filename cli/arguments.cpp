#include "cli/arguments.h"

#include <cmath>
#include <filesystem>

#include "platform/data/open.h"

namespace tovan::cli {

namespace {
bool IsPositiveId(const std::string& part) {
  return !part.empty() && part.size() <= 9 && part.find_first_not_of("0123456789") == std::string::npos &&
         std::stol(part) > 0;
}
}  // namespace

std::string IdListArgument(const std::string& option, const std::string& text) {
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!IsPositiveId(part)) throw BadInput{option + ": expected ids like 12,15,20, not: " + text};
    if (comma == std::string::npos) return text;
    start = comma + 1;
  }
}

int32_t IdArgument(const std::string& option, const std::string& text) {
  if (!IsPositiveId(text)) throw BadInput{option + ": not an id: " + text};
  return static_cast<int32_t>(std::stol(text));
}

automation::Date DateArgument(const std::string& option, const std::string& text) {
  auto date = automation::ParseDate(text);
  if (!date || date->serial != std::floor(date->serial)) throw BadInput{option + ": not a date (yyyy-mm-dd): " + text};
  return *date;
}

double NumberArgument(const std::string& option, const std::string& text) {
  auto value = automation::ParseNumber(text);
  if (!value || text.find_first_of(" \t&") != std::string::npos || !std::isfinite(*value))
    throw BadInput{option + ": not a number: " + text};
  return *value;
}

std::string BillTypeArgument(const std::string& option, const std::string& text) {
  if (text == "sales") return "1";
  if (text == "returns") return "2";
  throw BadInput{option + ": expected sales or returns, not " + text};
}

void ExistingDatabase(const std::string& data_source) {
  std::string file = data::EmbeddedPath(data_source);
  std::error_code ec;
  if (file.empty() || !std::filesystem::is_regular_file(file, ec))
    throw BadInput{"--db: no database at " + data_source + " (create one with: dailybalance init --db " + data_source + ")"};
}

}  // namespace tovan::cli
