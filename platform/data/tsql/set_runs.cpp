#include "platform/data/tsql/set_runs.h"

#include <cstdlib>

#include "platform/automation/text.h"

namespace tovan::data::tsql {

namespace {

// The translated text's own pieces: only what the two forms are made of.
struct Piece {
  enum class Kind { kWord, kQuoted, kPlaceholder, kConstant, kPunct };
  Kind kind;
  std::size_t begin;
  std::size_t end;
};

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
         c == '@';
}

bool Split(std::string_view sql, std::vector<Piece>& out) {
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    const std::size_t begin = i;
    if (c == '"') {
      for (++i; i < sql.size(); ++i) {
        if (sql[i] == '"' && (i + 1 >= sql.size() || sql[i + 1] != '"')) break;
        if (sql[i] == '"') ++i;
      }
      if (i >= sql.size()) return false;
      out.push_back({Piece::Kind::kQuoted, begin, ++i});
    } else if (c == '\'') {
      for (++i; i < sql.size(); ++i) {
        if (sql[i] == '\'' && (i + 1 >= sql.size() || sql[i + 1] != '\'')) break;
        if (sql[i] == '\'') ++i;
      }
      if (i >= sql.size()) return false;
      out.push_back({Piece::Kind::kConstant, begin, ++i});
    } else if (c == '$' || c == '?') {
      for (++i; i < sql.size() && sql[i] >= '0' && sql[i] <= '9';) ++i;
      if (c == '$' && i == begin + 1) return false;
      out.push_back({Piece::Kind::kPlaceholder, begin, i});
    } else if (c >= '0' && c <= '9') {
      while (i < sql.size() && ((sql[i] >= '0' && sql[i] <= '9') || sql[i] == '.')) ++i;
      out.push_back({Piece::Kind::kConstant, begin, i});
    } else if (IsWordChar(c)) {
      while (i < sql.size() && IsWordChar(sql[i])) ++i;
      out.push_back({Piece::Kind::kWord, begin, i});
    } else if (c == ',' || c == '(' || c == ')' || c == '=' || c == '.') {
      out.push_back({Piece::Kind::kPunct, begin, ++i});
    } else {
      return false;  // anything else (an operator, a cast, a comment): not a plain form
    }
  }
  return true;
}

std::string Bare(std::string_view name) {
  if (name.size() >= 2 && name.front() == '"') {
    std::string out;
    for (std::size_t k = 1; k + 1 < name.size(); ++k) {
      out.push_back(name[k]);
      if (name[k] == '"') ++k;
    }
    return out;
  }
  return std::string(name);
}

class Parser {
 public:
  Parser(std::string_view sql, const std::vector<Piece>& pieces) : sql_(sql), p_(pieces) {}

  bool Keyword(std::string_view word) {
    if (at_ >= p_.size() || p_[at_].kind != Piece::Kind::kWord) return false;
    if (!automation::EqualsNoCase(Text(at_), word)) return false;
    ++at_;
    return true;
  }
  bool Punct(char c) {
    if (at_ >= p_.size() || p_[at_].kind != Piece::Kind::kPunct || sql_[p_[at_].begin] != c) return false;
    ++at_;
    return true;
  }
  // A name, bare or quoted, that is no keyword of the forms.
  bool Name(std::string* bare = nullptr) {
    if (at_ >= p_.size()) return false;
    const Piece& n = p_[at_];
    if (n.kind != Piece::Kind::kWord && n.kind != Piece::Kind::kQuoted) return false;
    if (n.kind == Piece::Kind::kWord && (sql_[n.begin] >= '0' && sql_[n.begin] <= '9')) return false;
    for (std::string_view k : {"SET", "WHERE", "VALUES", "FROM", "NULL", "DEFAULT", "AND", "OR", "SELECT"})
      if (n.kind == Piece::Kind::kWord && automation::EqualsNoCase(Text(at_), k)) return false;
    if (bare != nullptr) *bare = Bare(Text(at_));
    ++at_;
    return true;
  }
  // A table's name, maybe qualified by its schema's: `bare` gets the table's own, quotes undone.
  bool Table(std::string& bare) {
    if (!Name(&bare)) return false;
    if (Punct('.') && !Name(&bare)) return false;
    return true;
  }
  // A value: a placeholder (counted) or a constant written in the text.
  bool Value(bool* placeholder = nullptr) {
    if (at_ >= p_.size()) return false;
    const Piece& v = p_[at_];
    const bool is_placeholder = v.kind == Piece::Kind::kPlaceholder;
    if (!is_placeholder && v.kind != Piece::Kind::kConstant &&
        !(v.kind == Piece::Kind::kWord && automation::EqualsNoCase(Text(at_), "NULL")))
      return false;
    if (is_placeholder) placeholders_.push_back(at_);
    if (placeholder != nullptr) *placeholder = is_placeholder;
    ++at_;
    return true;
  }
  bool AtEnd() const { return at_ == p_.size(); }
  std::size_t at() const { return at_; }
  std::string_view Text(std::size_t k) const { return sql_.substr(p_[k].begin, p_[k].end - p_[k].begin); }
  const std::vector<std::size_t>& placeholders() const { return placeholders_; }

 private:
  std::string_view sql_;
  const std::vector<Piece>& p_;
  std::size_t at_ = 0;
  std::vector<std::size_t> placeholders_;  // pieces that are placeholders, in order
};

}  // namespace

