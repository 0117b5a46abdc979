#include "platform/data/tsql/tokenizer.h"

#include <algorithm>
#include <array>
#include <iterator>

#include <fmt/format.h>

namespace tovan::data::tsql {
namespace {

// The end of a quoted run starting at `from` (just past its opening quote):
// `close` ends it, a doubled `close` stands for itself; npos when unclosed.
std::size_t QuotedEnd(std::string_view text, std::size_t from, char close) {
  for (std::size_t j = from; j < text.size(); ++j) {
    if (text[j] == close) {
      if (j + 1 < text.size() && text[j + 1] == close) {
        ++j;
        continue;
      }
      return j + 1;
    }
  }
  return std::string_view::npos;
}

struct KeywordEntry {
  std::string_view upper;
  Keyword keyword;
};

constexpr KeywordEntry kKeywords[] = {
    {"ALL", Keyword::All}, {"ALTER", Keyword::Alter}, {"AND", Keyword::And},
    {"APPLY", Keyword::Apply}, {"AS", Keyword::As}, {"BEGIN", Keyword::Begin}, {"BY", Keyword::By},
    {"CASE", Keyword::Case}, {"CLOSE", Keyword::Close}, {"COMMIT", Keyword::Commit},
    {"CREATE", Keyword::Create}, {"DEALLOCATE", Keyword::Deallocate}, {"DECLARE", Keyword::Declare},
    {"DELETE", Keyword::Delete}, {"DENY", Keyword::Deny}, {"DISTINCT", Keyword::Distinct},
    {"DISTRIBUTED", Keyword::Distributed}, {"DROP", Keyword::Drop}, {"ELSE", Keyword::Else},
    {"END", Keyword::End}, {"EXCEPT", Keyword::Except}, {"EXEC", Keyword::Exec},
    {"EXECUTE", Keyword::Execute}, {"EXISTS", Keyword::Exists}, {"FETCH", Keyword::Fetch},
    {"FROM", Keyword::From}, {"FUNCTION", Keyword::Function}, {"GOTO", Keyword::Goto},
    {"GRANT", Keyword::Grant}, {"IDENTITY", Keyword::Identity}, {"IF", Keyword::If},
    {"IN", Keyword::In}, {"INDEX", Keyword::Index}, {"INSERT", Keyword::Insert},
    {"INTERSECT", Keyword::Intersect}, {"INTO", Keyword::Into}, {"IS", Keyword::Is},
    {"LIKE", Keyword::Like}, {"MERGE", Keyword::Merge}, {"NOT", Keyword::Not},
    {"NULL", Keyword::Null}, {"OPEN", Keyword::Open}, {"OR", Keyword::Or},
    {"OUTPUT", Keyword::Output}, {"PERCENT", Keyword::Percent}, {"PIVOT", Keyword::Pivot},
    {"PRINT", Keyword::Print}, {"PROC", Keyword::Proc}, {"PROCEDURE", Keyword::Procedure},
    {"RAISERROR", Keyword::Raiserror}, {"RETURN", Keyword::Return}, {"REVOKE", Keyword::Revoke},
    {"ROLLBACK", Keyword::Rollback}, {"SAVE", Keyword::Save}, {"SELECT", Keyword::Select},
    {"SET", Keyword::Set}, {"TABLE", Keyword::Table}, {"THEN", Keyword::Then},
    {"TIES", Keyword::Ties}, {"TOP", Keyword::Top}, {"TRAN", Keyword::Tran},
    {"TRANSACTION", Keyword::Transaction}, {"TRIGGER", Keyword::Trigger},
    {"TRUNCATE", Keyword::Truncate}, {"UNION", Keyword::Union}, {"UNPIVOT", Keyword::Unpivot},
    {"UPDATE", Keyword::Update}, {"USE", Keyword::Use}, {"VALUES", Keyword::Values},
    {"VIEW", Keyword::View}, {"WAITFOR", Keyword::Waitfor}, {"WHEN", Keyword::When},
    {"WHERE", Keyword::Where}, {"WHILE", Keyword::While}, {"WITH", Keyword::With},
};

struct KeyedKeyword {
  WordKey key;
  Keyword keyword;
};

// Every word of a statement is looked up: search packed keys, not strings.
constexpr auto kKeywordTable = [] {
  std::array<KeyedKeyword, std::size(kKeywords)> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    MakeWordKey(kKeywords[i].upper, table[i].key);
    table[i].keyword = kKeywords[i].keyword;
  }
  std::sort(table.begin(), table.end(),
            [](const KeyedKeyword& a, const KeyedKeyword& b) { return a.key < b.key; });
  return table;
}();

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Per word length, the first letters keywords of that length have: most names
// (FItemID, t_LS_Retail) are rejected without a search.
constexpr auto kFirstLetters = [] {
  std::array<std::uint32_t, 17> masks{};
  for (const KeywordEntry& e : kKeywords) masks[e.upper.size()] |= 1u << (e.upper[0] - 'A');
  return masks;
}();

Keyword LookupKeyword(std::string_view word) {
  if (word.size() < 2) return Keyword::None;
  if (word.size() < kFirstLetters.size()) {
    const char first = Upper(word[0]);
    if (first < 'A' || first > 'Z' || !(kFirstLetters[word.size()] & (1u << (first - 'A')))) {
      return Keyword::None;
    }
  }
  if (word.size() == 17) {
    return WordIs(word, "CURRENT_TIMESTAMP") ? Keyword::CurrentTimestamp : Keyword::None;
  }
  WordKey key;
  if (!MakeWordKey(word, key)) return Keyword::None;
  auto it = std::lower_bound(kKeywordTable.begin(), kKeywordTable.end(), key,
                             [](const KeyedKeyword& e, const WordKey& k) { return e.key < k; });
  return (it != kKeywordTable.end() && it->key == key) ? it->keyword : Keyword::None;
}

constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes of multi-byte UTF-8 characters count as letters: T-SQL names may be Chinese.
constexpr bool IsWordStart(unsigned char c) { return IsLetter(c) || c == '_' || c == '#' || c >= 0x80; }
constexpr bool IsWordChar(unsigned char c) {
  return IsWordStart(c) || IsDigit(c) || c == '@' || c == '$';
}
constexpr bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

bool WordIs(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (Upper(word[i]) != upper[i]) return false;
  }
  return true;
}

