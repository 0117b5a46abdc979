// The T-SQL dialect of the sqlite backend: a batch translated into SQLite
// statements by the shared splitter and this backend's rewriter.
//
// Thread-safety: pure functions.
#pragma once

#include <string_view>
#include <vector>

#include "platform/data/tsql/tokenizer.h"
#include "platform/data/tsql/translation.h"

namespace tovan::data::sqlite {

// The shared T-SQL names, as this backend's code reads them.
using namespace tovan::data::tsql;

// Splits a T-SQL batch into statements and rewrites each for SQLite.
// Every `sql` is exactly one SQLite statement, without a trailing semicolon.
Translation TranslateBatch(std::string_view tsql);

// The same on a batch tokenized already, optionally parameterized (see
// tsql::TranslateWith): bound values become "?".
Translation TranslateTokens(std::string_view tsql, const std::vector<Token>& tokens, bool parameterize);

}  // namespace tovan::data::sqlite
