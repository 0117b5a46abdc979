// The sqlite backend's rewriter: what SQLite reads differently from T-SQL.
//
// Functions SQLite names otherwise or lacks (isnull, len, left, right,
// charindex, getdate, year/month/day, convert and cast), object_id of a
// table, quoted names, and date literals brought into the stored text form;
// the statement forms are the shared rewriter's.
//
// Thread-safety: one thread, one batch.
#pragma once

#include "platform/data/tsql/rewriter.h"

namespace tovan::data::sqlite {

class SqliteRewriter final : public tsql::StatementRewriter {
 public:
  using StatementRewriter::StatementRewriter;

 private:
  bool EmitFunction(std::uint32_t& i, bool& handled) override;
  void AppendName(std::string_view name) override;
  std::string_view CurrentTimestamp() const override;
  std::string_view DropTempTableIfExists() const override { return "DROP TABLE IF EXISTS temp."; }
  bool CanonicalLiteral(std::string_view body, std::string& out) const override;

  bool EmitCall(std::uint32_t& i, int function);
  bool EmitConversion(const ConversionTarget& target, Range value) override;
  bool EmitObjectId(std::uint32_t at, const Args& args);
};

}  // namespace tovan::data::sqlite
