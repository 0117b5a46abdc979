// Translating a T-SQL batch into the statements of another engine.
//
// The component builds SQL Server text; a backend hands it here with its own
// rewriter and runs what comes back.  Nothing outside the backend sees the
// translation, so the component's statements stay exactly as a SQL Server
// backend gets them.  The steps shared by every engine live here: splitting
// the batch, the statements' kinds, parameterizing by shape.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/data/tsql/tokenizer.h"

namespace tovan::data::tsql {

class StatementRewriter;

struct TranslatedStatement {
  enum class Kind {
    Execute,  // run `sql` (the engine's text); it may return rows
    Skip,     // nothing to run (SET NOCOUNT ON/OFF and other session settings)
    IfThen,   // run `sql` (a query giving one row, one column); when its value is
              // non-zero and not NULL, run `then` in order
  };
  Kind kind = Kind::Execute;
  std::string sql;
  std::vector<TranslatedStatement> then;
  std::string original;  // the T-SQL text of this statement (trimmed), for messages and traces
  // Parameterized translations only: the batch's literals (by their place
  // among its literals, from 0) whose values bind to the "?" of `sql`, in
  // order (a literal may appear more than once).
  std::vector<std::uint32_t> params;
};

struct Translation {
  bool ok = true;
  std::string error;  // when !ok: a one-line message naming the construct that cannot be
                      // translated and where
  std::vector<TranslatedStatement> statements;
  // Parameterized translations only: the literals written into the SQL as
  // they stand (by place among the literals), with their text.  Another batch
  // of the same shape may reuse the translation only when these are the same.
  std::vector<std::pair<std::uint32_t, std::string>> fixed;
};

// Splits a tokenized batch into statements and rewrites each with `rewriter`
// (made for this text and these tokens).  Every `sql` is exactly one statement
// of the engine, without a trailing semicolon.  Parameterized (when the
// rewriter was made so): literals
// whose value cannot change what the statement means (values compared,
// written or computed with) become "?" parameters bound from the batch's
// tokens, so that one translation and one prepared statement serve every
// batch that differs from it only in those values.  Literals the rewrite
// reads (TOP counts, CONVERT styles, LIKE patterns, names) or that name
// result columns, and ORDER BY / GROUP BY positions, stay in the text.
Translation TranslateWith(std::string_view tsql, const std::vector<Token>& tokens, StatementRewriter& rewriter);

// The shape of a batch: its text with each literal replaced by a marker byte
// of its kind (whole numbers the rewrite may bind apart from other numbers).
// Two batches of one shape get the same parameterized translation, except
// for the literals it keeps in the text (Translation::fixed).
void BatchShape(std::string_view tsql, const std::vector<Literal>& literals, std::string& shape);

// Whether a number literal is one the rewrite may bind (a plain whole number).
bool IsBindableNumber(std::string_view text);

// The value a parameter of a parameterized translation takes from its
// literal: a whole number (Number) or the text of a string literal (String,
// NString), its quotes undone and a date brought into canonical form, as the
// rewrite writes it.  `scratch` holds the text when it is not a slice of `tsql`.
struct LiteralValue {
  bool is_integer = false;
  std::int64_t integer = 0;
  std::string_view text;
};
LiteralValue ParameterValue(std::string_view tsql, const Literal& literal, std::string& scratch);

}  // namespace tovan::data::tsql
