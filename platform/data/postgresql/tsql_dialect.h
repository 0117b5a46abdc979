// The T-SQL dialect of the postgresql backend: a batch translated into
// PostgreSQL statements by the shared splitter and this backend's rewriter.
//
// Thread-safety: pure functions of their arguments.
#pragma once

#include <string_view>

#include "platform/data/postgresql/name_catalog.h"
#include "platform/data/tsql/translation.h"

namespace tovan::data::postgresql {

// Every `sql` is exactly one PostgreSQL statement, without a trailing
// semicolon; names are spelled as `catalog` has them.
tsql::Translation TranslateBatch(std::string_view tsql, const NameCatalog& catalog);
// The same on a batch tokenized already, optionally parameterized: value
// literals become $1, $2, ... bound from the batch's literals.
tsql::Translation TranslateTokens(std::string_view tsql, const std::vector<tsql::Token>& tokens,
                                  const NameCatalog& catalog, bool parameterize);

}  // namespace tovan::data::postgresql
