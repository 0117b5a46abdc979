// The postgresql backend's rewriter: what PostgreSQL reads differently from T-SQL.
//
// Names go quoted in the catalog's spelling (see name_catalog.h), #temp
// tables as quoted lower-case names of the session's temporary schema;
// functions PostgreSQL names otherwise or lacks (isnull, len, charindex,
// getdate, year/month/day, convert and cast with their date styles) and
// object_id are rewritten; the statement forms are the shared rewriter's.
//
// Thread-safety: one thread, one batch.
#pragma once

#include "platform/data/postgresql/name_catalog.h"
#include "platform/data/tsql/rewriter.h"

namespace tovan::data::postgresql {

class PostgresRewriter final : public tsql::StatementRewriter {
 public:
  // With `parameterize`, value literals become $1, $2, ... (see tsql::TranslateWith).
  PostgresRewriter(std::string_view text, const std::vector<tsql::Token>& tokens, const NameCatalog& catalog,
                   bool parameterize = false)
      : StatementRewriter(text, tokens, parameterize), catalog_(catalog) {}

 private:
  bool EmitFunction(std::uint32_t& i, bool& handled) override;
  void EmitPlainName(std::uint32_t i) override;
  void AppendName(std::string_view name) override;
  std::string_view CurrentTimestamp() const override;
  std::string_view DropTempTableIfExists() const override { return "DROP TABLE IF EXISTS "; }
  void AppendPlaceholder() override;

  bool EmitCall(std::uint32_t& i, int function);
  bool EmitConversion(const ConversionTarget& target, Range value) override;
  bool EmitObjectId(std::uint32_t at, const Args& args);

  const NameCatalog& catalog_;
};

}  // namespace tovan::data::postgresql
