// Runs the dialect's record files (tests/data/dialect/*.test) against an
// in-memory SQLite database loaded with fixture.sql, a fresh one per file.
//
// Record format (records end at a blank line; lines starting with # outside
// records are comments; inside a record the lines of T-SQL are joined with
// CR LF, as the component joins them; the four characters \r\n stand for a
// CR LF within a line):
//
//   statement ok                  translate the T-SQL and run it; it must succeed
//   statement error <text>        translating or running must fail with <text> in the message
//   query [rowsort] [names]       run it; compare the rows of the first statement that returned
//   <tsql>                        columns (names: the first expected line holds the column
//   ----                          names); values joined by |, NULL for null, reals as %.15g
//   <expected rows>
//   translate                     compare the translation, one line per statement, blanks
//   <tsql>                        collapsed: the SQLite text, SKIP, or IF <probe> with the
//   ----                          statements it guards on the following lines as THEN <text>
//   <expected translation>
//
// A record whose header also says "embedded" looks at how SQLite stores a
// value (typeof) and runs on the embedded engine only.
//
// Every file runs twice: with the plain translation, and as the backend runs
// batches, parameterized, translations reused across batches of one shape and
// the values of each batch bound; both must give the expected rows and errors.
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/data/sqlite/tsql_dialect.h"
#include "tests/data/dialect_records.h"

namespace tovan::data::sqlite {
namespace {

using ::tovan::testing::dialect_files::CollapseBlanks;
using ::tovan::testing::dialect_files::Joined;
using ::tovan::testing::dialect_files::ParseRecords;
using ::tovan::testing::dialect_files::ReadFile;
using ::tovan::testing::dialect_files::Record;
namespace fs = std::filesystem;

void RenderTranslation(const std::vector<TranslatedStatement>& statements, const std::string& prefix,
                       std::vector<std::string>& lines) {
  for (const TranslatedStatement& s : statements) {
    switch (s.kind) {
      case TranslatedStatement::Kind::Skip:
        lines.push_back(prefix + "SKIP");
        break;
      case TranslatedStatement::Kind::Execute:
        lines.push_back(prefix + CollapseBlanks(s.sql));
        break;
      case TranslatedStatement::Kind::IfThen:
        lines.push_back(prefix + "IF " + CollapseBlanks(s.sql));
        RenderTranslation(s.then, prefix + "THEN ", lines);
        break;
    }
  }
}

// Runs translated statements the way the sqlite backend does.
class Database {
 public:
  Database() { sqlite3_open(":memory:", &db_); }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool Load(const std::string& sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : "fixture failed";
    sqlite3_free(message);
    return false;
  }

  // Rows of the first statement that returned columns.
  struct Rows {
    std::vector<std::string> columns;
    std::vector<std::string> lines;
  };

  // The batch whose literals parameterized statements bind.
  struct Values {
    std::string_view tsql;
    std::vector<Literal> literals;
  };

  bool Run(const std::vector<TranslatedStatement>& statements, Rows& rows, std::string& error,
           const Values* values = nullptr) {
    for (const TranslatedStatement& s : statements) {
      if (s.kind == TranslatedStatement::Kind::Skip) continue;
      Rows result;
      if (!RunOne(s, result, error, values)) return false;
      if (s.kind == TranslatedStatement::Kind::Execute) {
        // The batch's rows are those of its first statement that returns columns, as a backend answers.
        if (!result.columns.empty() && rows.columns.empty()) rows = std::move(result);
        continue;
      }
      if (result.lines.size() != 1 || result.columns.size() != 1) {
        error = "IF probe did not give one value: " + s.sql;
        return false;
      }
      const std::string& v = result.lines[0];
      if (v != "NULL" && v != "0" && !Run(s.then, rows, error, values)) return false;
    }
    return true;
  }

 private:
  bool RunOne(const TranslatedStatement& s, Rows& rows, std::string& error, const Values* values) {
    const std::string& sql = s.sql;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK) {
      error = fmt::format("{} in: {}", sqlite3_errmsg(db_), sql);
      return false;
    }
    if (std::string_view(tail).find_first_not_of(" \t\r\n") != std::string_view::npos) {
      sqlite3_finalize(stmt);
      error = "more than one SQLite statement in: " + sql;
      return false;
    }
    if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(s.params.size())) {
      sqlite3_finalize(stmt);
      error = fmt::format("{} parameters for {} values in: {}", sqlite3_bind_parameter_count(stmt), s.params.size(), sql);
      return false;
    }
    for (std::size_t i = 0; i < s.params.size() && values != nullptr; ++i) {
      std::string scratch;
      const LiteralValue v = ParameterValue(values->tsql, values->literals[s.params[i]], scratch);
      const int index = static_cast<int>(i + 1);
      if (v.is_integer) {
        sqlite3_bind_int64(stmt, index, v.integer);
      } else {
        sqlite3_bind_text(stmt, index, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
      }
    }
    const int n = sqlite3_column_count(stmt);
    for (int c = 0; c < n; ++c) rows.columns.emplace_back(sqlite3_column_name(stmt, c));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::string line;
      for (int c = 0; c < n; ++c) {
        if (c > 0) line += '|';
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_NULL: line += "NULL"; break;
          case SQLITE_INTEGER: line += std::to_string(sqlite3_column_int64(stmt, c)); break;
          case SQLITE_FLOAT: line += fmt::format("{:.15g}", sqlite3_column_double(stmt, c)); break;
          default: line += reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)); break;
        }
      }
      rows.lines.push_back(std::move(line));
    }
    if (rc != SQLITE_DONE) error = fmt::format("{} in: {}", sqlite3_errmsg(db_), sql);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
  }

  sqlite3* db_ = nullptr;
};

