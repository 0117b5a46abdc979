// Rewrites split T-SQL statements into the statements of another engine.
//
// The rewrite is token by token, copying the text between tokens as it is,
// so that a statement the engine understands as written leaves unchanged.
// This class does what every engine needs (statement forms: SELECT ... INTO,
// TOP, INSERT without INTO, DELETE without FROM, session SETs, IF, table
// hints, comments); each backend derives its own rewriter for what its
// engine reads differently (functions, conversions, names, date literals)
// and refuses what it cannot translate, never passing on what it would misread.
//
// Thread-safety: a rewriter is used by one thread for one batch.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/tsql/splitter.h"
#include "platform/data/tsql/tokenizer.h"
#include "platform/data/tsql/translation.h"

namespace tovan::data::tsql {

// Whether `word` is one of `uppers` (upper-case), without regard to case.
bool OneOf(std::string_view word, std::initializer_list<std::string_view> uppers);
// `word` upper-cased (ASCII), for messages.
std::string Upper(std::string_view word);

// A T-SQL function an engine renames or rewrites.  `function` is the
// backend's own code of the rewrite; `rename` the engine's name for a plain rename.
struct FunctionEntry {
  std::string_view upper;
  int function;
  std::string_view rename;
};
// The entry of `name` in `table` (sorted by `upper`), or null.
const FunctionEntry* FindFunction(std::span<const FunctionEntry> table, std::string_view name);
// `name` as a double-quoted identifier ("a""b"), as both engines read one.
std::string QuoteName(std::string_view name);

// Whether `name` is a T-SQL function that no backend translates.
bool IsUntranslatedFunction(std::string_view name);
// Whether `table` is sorted as FindFunction needs, for a static_assert.
constexpr bool IsSortedTable(std::span<const FunctionEntry> table) {
  for (std::size_t i = 1; i < table.size(); ++i)
    if (!(table[i - 1].upper < table[i].upper)) return false;
  return true;
}

class StatementRewriter {
 public:
  // With `parameterize`, literals that only carry values become "?" and are
  // listed in the statement's `params` (see TranslateTokens).
  StatementRewriter(std::string_view text, const std::vector<Token>& tokens, bool parameterize = false)
      : text_(text), tok_(tokens), parameterize_(parameterize) {}
  virtual ~StatementRewriter() = default;

  // False with error() set when the statement holds something that cannot be translated.
  bool Rewrite(const SplitStatement& statement, TranslatedStatement& out);
  const std::string& error() const { return error_; }
  bool parameterized() const { return parameterize_; }

 protected:
  struct Range {
    std::uint32_t begin;
    std::uint32_t end;
  };
  struct Args {
    std::array<Range, 3> range{};
    std::size_t count = 0;
  };
  struct LimitFrame {
    int depth;            // parenthesis depth of the SELECT that had TOP
    std::uint32_t count;  // token of the row count
  };

  // ---- What each engine says its own way.
  // A call of the function at token i (a word followed by "("): writes its
  // translation and moves i past the call, or fails.  `handled` false leaves
  // the word to be written as it stands (a function both engines share).
  virtual bool EmitFunction(std::uint32_t& i, bool& handled) = 0;
  // A plain name (table, column, alias) at token i, not a #temp name.
  virtual void EmitPlainName(std::uint32_t i) { Append(Text(i)); }
  // A name, quoted for the engine; #temp names included.
  virtual void AppendName(std::string_view name) = 0;
  // The engine's local date and time now, in the host's date form.
  virtual std::string_view CurrentTimestamp() const = 0;
  // "DROP TABLE IF EXISTS " and the qualifier of temp tables (if any).
  virtual std::string_view DropTempTableIfExists() const = 0;
  // A string literal's text as the engine must read it (dates canonical);
  // false to keep it as written.
  virtual bool CanonicalLiteral(std::string_view body, std::string& out) const {
    (void)body;
    (void)out;
    return false;
  }
  // The marker of the next bound parameter ("?" or "$n").
  virtual void AppendPlaceholder() { Append("?"); }
  // How many parameters the statement being written binds so far.
  std::size_t BoundSoFar() const { return params_ == nullptr ? 0 : params_->size(); }
  // The target of a conversion as written: the type's name, its parameters
  // ("(20)", "(18,2)", or empty), the scale of a (precision, scale) pair,
  // and CONVERT's style, one of those both engines know, or empty.
  struct ConversionTarget {
    std::uint32_t type_at = 0;  // the type name's token, for messages
    std::string_view type;
    std::string parameters;
    std::string_view scale;
    std::string_view style;
  };
  // CONVERT(type, value[, style]) and CAST(value AS type), their target
  // read and checked: the engine's own conversion of `value`.
  virtual bool EmitConversion(const ConversionTarget& target, Range value) = 0;

