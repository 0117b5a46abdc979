// Splits a tokenized T-SQL batch into statements.
//
// T-SQL batches need no semicolons: a statement ends where the next one
// starts, i.e. at a statement keyword (SELECT, INSERT, UPDATE, SET, IF, ...)
// outside parentheses, unless that keyword continues the current statement
// (SELECT after INSERT ... (cols) or UNION, SET after UPDATE, the main
// statement of a WITH, IF in DROP TABLE IF EXISTS).  IF takes the next
// statement, or a BEGIN ... END block, as its body.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/tsql/tokenizer.h"

namespace tovan::data::tsql {

struct SplitStatement {
  enum class Kind : std::uint8_t { Simple, If };
  Kind kind = Kind::Simple;
  std::uint32_t begin = 0;  // token range [begin, end) of the whole statement
  std::uint32_t end = 0;
  std::uint32_t cond_begin = 0;  // If: token range of the condition
  std::uint32_t cond_end = 0;
  std::vector<SplitStatement> body;  // If: run when the condition holds
};

struct SplitResult {
  bool ok = true;
  std::string error;
  std::vector<SplitStatement> statements;
};

SplitResult SplitBatch(std::string_view text, const std::vector<Token>& tokens);

}  // namespace tovan::data::tsql
