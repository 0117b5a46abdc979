#include "cli/arguments.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "backoffice/input_checks.h"
#include "cli/commands.h"

namespace tovan::cli {

using backoffice::Refusal;

std::string ArgumentFile(const std::string& field, const std::string& text) {
  // Far more than a day of any chain; a larger file is a mistake, not a list.
  constexpr std::streamsize kMaxBytes = 64 << 20;
  std::string name = text.substr(1);
  std::string content;
  std::ifstream file;
  std::istream* in = &std::cin;
  if (name != "-") {
    std::error_code ec;
    if (name.empty() || !std::filesystem::is_regular_file(name, ec))
      throw Refusal(field, "no file " + (name.empty() ? std::string("named after @") : name));
    file.open(name, std::ios::binary);
    in = &file;
  }
  char buffer[1 << 16];
  while (*in) {
    in->read(buffer, sizeof buffer);
    content.append(buffer, static_cast<size_t>(in->gcount()));
    if (static_cast<std::streamsize>(content.size()) > kMaxBytes)
      throw Refusal(field, (name == "-" ? std::string("standard input") : name) + " holds more than 64 MiB");
  }
  if (in->bad()) throw Refusal(field, "cannot read " + (name == "-" ? std::string("standard input") : name));
  return content;
}

std::string IdListInput(const std::string& field, const std::string& text) {
  if (text != "-" && (text.empty() || text[0] != '@')) return backoffice::IdListArgument(field, text);
  std::string content = ArgumentFile(field, text == "-" ? "@-" : text);
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
    return backoffice::IdListArgument(field, ids);
  } catch (const Refusal& e) {
    throw Refusal(field, "(" + source + ") " + e.message);
  }
}

std::string OptionName(const std::string& field) {
  if (field.empty() || std::isupper(static_cast<unsigned char>(field[0]))) return field;
  if (field == "ids" || field == "id") return "DAILY_ID";
  if (field == "key") return "KEY";
  if (field == "value") return "VALUE";
  std::string name = "--";
  for (char c : field) {
    if (std::isupper(static_cast<unsigned char>(c))) {
      name += '-';
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else {
      name += c;
    }
  }
  return name;
}

void PrintError(const std::string& message) {
  std::string line = message;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::cerr << "dailybalance: " << line << std::endl;
}

int Refused(const Refusal& refusal) {
  PrintError(refusal.field.empty() ? refusal.message : OptionName(refusal.field) + ": " + refusal.message);
  for (const std::string& cause : refusal.causes) PrintError(cause);
  return kExitBadInput;
}

}  // namespace tovan::cli