std::string DescribePosition(std::string_view text, std::uint32_t pos) {
  std::uint32_t line = 1;
  std::uint32_t line_start = 0;
  for (std::uint32_t i = 0; i < pos && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return fmt::format("line {}, column {}", line, pos - line_start + 1);
}

namespace {
// IsWordChar as a table: the scan runs over every byte of every batch.
constexpr auto kWordChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = IsWordChar(static_cast<unsigned char>(c));
  return table;
}();
}  // namespace

bool ScanLiterals(std::string_view text, std::vector<Literal>& literals) {
  // The same reading as Tokenize below, keeping only the literals; a
  // difference between the two would show as a translation not cached
  // (the backend compares them whenever it translates).
  literals.clear();
  const std::size_t n = text.size();
  std::size_t i = 0;
  auto quoted_end = [&](std::size_t from, char close) { return QuotedEnd(text, from, close); };
  while (i < n) {
    const auto c = static_cast<unsigned char>(text[i]);
    const char next = i + 1 < n ? text[i + 1] : '\0';
    if (IsWordStart(c) && !((c == 'N' || c == 'n') && next == '\'')) {
      while (i < n && kWordChars[static_cast<unsigned char>(text[i])]) ++i;
      continue;
    }
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && next == '-') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && next == '*') {
      int depth = 0;
      while (i < n) {
        if (text[i] == '/' && i + 1 < n && text[i + 1] == '*') {
          ++depth;
          i += 2;
        } else if (text[i] == '*' && i + 1 < n && text[i + 1] == '/') {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
      if (depth != 0) return false;
      continue;
    }
    const std::size_t start = i;
    if (c == '\'' || c == 'N' || c == 'n') {  // N and n only before a quote here
      const bool national = c != '\'';
      const std::size_t end = quoted_end(start + (national ? 2 : 1), '\'');
      if (end == std::string_view::npos) return false;
      literals.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start),
                          national ? TokenKind::NString : TokenKind::String});
      i = end;
      continue;
    }
    if (c == '[' || c == '"') {
      const std::size_t end = quoted_end(start + 1, c == '[' ? ']' : '"');
      if (end == std::string_view::npos) return false;
      i = end;
      continue;
    }
    if (c == '@') {
      ++i;
      while (i < n && IsWordChar(static_cast<unsigned char>(text[i]))) ++i;
      continue;
    }
    if (IsDigit(c) || (c == '.' && IsDigit(static_cast<unsigned char>(next)))) {
      while (i < n && IsDigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(static_cast<unsigned char>(text[i]))) ++i;
      }
      if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < n && IsDigit(static_cast<unsigned char>(text[j]))) {
          i = j;
          while (i < n && IsDigit(static_cast<unsigned char>(text[i]))) ++i;
        }
      }
      literals.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(i - start), TokenKind::Number});
      continue;
    }
    ++i;  // blanks and operators hold no literal
  }
  return true;
}

void LiteralsOf(const std::vector<Token>& tokens, std::vector<Literal>& literals) {
  literals.clear();
  for (const Token& t : tokens) {
    if (t.kind == TokenKind::Number || t.kind == TokenKind::String || t.kind == TokenKind::NString)
      literals.push_back({t.pos, t.len, t.kind});
  }
}