std::optional<SetRunShape> ParseSetRunShape(std::string_view sql) {
  std::vector<Piece> pieces;
  if (!Split(sql, pieces)) return std::nullopt;
  Parser p(sql, pieces);
  SetRunShape shape;
  std::size_t split = 0;  // the piece the merged statement departs at
  std::string key_column;
  std::size_t key_placeholder = 0;
  if (p.Keyword("UPDATE")) {
    shape.kind = SetRunShape::Kind::kUpdate;
    if (!p.Table(shape.table)) return std::nullopt;
    if (!p.Keyword("SET")) return std::nullopt;
    do {
      std::string column;
      if (!p.Name(&column) || !p.Punct('=') || !p.Value()) return std::nullopt;
      shape.set_columns.push_back(std::move(column));
    } while (p.Punct(','));
    split = p.at();
    bool placeholder = false;
    if (!p.Keyword("WHERE") || !p.Name(&key_column) || !p.Punct('=') || !p.Value(&placeholder) || !placeholder ||
        !p.AtEnd())
      return std::nullopt;
    // A statement that moves its own key would meet rows another one moved.
    for (const std::string& c : shape.set_columns)
      if (automation::EqualsNoCase(c, key_column)) return std::nullopt;
    key_placeholder = p.placeholders().size() - 1;
  } else if (p.Keyword("INSERT")) {
    shape.kind = SetRunShape::Kind::kInsert;
    if (!p.Keyword("INTO")) return std::nullopt;
    if (!p.Table(shape.table)) return std::nullopt;
    std::size_t columns = 0, values = 0;
    if (!p.Punct('(')) return std::nullopt;
    do {
      if (!p.Name()) return std::nullopt;
      ++columns;
    } while (p.Punct(','));
    if (!p.Punct(')') || !p.Keyword("VALUES")) return std::nullopt;
    split = p.at();
    if (!p.Punct('(')) return std::nullopt;
    do {
      if (!p.Value()) return std::nullopt;
      ++values;
    } while (p.Punct(','));
    if (!p.Punct(')') || !p.AtEnd() || values != columns) return std::nullopt;
  } else {
    return std::nullopt;
  }
  // Placeholders bind in order: "$n" must be the n-th.
  const std::vector<std::size_t>& ph = p.placeholders();
  if (ph.empty()) return std::nullopt;
  for (std::size_t k = 0; k < ph.size(); ++k) {
    const std::string_view t = p.Text(ph[k]);
    if (t.size() > 1 && t != "$" + std::to_string(k + 1)) return std::nullopt;
    if (t.size() == 1 && t != "?") return std::nullopt;
  }
  shape.params = ph.size();
  shape.key_param = key_placeholder;
  // The text between placeholders, and where the split falls among it.
  std::size_t from = 0;
  for (std::size_t k = 0; k <= ph.size(); ++k) {
    const std::size_t to = k < ph.size() ? pieces[ph[k]].begin : sql.size();
    const std::size_t split_at = pieces[split].begin;
    if (split_at >= from && split_at <= to && (k == ph.size() || split < ph[k]) &&
        (k == 0 || split > ph[k - 1])) {
      shape.split_piece = k;
      shape.split_offset = split_at - from;
    }
    shape.text.emplace_back(sql.substr(from, to - from));
    if (k < ph.size()) from = pieces[ph[k]].end;
  }
  return shape;
}

bool SetRunsWanted() {
  const char* wanted = std::getenv("DAILYBALANCE_SET_RUNS");
  return wanted == nullptr || std::string_view(wanted) != "0";
}

bool IsCanonicalKey(std::string_view text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  if (i >= text.size() || text.size() - i > 15) return false;
  if (text[i] == '0') return text.size() == 1;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::string SetRunStatement(const SetRunShape& shape, std::size_t rows, bool dollar) {
  std::string out;
  std::size_t next = 0;  // placeholders numbered so far
  auto placeholder = [&] {
    ++next;
    if (dollar) {
      out += '$';
      out += std::to_string(next);
    } else {
      out += '?';
    }
  };
  const std::string& at_split = shape.text[shape.split_piece];
  if (shape.kind == SetRunShape::Kind::kInsert) {
    for (std::size_t k = 0; k < shape.split_piece; ++k) out += shape.text[k];
    out.append(at_split, 0, shape.split_offset);
    // The values' tuple, once per row.
    for (std::size_t r = 0; r < rows; ++r) {
      if (r > 0) out += ',';
      out.append(at_split, shape.split_offset);
      for (std::size_t k = shape.split_piece; k < shape.params; ++k) {
        if (k > shape.split_piece) out += shape.text[k];
        placeholder();
      }
      // The tuple's closing text, without what follows it (nothing does).
      out += shape.text[shape.params];
    }
    return out;
  }
  // An update: each placeholder reads the row's column of the VALUES.
  auto column = [&](std::size_t k) { out += "tovan_v.column" + std::to_string(k + 1); };
  for (std::size_t k = 0; k < shape.split_piece; ++k) {
    out += shape.text[k];
    column(k);
  }
  out.append(at_split, 0, shape.split_offset);
  out += " FROM (VALUES ";
  for (std::size_t r = 0; r < rows; ++r) {
    out += r > 0 ? ",(" : "(";
    for (std::size_t k = 0; k < shape.params; ++k) {
      if (k > 0) out += ',';
      placeholder();
    }
    out += ')';
  }
  out += ") AS tovan_v ";
  out.append(at_split, shape.split_offset);
  for (std::size_t k = shape.split_piece; k < shape.params; ++k) {
    column(k);
    out += shape.text[k + 1];
  }
  return out;
}

}  // namespace tovan::data::tsql
