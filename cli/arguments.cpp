#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/data/open.h"
#include "platform/data/connection.h"
#include "platform/automation/error.h"

namespace tovan::cli {

namespace {
bool IsPositiveId(const std::string& part) {
  return !part.empty() && part.size() <= 9 && part.find_first_not_of("0123456789") == std::string::npos &&
         std::stol(part) > 0;
}
}  // namespace

std::string IdListArgument(const std::string& option, const std::string& text) {
  size_t start = 0;
  for (size_t position = 1;; ++position) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!IsPositiveId(part)) {
      // A list of a whole day would make a message nobody reads: name the part instead.
      constexpr size_t kShown = 120;
      if (text.size() <= kShown) throw BadInput{option + ": expected ids like 12,15,20, not: " + text};
      throw BadInput{option + ": expected ids like 12,15,20; part " + std::to_string(position) +
                     " is not an id: " + part.substr(0, kShown)};
    }
    if (comma == std::string::npos) return text;
    start = comma + 1;
  }
}

std::string ArgumentFile(const std::string& option, const std::string& text) {
  // Far more than a day of any chain; a larger file is a mistake, not a list.
  constexpr std::streamsize kMaxBytes = 64 << 20;
  std::string name = text.substr(1);
  std::string content;
  std::ifstream file;
  std::istream* in = &std::cin;
  if (name != "-") {
    std::error_code ec;
    if (name.empty() || !std::filesystem::is_regular_file(name, ec))
      throw BadInput{option + ": no file " + (name.empty() ? std::string("named after @") : name)};
    file.open(name, std::ios::binary);
    in = &file;
  }
  char buffer[1 << 16];
  while (*in) {
    in->read(buffer, sizeof buffer);
    content.append(buffer, static_cast<size_t>(in->gcount()));
    if (static_cast<std::streamsize>(content.size()) > kMaxBytes)
      throw BadInput{option + ": " + (name == "-" ? std::string("standard input") : name) + " holds more than 64 MiB"};
  }
  if (in->bad()) throw BadInput{option + ": cannot read " + (name == "-" ? std::string("standard input") : name)};
  return content;
}

std::string IdListInput(const std::string& option, const std::string& text) {
  if (text != "-" && (text.empty() || text[0] != '@')) return IdListArgument(option, text);
  std::string content = ArgumentFile(option, text == "-" ? "@-" : text);
  // One id per line or comma-separated, with or without a final line end.
  std::string ids;
  ids.reserve(content.size());
  for (size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
    ids.push_back(c == '\n' ? ',' : c);
  }
  if (!ids.empty() && ids.back() == ',' && content.back() == '\n') ids.pop_back();
  std::string source = text == "-" ? std::string("standard input") : text.substr(1);
  try {
    return IdListArgument(option, ids);
  } catch (const BadInput& e) {
    throw BadInput{e.message.substr(0, option.size()) + " (" + source + ")" + e.message.substr(option.size())};
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
  if (!value || text.find_first_of(" \t&eEdD") != std::string::npos || !std::isfinite(*value))
    throw BadInput{option + ": not a number: " + text};
  return *value;
}

double NumberArgument(const std::string& option, const std::string& text, double low, double high) {
  double value = NumberArgument(option, text);
  if (value < low || value > high)
    throw BadInput{option + ": " + text + " is out of range (" + automation::NumberToText(low) + " to " +
                   automation::NumberToText(high) + ")"};
  return value;
}

std::string NameArgument(const std::string& option, const std::string& text, size_t max_bytes) {
  bool control = std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (text.empty() || text.size() > max_bytes || control || text.find('\'') != std::string::npos)
    throw BadInput{option + ": not a name (no quotes or control characters, at most " + std::to_string(max_bytes) +
                   " bytes): " + text};
  return text;
}

std::string WordArgument(const std::string& option, const std::string& text) {
  bool word = !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
  if (!word) throw BadInput{option + ": not a word of letters, digits and underscores: " + text};
  return text;
}

std::string BillTypeArgument(const std::string& option, const std::string& text) {
  if (text == "sales") return "1";
  if (text == "returns") return "2";
  throw BadInput{option + ": expected sales or returns, not " + text};
}

namespace {
// A server database must answer and hold the host's schema; what it says
// when it does not (unreachable, wrong password) is the one line shown.
void ExistingServerDatabase(const std::string& data_source) {
  try {
    auto connection = data::OpenConnection(data_source);
    if (!connection->backend().ExecuteNative("SELECT to_regclass('\"t_LS_Retail\"') IS NOT NULL", {}).At(0, 0).boolean())
      throw BadInput{"--db: " + data::RedactedDataSource(data_source) +
                     " holds no host database (create one with: dailybalance init --db DSN)"};
  } catch (const automation::AutomationError& e) {
    throw BadInput{"--db: " + e.description()};
  }
}
}  // namespace

void ExistingDatabase(const std::string& data_source) {
  if (data::IsServerDataSource(data_source)) return ExistingServerDatabase(data_source);
  std::string file = data::EmbeddedPath(data_source);
  std::error_code ec;
  if (file.empty() || !std::filesystem::is_regular_file(file, ec))
    throw BadInput{"--db: no database at " + data_source + " (create one with: dailybalance init --db " + data_source + ")"};
  // An embedded database file starts with its format's signature.
  static constexpr char kSignature[] = "SQLite format 3";
  char head[sizeof kSignature] = {};
  std::ifstream in(file, std::ios::binary);
  if (!in.read(head, sizeof head) || std::memcmp(head, kSignature, sizeof kSignature) != 0)
    throw BadInput{"--db: " + data_source + " is not a host database"};
}

void NewDatabasePath(const std::string& data_source) {
  if (data::IsServerDataSource(data_source)) {
    // A server database must hold no host schema yet; one that does not exist is made.
    bool has_schema = false;
    try {
      auto connection = data::OpenConnection(data_source);
      has_schema = connection->backend()
                       .ExecuteNative("SELECT to_regclass('\"t_LS_Retail\"') IS NOT NULL", {})
                       .At(0, 0)
                       .boolean();
    } catch (const automation::AutomationError& e) {
      if (e.description().find("does not exist") == std::string::npos) throw BadInput{"--db: " + e.description()};
    }
    if (has_schema)
      throw BadInput{"--db: " + data::RedactedDataSource(data_source) + " holds a host database already"};
    return;
  }
  std::string file = data::EmbeddedPath(data_source);
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(file).parent_path();
  if (file.empty() || std::filesystem::is_directory(file, ec) ||
      !(parent.empty() || std::filesystem::is_directory(parent, ec)))
    throw BadInput{"--db: cannot create a database at " + data_source + " (a file path in an existing directory)"};
}

}  // namespace tovan::cli
