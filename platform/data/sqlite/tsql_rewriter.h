// Rewrites split T-SQL statements into SQLite statements.
//
// The rewrite is token by token, copying the text between tokens as it is,
// so that a statement SQLite understands as written leaves unchanged.  What
// SQLite would read differently, or not at all, is rewritten (temp tables,
// TOP, isnull, convert, left/right, object_id, session SETs, date literals)
// or refused with a message; nothing is passed on that SQLite would misread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/sqlite/tsql_dialect.h"
#include "platform/data/tsql/splitter.h"
#include "platform/data/tsql/tokenizer.h"

namespace tovan::data::sqlite {

class StatementRewriter {
 public:
  // With `parameterize`, literals that only carry values become "?" and are
  // listed in the statement's `params` (see TranslateTokens).
  StatementRewriter(std::string_view text, const std::vector<Token>& tokens, bool parameterize = false)
      : text_(text), tok_(tokens), parameterize_(parameterize) {}

  // False with error() set when the statement holds something that cannot be translated.
  bool Rewrite(const SplitStatement& statement, TranslatedStatement& out);
  const std::string& error() const { return error_; }

 private:
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
  bool EmitCall(std::uint32_t& i, int function);
  bool EmitConversion(std::uint32_t at, Range type, Range value, Range style);
  bool EmitObjectId(std::uint32_t at, const Args& args);
  bool EmitString(std::uint32_t& i);
  bool EmitOperator(std::uint32_t& i);
  bool SkipTableHint(std::uint32_t& i);

  void Append(std::string_view s);
  void AppendName(std::string_view name);
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

}  // namespace tovan::data::sqlite
