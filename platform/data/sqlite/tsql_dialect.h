// The T-SQL dialect of the sqlite backend.
//
// The component builds SQL Server text; the sqlite backend hands it here and
// runs what comes back.  Nothing outside the backend sees the translation, so
// the component's statements stay exactly as a SQL Server backend gets them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovan::data::sqlite {

struct TranslatedStatement {
  enum class Kind {
    Execute,  // run `sql` (SQLite text); it may return rows
    Skip,     // nothing to run in SQLite (SET NOCOUNT ON/OFF and other session settings)
    IfThen,   // run `sql` (a SQLite query giving one row, one column); when its value is
              // non-zero and not NULL, run `then` in order
  };
  Kind kind = Kind::Execute;
  std::string sql;
  std::vector<TranslatedStatement> then;
  std::string original;  // the T-SQL text of this statement (trimmed), for messages and traces
};

struct Translation {
  bool ok = true;
  std::string error;  // when !ok: a one-line message naming the construct that cannot be
                      // translated and where
  std::vector<TranslatedStatement> statements;
};

// Splits a T-SQL batch into statements and rewrites each for SQLite. Pure function, thread-safe.
// Every `sql` is exactly one SQLite statement, without a trailing semicolon.
Translation TranslateBatch(std::string_view tsql);

}  // namespace tovan::data::sqlite
