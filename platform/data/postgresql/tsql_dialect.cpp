#include "platform/data/postgresql/tsql_dialect.h"

#include "platform/data/postgresql/tsql_rewriter.h"

namespace tovan::data::postgresql {

tsql::Translation TranslateBatch(std::string_view tsql, const NameCatalog& catalog) {
  std::vector<tsql::Token> tokens;
  const tsql::TokenizeResult tokenized = tsql::Tokenize(tsql, tokens);
  if (!tokenized.ok) {
    tsql::Translation failed;
    failed.ok = false;
    failed.error = tokenized.error;
    return failed;
  }
  return TranslateTokens(tsql, tokens, catalog, /*parameterize=*/false);
}

tsql::Translation TranslateTokens(std::string_view tsql, const std::vector<tsql::Token>& tokens,
                                  const NameCatalog& catalog, bool parameterize) {
  PostgresRewriter rewriter(tsql, tokens, catalog, parameterize);
  return tsql::TranslateWith(tsql, tokens, rewriter);
}

}  // namespace tovan::data::postgresql
