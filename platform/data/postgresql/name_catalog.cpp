#include "platform/data/postgresql/name_catalog.h"

#include "platform/automation/text.h"
#include "platform/data/tsql/rewriter.h"

namespace tovan::data::postgresql {

std::size_t NameCatalog::NoCaseHash::operator()(std::string_view s) const {
  std::size_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(automation::AsciiLower(c))) * 1099511628211ull;
  return h;
}

bool NameCatalog::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
  return automation::EqualsNoCase(a, b);
}

void NameCatalog::Add(std::string_view name) {
  auto [it, added] = names_.emplace(std::string(name), std::string(name));
  if (!added && it->second != name) conflicts_.emplace_back(name);
}

const std::string* NameCatalog::Find(std::string_view name) const {
  // Heterogeneous lookup needs C++20's transparent unordered containers in
  // full; one small string per lookup is cheap beside a translation.
  auto it = names_.find(std::string(name));
  return it == names_.end() ? nullptr : &it->second;
}

std::string QuoteIdentifier(std::string_view name) { return tsql::QuoteName(name); }

namespace {
bool IsWordStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) { return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$'; }
}  // namespace

std::string PrepareNativeSql(std::string_view sql, const NameCatalog& catalog) {
  std::string out;
  out.reserve(sql.size() + 32);
  std::size_t i = 0;
  auto copy_quoted = [&](char quote) {
    std::size_t j = i + 1;
    while (j < sql.size()) {
      if (sql[j] == quote) {
        if (j + 1 < sql.size() && sql[j + 1] == quote) {
          j += 2;
          continue;
        }
        ++j;
        break;
      }
      ++j;
    }
    out.append(sql.substr(i, j - i));
    i = j;
  };
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      copy_quoted(c);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      const std::size_t stop = end == std::string_view::npos ? sql.size() : end;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '?' && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
      out.push_back('$');
      ++i;
    } else if (IsWordStart(c) && (i == 0 || !IsWordChar(sql[i - 1]))) {
      std::size_t j = i;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      const std::string_view word = sql.substr(i, j - i);
      const std::string* known = catalog.Find(word);
      out.append(known ? QuoteIdentifier(*known) : std::string(word));
      i = j;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

}  // namespace tovan::data::postgresql