  // CONVERT and CAST calls at token `name` (arguments of CONVERT split
  // already): their targets read and handed to EmitConversion.
  bool EmitConvert(std::uint32_t name, const Args& args);
  bool EmitCast(std::uint32_t name);
  bool ReadConversion(std::uint32_t at, Range type, Range value, Range style);
  // OBJECT_ID('name'[, 'U' | 'V']) at token `at`: the object's own name
  // (its schema's and brackets left off) and the type letter, upper case,
  // or 0 when none is given.
  bool ReadObjectId(std::uint32_t at, const Args& args, std::string_view& name, char& type);

  // The arguments of the call at token `name` (at most three), split at
  // the call's own commas; moves i past the call.  Fails on more.
  bool SplitArguments(std::uint32_t& i, Args& args);
  bool NeedArguments(std::uint32_t name, const Args& args, std::size_t count);

  bool RewriteIf(const SplitStatement& st, TranslatedStatement& out);
  bool RewriteStatement(const SplitStatement& st, TranslatedStatement& out);
  // Marks the literals of [b, e) that may become parameters and counts them.
  // `values_first`: the range starts among values (a DML statement or a
  // condition); `dml`: select lists name nothing (INSERT ... SELECT).
  std::size_t MarkBindable(std::uint32_t b, std::uint32_t e, bool values_first, bool dml);
  // Appends the literal token i, as a parameter when it may be one.
  void AppendLiteral(std::uint32_t i, std::string_view as_written);
  bool TryDropIfExists(const SplitStatement& st, TranslatedStatement& out);
  bool RewriteSimple(std::uint32_t b, std::uint32_t e, TranslatedStatement& out);
  bool RewriteSet(std::uint32_t b, std::uint32_t e, TranslatedStatement& out);
  bool RewriteSelect(std::uint32_t b, std::uint32_t e);
  bool RewriteCreate(std::uint32_t b, std::uint32_t e);

  // Emits tokens [b, e) with the text between them; not the gap before b.
  bool Emit(std::uint32_t b, std::uint32_t e);
  bool EmitWord(std::uint32_t& i, int depth, std::vector<LimitFrame>& frames);
  bool EmitSelect(std::uint32_t& i, int depth, std::vector<LimitFrame>& frames);
  bool EmitString(std::uint32_t& i);
  bool EmitOperator(std::uint32_t& i);
  bool SkipTableHint(std::uint32_t& i);

  void Append(std::string_view s);
  void CopyGap(std::uint32_t i);
  std::string_view Text(std::uint32_t i) const { return TokenText(text_, tok_[i]); }
  Keyword KeywordAt(std::uint32_t i) const {
    return tok_[i].kind == TokenKind::Word ? tok_[i].keyword : Keyword::None;
  }
  bool IsString(std::uint32_t i) const {
    return tok_[i].kind == TokenKind::String || tok_[i].kind == TokenKind::NString;
  }
  // The text of a string literal without its quotes (and N); '' stays doubled.
  std::string_view StringBody(std::uint32_t i) const;
  std::string Unquoted(std::uint32_t i) const;  // a name without its [] or ""
  bool Fail(std::uint32_t i, std::string_view message);

  std::string_view text_;
  const std::vector<Token>& tok_;
  bool parameterize_ = false;
  std::vector<bool> bindable_;             // per token, when parameterizing
  std::vector<std::uint32_t>* params_ = nullptr;  // the statement being written
  std::string error_;
  std::string* out_ = nullptr;
  std::string date_;  // scratch for canonical date text
  std::uint32_t skip_begin_ = 0;  // tokens left out of Emit (the INTO of SELECT ... INTO)
  std::uint32_t skip_end_ = 0;
  int nesting_ = 0;  // Emit recursion, bounded against pathological input
};

}  // namespace tovan::data::tsql
