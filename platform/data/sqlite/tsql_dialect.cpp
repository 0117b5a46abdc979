#include "platform/data/sqlite/tsql_dialect.h"

#include "platform/data/sqlite/tsql_rewriter.h"
#include "platform/data/sqlite/tsql_splitter.h"
#include "platform/data/sqlite/tsql_tokenizer.h"

namespace tovan::data::sqlite {

Translation TranslateBatch(std::string_view tsql) {
  Translation result;
  auto fail = [&result](std::string message) {
    result.ok = false;
    result.error = std::move(message);
    result.statements.clear();
    return result;
  };
  if (tsql.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) {
    // ADO refuses an empty command text too.
    return fail("empty command text");
  }

  std::vector<Token> tokens;
  const TokenizeResult tokenized = Tokenize(tsql, tokens);
  if (!tokenized.ok) return fail(tokenized.error);
  const SplitResult split = SplitBatch(tsql, tokens);
  if (!split.ok) return fail(split.error);

  StatementRewriter rewriter(tsql, tokens);
  result.statements.reserve(split.statements.size());
  for (const SplitStatement& statement : split.statements) {
    TranslatedStatement translated;
    if (!rewriter.Rewrite(statement, translated)) return fail(rewriter.error());
    result.statements.push_back(std::move(translated));
  }
  return result;
}

}  // namespace tovan::data::sqlite
