#include "platform/data/sqlite/tsql_dialect.h"

#include "platform/data/sqlite/tsql_rewriter.h"

namespace tovan::data::sqlite {

Translation TranslateBatch(std::string_view tsql) {
  std::vector<Token> tokens;
  const TokenizeResult tokenized = Tokenize(tsql, tokens);
  if (!tokenized.ok) {
    Translation failed;
    failed.ok = false;
    failed.error = tokenized.error;
    return failed;
  }
  return TranslateTokens(tsql, tokens, /*parameterize=*/false);
}

Translation TranslateTokens(std::string_view tsql, const std::vector<Token>& tokens, bool parameterize) {
  SqliteRewriter rewriter(tsql, tokens, parameterize);
  return TranslateWith(tsql, tokens, rewriter);
}

}  // namespace tovan::data::sqlite
