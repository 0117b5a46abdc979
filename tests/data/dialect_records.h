// The dialect's record files (tests/data/dialect/*.test): their records and
// the helpers that both engines' runners share.  The format is described in
// dialect_test.cpp.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::testing::dialect_files {

struct Record {
  int line = 0;
  std::string header;  // first line: statement ok / query ... / translate
  std::string tsql;
  bool has_expected = false;
  std::vector<std::string> expected;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<Record> ParseRecords(const std::string& content) {
  std::vector<Record> records;
  std::istringstream in(content);
  std::string line;
  int number = 0;
  Record* current = nullptr;
  bool in_expected = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      current = nullptr;
      continue;
    }
    if (current == nullptr) {
      if (line[0] == '#') continue;
      records.push_back({number, line, {}, false, {}});
      current = &records.back();
      in_expected = false;
      continue;
    }
    if (line == "----") {
      current->has_expected = true;
      in_expected = true;
    } else if (in_expected) {
      current->expected.push_back(line);
    } else {
      if (!current->tsql.empty()) current->tsql += "\r\n";
      for (std::size_t at; (at = line.find("\\r\\n")) != std::string::npos;) line.replace(at, 4, "\r\n");
      current->tsql += line;
    }
  }
  return records;
}

inline std::string CollapseBlanks(std::string_view s) {
  std::string out;
  bool blank = false;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
    } else {
      if (blank) out.push_back(' ');
      blank = false;
      out.push_back(c);
    }
  }
  return out;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

inline std::vector<std::string> TestFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(DIALECT_TEST_DIR)) {
    if (entry.path().extension() == ".test") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tovan::testing::dialect_files