// The backend's translation cache in small: a translation serves every later
// batch of its shape whose fixed literals are the same.
class Shapes {
 public:
  Translation Get(const std::string& tsql, Database::Values& values) {
    values.tsql = tsql;
    std::vector<Token> tokens;
    if (!Tokenize(tsql, tokens).ok) return TranslateBatch(tsql);
    LiteralsOf(tokens, values.literals);
    std::vector<Literal> scanned;
    EXPECT_TRUE(ScanLiterals(tsql, scanned));
    EXPECT_EQ(scanned, values.literals) << "the scan and the tokenizer disagree on the literals";
    std::string shape;
    BatchShape(tsql, values.literals, shape);
    for (const Translation& t : cache_[shape]) {
      bool same = true;
      for (const auto& [place, text] : t.fixed) {
        const Literal& l = values.literals[place];
        same = same && tsql.compare(l.pos, l.len, text) == 0;
      }
      if (same) return t;
    }
    Translation made = TranslateTokens(tsql, tokens, /*parameterize=*/true);
    if (made.ok) cache_[shape].push_back(made);
    return made;
  }

 private:
  std::map<std::string, std::vector<Translation>> cache_;
};

class DialectFileTest : public ::testing::TestWithParam<std::string> {};

void RunRecords(const std::string& name, bool bind_values) {
  const fs::path dir(DIALECT_TEST_DIR);
  const std::string file = name + ".test";
  Database db;
  Shapes shapes;
  std::string error;
  ASSERT_TRUE(db.Load(ReadFile(dir / "fixture.sql"), error)) << error;
  const std::vector<Record> records = ParseRecords(ReadFile(dir / file));
  ASSERT_FALSE(records.empty()) << file << " holds no record";

  for (const Record& r : records) {
    SCOPED_TRACE(fmt::format("{}:{}: {}", file, r.line, r.header));
    std::istringstream words(r.header);
    std::string kind, mode;
    words >> kind >> mode;
    if (bind_values && kind == "translate") continue;  // parameterized texts differ by design
    Database::Values values;
    const Translation t = bind_values ? shapes.Get(r.tsql, values) : TranslateBatch(r.tsql);
    const Database::Values* bound = bind_values ? &values : nullptr;

    if (kind == "statement" && mode == "error") {
      const std::string wanted = CollapseBlanks(r.header.substr(r.header.find("error") + 5));
      std::string message = t.error;
      Database::Rows rows;
      if (t.ok && db.Run(t.statements, rows, message, bound)) {
        ADD_FAILURE() << "expected an error containing '" << wanted << "'";
      } else {
        EXPECT_NE(message.find(wanted), std::string::npos) << "message: " << message;
      }
      continue;
    }
    if (!t.ok) {
      ADD_FAILURE() << "translation failed: " << t.error;
      continue;
    }
    if (kind == "translate") {
      std::vector<std::string> actual;
      RenderTranslation(t.statements, "", actual);
      std::vector<std::string> expected;
      for (const std::string& l : r.expected) expected.push_back(CollapseBlanks(l));
      EXPECT_EQ(Joined(actual), Joined(expected));
      continue;
    }
    Database::Rows rows;
    if (!db.Run(t.statements, rows, error, bound)) {
      ADD_FAILURE() << "execution failed: " << error;
      continue;
    }
    if (kind == "statement") continue;
    if (kind != "query" || !r.has_expected) {
      ADD_FAILURE() << "unknown record kind";
      continue;
    }
    std::vector<std::string> actual = rows.lines;
    if (r.header.find("rowsort") != std::string::npos) std::sort(actual.begin(), actual.end());
    if (r.header.find("names") != std::string::npos) {
      std::string names;
      for (std::size_t c = 0; c < rows.columns.size(); ++c) names += (c ? "|" : "") + rows.columns[c];
      actual.insert(actual.begin(), names);
    }
    EXPECT_EQ(Joined(actual), Joined(r.expected));
  }
}

TEST_P(DialectFileTest, Records) { RunRecords(GetParam(), /*bind_values=*/false); }

TEST_P(DialectFileTest, RecordsWithValuesBound) { RunRecords(GetParam(), /*bind_values=*/true); }

INSTANTIATE_TEST_SUITE_P(Files, DialectFileTest, ::testing::ValuesIn(::tovan::testing::dialect_files::TestFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tovan::data::sqlite
