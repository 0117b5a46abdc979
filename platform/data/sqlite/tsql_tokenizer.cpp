#include "platform/data/sqlite/tsql_tokenizer.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>

namespace tovan::data::sqlite {
namespace {

struct KeywordEntry {
  std::string_view upper;
  Keyword keyword;
};

// Sorted by `upper` for binary search.
constexpr std::array kKeywords{
    KeywordEntry{"ALL", Keyword::All},
    KeywordEntry{"ALTER", Keyword::Alter},
    KeywordEntry{"AND", Keyword::And},
    KeywordEntry{"APPLY", Keyword::Apply},
    KeywordEntry{"AS", Keyword::As},
    KeywordEntry{"BEGIN", Keyword::Begin},
    KeywordEntry{"BY", Keyword::By},
    KeywordEntry{"CASE", Keyword::Case},
    KeywordEntry{"CLOSE", Keyword::Close},
    KeywordEntry{"COMMIT", Keyword::Commit},
    KeywordEntry{"CREATE", Keyword::Create},
    KeywordEntry{"CURRENT_TIMESTAMP", Keyword::CurrentTimestamp},
    KeywordEntry{"DEALLOCATE", Keyword::Deallocate},
    KeywordEntry{"DECLARE", Keyword::Declare},
    KeywordEntry{"DELETE", Keyword::Delete},
    KeywordEntry{"DENY", Keyword::Deny},
    KeywordEntry{"DISTINCT", Keyword::Distinct},
    KeywordEntry{"DISTRIBUTED", Keyword::Distributed},
    KeywordEntry{"DROP", Keyword::Drop},
    KeywordEntry{"ELSE", Keyword::Else},
    KeywordEntry{"END", Keyword::End},
    KeywordEntry{"EXCEPT", Keyword::Except},
    KeywordEntry{"EXEC", Keyword::Exec},
    KeywordEntry{"EXECUTE", Keyword::Execute},
    KeywordEntry{"EXISTS", Keyword::Exists},
    KeywordEntry{"FETCH", Keyword::Fetch},
    KeywordEntry{"FROM", Keyword::From},
    KeywordEntry{"FUNCTION", Keyword::Function},
    KeywordEntry{"GOTO", Keyword::Goto},
    KeywordEntry{"GRANT", Keyword::Grant},
    KeywordEntry{"IDENTITY", Keyword::Identity},
    KeywordEntry{"IF", Keyword::If},
    KeywordEntry{"IN", Keyword::In},
    KeywordEntry{"INDEX", Keyword::Index},
    KeywordEntry{"INSERT", Keyword::Insert},
    KeywordEntry{"INTERSECT", Keyword::Intersect},
    KeywordEntry{"INTO", Keyword::Into},
    KeywordEntry{"IS", Keyword::Is},
    KeywordEntry{"LIKE", Keyword::Like},
    KeywordEntry{"MERGE", Keyword::Merge},
    KeywordEntry{"NOT", Keyword::Not},
    KeywordEntry{"NULL", Keyword::Null},
    KeywordEntry{"OPEN", Keyword::Open},
    KeywordEntry{"OR", Keyword::Or},
    KeywordEntry{"OUTPUT", Keyword::Output},
    KeywordEntry{"PERCENT", Keyword::Percent},
    KeywordEntry{"PIVOT", Keyword::Pivot},
    KeywordEntry{"PRINT", Keyword::Print},
    KeywordEntry{"PROC", Keyword::Proc},
    KeywordEntry{"PROCEDURE", Keyword::Procedure},
    KeywordEntry{"RAISERROR", Keyword::Raiserror},
    KeywordEntry{"RETURN", Keyword::Return},
    KeywordEntry{"REVOKE", Keyword::Revoke},
    KeywordEntry{"ROLLBACK", Keyword::Rollback},
    KeywordEntry{"SAVE", Keyword::Save},
    KeywordEntry{"SELECT", Keyword::Select},
    KeywordEntry{"SET", Keyword::Set},
    KeywordEntry{"TABLE", Keyword::Table},
    KeywordEntry{"THEN", Keyword::Then},
    KeywordEntry{"TIES", Keyword::Ties},
    KeywordEntry{"TOP", Keyword::Top},
    KeywordEntry{"TRAN", Keyword::Tran},
    KeywordEntry{"TRANSACTION", Keyword::Transaction},
    KeywordEntry{"TRIGGER", Keyword::Trigger},
    KeywordEntry{"TRUNCATE", Keyword::Truncate},
    KeywordEntry{"UNION", Keyword::Union},
    KeywordEntry{"UNPIVOT", Keyword::Unpivot},
    KeywordEntry{"UPDATE", Keyword::Update},
    KeywordEntry{"USE", Keyword::Use},
    KeywordEntry{"VALUES", Keyword::Values},
    KeywordEntry{"VIEW", Keyword::View},
    KeywordEntry{"WAITFOR", Keyword::Waitfor},
    KeywordEntry{"WHEN", Keyword::When},
    KeywordEntry{"WHERE", Keyword::Where},
    KeywordEntry{"WHILE", Keyword::While},
    KeywordEntry{"WITH", Keyword::With},
};

constexpr std::size_t kLongestKeyword = 17;  // CURRENT_TIMESTAMP

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

Keyword LookupKeyword(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestKeyword) return Keyword::None;
  char buf[kLongestKeyword];
  for (std::size_t i = 0; i < word.size(); ++i) buf[i] = Upper(word[i]);
  std::string_view upper(buf, word.size());
  auto it = std::lower_bound(kKeywords.begin(), kKeywords.end(), upper,
                             [](const KeywordEntry& e, std::string_view w) { return e.upper < w; });
  return (it != kKeywords.end() && it->upper == upper) ? it->keyword : Keyword::None;
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes of multi-byte UTF-8 characters count as letters: T-SQL names may be Chinese.
bool IsWordStart(unsigned char c) { return IsLetter(c) || c == '_' || c == '#' || c >= 0x80; }
bool IsWordChar(unsigned char c) {
  return IsWordStart(c) || IsDigit(c) || c == '@' || c == '$';
}
bool IsSpace(unsigned char c) {
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
  // Quoted runs: `close` ends them, doubled `close` stands for itself.
  auto quoted_end = [&](std::size_t from, char close) -> std::size_t {
    for (std::size_t j = from; j < n; ++j) {
      if (text[j] == close) {
        if (j + 1 < n && text[j + 1] == close) {
          ++j;
          continue;
        }
        return j + 1;
      }
    }
    return std::string_view::npos;
  };

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
        return fail(start, fmt::format("unexpected character '{}'", text.substr(start, 1)));
    }
  }
  if (!open.empty()) return fail(tokens[open.back()].pos, "unbalanced '('");
  push(TokenKind::End, n, n);
  return {};
}

}  // namespace tovan::data::sqlite
