// Set-based runs: a run of held-back writes of one shape sent as one
// statement.  Both backends hold back writes nobody reads the results of;
// where several in a row are the same translated statement with other
// values, one set-based statement does their work in one execution:
//   UPDATE t SET a=$1 WHERE k=$2        (many)  ->  UPDATE t SET a=v.column1 FROM (VALUES ...) AS v WHERE k=v.column2
//   INSERT INTO t (a,b) VALUES ($1,$2)  (many)  ->  INSERT INTO t (a,b) VALUES ($1,$2),($3,$4),...
// Only the plainest forms qualify, every value a bound literal: an update
// that sets columns to values where one column equals a value, and an
// insert of values.  Whether the table allows it (no triggers, no unique
// index on a column the update sets) the backend asks its engine.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::data::tsql {

struct SetRunShape {
  enum class Kind { kUpdate, kInsert };
  Kind kind = Kind::kUpdate;
  std::string table;                    // the table's name, quotes undone (a schema's name left off)
  std::vector<std::string> set_columns;  // bare names (quotes undone): those an update sets
  std::size_t params = 0;                // placeholders of one statement
  std::size_t key_param = 0;             // update: the placeholder (from 0) the key column equals
  // The statement's text around its placeholders: text[0] ph text[1] ph ... text[params].
  std::vector<std::string> text;
  // Where the merged statement departs from the text: an update's " WHERE"
  // (the VALUES go in before it), an insert's "(" of its values.
  std::size_t split_piece = 0;
  std::size_t split_offset = 0;
};

// The shape of one translated statement (placeholders "$1".. in order, or
// "?"), or nothing when it is not one of the forms above.
std::optional<SetRunShape> ParseSetRunShape(std::string_view sql);

// Whether set-based runs are wanted: DAILYBALANCE_SET_RUNS=0 sends every
// held write by itself, the path the set-based one must match.
bool SetRunsWanted();

// Whether a key's text names one value under any type or affinity it
// compares as: a whole number written canonically, well inside a double's
// exact range.  Two different such texts never meet the same row, so a run
// of updates whose keys are such and differ may go as one.
bool IsCanonicalKey(std::string_view text);

// The one statement doing `rows` statements of `shape`, their values bound in
// order (statement by statement).  `dollar`: placeholders numbered "$n", else "?".
std::string SetRunStatement(const SetRunShape& shape, std::size_t rows, bool dollar);

}  // namespace tovan::data::tsql