TokenizeResult Tokenize(std::string_view text, std::vector<Token>& tokens) {
  tokens.clear();
  tokens.reserve(text.size() / 4 + 8);
  std::vector<std::uint32_t> open;  // indices of unmatched '('
  const std::size_t n = text.size();
  std::size_t i = 0;
  bool comment = false;

  auto fail = [&](std::size_t pos, std::string message) {
    TokenizeResult r;
    r.ok = false;
    r.error_pos = static_cast<std::uint32_t>(pos);
    r.error = fmt::format("{} at {}", message, DescribePosition(text, r.error_pos));
    return r;
  };
  auto push = [&](TokenKind kind, std::size_t start, std::size_t end) {
    Token t;
    t.pos = static_cast<std::uint32_t>(start);
    t.len = static_cast<std::uint32_t>(end - start);
    t.kind = kind;
    t.comment_before = comment;
    comment = false;
    tokens.push_back(t);
  };
  auto quoted_end = [&](std::size_t from, char close) { return QuotedEnd(text, from, close); };

  while (i < n) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    const char next = i + 1 < n ? text[i + 1] : '\0';
    if (c == '-' && next == '-') {
      while (i < n && text[i] != '\n') ++i;
      comment = true;
      continue;
    }
    if (c == '/' && next == '*') {
      // T-SQL block comments nest.
      const std::size_t start = i;
      int depth = 0;
      while (i < n) {
        if (text[i] == '/' && i + 1 < n && text[i + 1] == '*') {
          ++depth;
          i += 2;
        } else if (text[i] == '*' && i + 1 < n && text[i + 1] == '/') {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
      if (depth != 0) return fail(start, "unterminated comment");
      comment = true;
      continue;
    }
    const std::size_t start = i;
    if (c == '\'' || ((c == 'N' || c == 'n') && next == '\'')) {
      const bool national = c != '\'';
      const std::size_t end = quoted_end(start + (national ? 2 : 1), '\'');
      if (end == std::string_view::npos) return fail(start, "unterminated string literal");
      push(national ? TokenKind::NString : TokenKind::String, start, end);
      i = end;
      continue;
    }
    if (c == '[' || c == '"') {
      const std::size_t end = quoted_end(start + 1, c == '[' ? ']' : '"');
      if (end == std::string_view::npos) return fail(start, "unterminated quoted name");
      push(TokenKind::QuotedName, start, end);
      i = end;
      continue;
    }
    if (IsWordStart(c)) {
      while (i < n && IsWordChar(static_cast<unsigned char>(text[i]))) ++i;
      push(TokenKind::Word, start, i);
      const bool after_dot = tokens.size() >= 2 && tokens[tokens.size() - 2].kind == TokenKind::Dot;
      if (!after_dot) tokens.back().keyword = LookupKeyword(text.substr(start, i - start));
      continue;
    }
    if (c == '@') {
      ++i;
      while (i < n && IsWordChar(static_cast<unsigned char>(text[i]))) ++i;
      push(TokenKind::Variable, start, i);
      continue;
    }
    if (IsDigit(c) || (c == '.' && IsDigit(static_cast<unsigned char>(next)))) {
      while (i < n && IsDigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(static_cast<unsigned char>(text[i]))) ++i;
      }
      if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < n && IsDigit(static_cast<unsigned char>(text[j]))) {
          i = j;
          while (i < n && IsDigit(static_cast<unsigned char>(text[i]))) ++i;
        }
      }
      push(TokenKind::Number, start, i);
      continue;
    }
    switch (c) {
      case '(':
        open.push_back(static_cast<std::uint32_t>(tokens.size()));
        push(TokenKind::LParen, start, start + 1);
        ++i;
        continue;
      case ')': {
        if (open.empty()) return fail(start, "unbalanced ')'");
        const std::uint32_t partner = open.back();
        open.pop_back();
        tokens[partner].match = static_cast<std::uint32_t>(tokens.size());
        push(TokenKind::RParen, start, start + 1);
        tokens.back().match = partner;
        ++i;
        continue;
      }
      case ',':
        push(TokenKind::Comma, start, ++i);
        continue;
      case '.':
        push(TokenKind::Dot, start, ++i);
        continue;
      case ';':
        push(TokenKind::Semicolon, start, ++i);
        continue;
      case '<':
        i += (next == '>' || next == '=') ? 2 : 1;
        push(TokenKind::Operator, start, i);
        continue;
      case '>':
        i += next == '=' ? 2 : 1;
        push(TokenKind::Operator, start, i);
        continue;
      case '!':
        if (next != '=' && next != '<' && next != '>') return fail(start, "unexpected character '!'");
        i += 2;
        push(TokenKind::Operator, start, i);
        continue;
      case '=':
        // "=*" is the old outer-join operator; keep it whole so it can be refused.
        i += next == '*' ? 2 : 1;
        push(TokenKind::Operator, start, i);
        continue;
      case '+': case '-': case '*': case '/': case '%': case '&': case '|': case '^':
        // Compound assignments (+= ...) stay one token so they can be refused.
        i += next == '=' ? 2 : 1;
        push(TokenKind::Operator, start, i);
        continue;
      case '~':
        push(TokenKind::Operator, start, ++i);
        continue;
      default:
        if (c < 0x20 || c == 0x7f) return fail(start, fmt::format("unexpected character 0x{:02x}", c));
        return fail(start, fmt::format("unexpected character '{}'", text.substr(start, 1)));
    }
  }
  if (!open.empty()) return fail(tokens[open.back()].pos, "unbalanced '('");
  push(TokenKind::End, n, n);
  return {};
}

}  // namespace tovan::data::tsql
