// Tokenizer for the T-SQL text the component sends.
//
// One pass over the text, no copies: a token is a position and a length in
// the caller's text.  Whitespace is not a token; it is the gap between two
// tokens, so the text can be rebuilt exactly.  Comments are dropped from the
// token stream and only flagged on the token after them, because nothing the
// rewriter does depends on them and T-SQL nests /* */ while other engines do not.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::data::tsql {

enum class TokenKind : std::uint8_t {
  Word,        // identifier or keyword, including #temp and ##global names
  QuotedName,  // [bracketed] or "double-quoted" identifier
  Number,
  String,      // '...' with '' for a quote
  NString,     // N'...'
  Variable,    // @name, @@name
  Operator,    // + - * / % = < > <= >= <> != !< !> & | ^ ~ and compound assignments
  LParen,
  RParen,
  Comma,
  Dot,
  Semicolon,
  End,  // after the last token; its gap holds the trailing whitespace
};

// The words the splitter and the rewriter act on.  A word right after a '.'
// is a column or table name, never a keyword.
enum class Keyword : std::uint8_t {
  None,
  All, Alter, And, Apply, As, Begin, By, Case, Close, Commit, Create, CurrentTimestamp,
  Deallocate, Declare, Delete, Deny, Distinct, Distributed, Drop, Else, End, Except, Exec,
  Execute, Exists, Fetch, From, Function, Goto, Grant, Identity, If, In, Index, Insert, Intersect,
  Into, Is, Like, Merge, Not, Null, Open, Or, Output, Percent, Pivot, Print, Proc, Procedure,
  Raiserror, Return, Revoke, Rollback, Save, Select, Set, Table, Then, Ties, Top, Tran,
  Transaction, Trigger, Truncate, Union, Unpivot, Update, Use, Values, View, Waitfor, When,
  Where, While, With,
};

struct Token {
  std::uint32_t pos = 0;
  std::uint32_t len = 0;
  std::uint32_t match = 0;  // parentheses: index of the partner
  TokenKind kind = TokenKind::End;
  Keyword keyword = Keyword::None;
  bool comment_before = false;  // the gap before this token holds a comment
};

struct TokenizeResult {
  bool ok = true;
  std::string error;
  std::uint32_t error_pos = 0;
};

// Fills `tokens` (cleared first) with the tokens of `text`, ending with an End
// token.  Fails on an unterminated string, name or comment, on unbalanced
// parentheses and on characters T-SQL does not use.
TokenizeResult Tokenize(std::string_view text, std::vector<Token>& tokens);

inline std::string_view TokenText(std::string_view text, const Token& t) {
  return text.substr(t.pos, t.len);
}

// A literal token (Number, String or NString) of a batch.
struct Literal {
  std::uint32_t pos = 0;
  std::uint32_t len = 0;
  TokenKind kind = TokenKind::Number;
  friend bool operator==(const Literal&, const Literal&) = default;
};

// The literals of `text` in order, found exactly where Tokenize finds them
// but without the rest of a tokenization: all a batch needs to be matched
// with a cached translation and have its values bound.  False when a string,
// name or comment is not terminated (Tokenize then says where).
bool ScanLiterals(std::string_view text, std::vector<Literal>& literals);

// The literal tokens of a tokenized batch, as ScanLiterals lists them.
void LiteralsOf(const std::vector<Token>& tokens, std::vector<Literal>& literals);

// A word of up to 16 characters, upper-cased and packed into two integers, so
// that keyword and function tables are searched by integer comparison.
struct WordKey {
  std::uint64_t lo = 0;
  std::uint64_t hi = 0;
  constexpr auto operator<=>(const WordKey&) const = default;
};

// False for words longer than 16 characters (no table entry is that long).
constexpr bool MakeWordKey(std::string_view word, WordKey& key) {
  if (word.size() > 16) return false;
  key = {};
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::uint64_t byte = static_cast<unsigned char>(c);
    if (i < 8) key.lo |= byte << (8 * (7 - i));
    else key.hi |= byte << (8 * (15 - i));
  }
  return true;
}

// Case-insensitive ASCII comparison of a word with an upper-case literal.
bool WordIs(std::string_view word, std::string_view upper);

// "line L, column C" for a byte position, for messages.
std::string DescribePosition(std::string_view text, std::uint32_t pos);

}  // namespace tovan::data::tsql
