// Runs the dialect's record files (tests/data/dialect/*.test) through the
// data layer as the component's statements go: each file on a fresh database
// holding fixture.sql, each record's T-SQL through Connection::ExecuteBatch,
// so the backend's own translation, shape cache and value binding answer.
// The suite runs once per engine (the pg. run on a PostgreSQL server).
//
// Record format (records end at a blank line; lines starting with # outside
// records are comments; inside a record the lines of T-SQL are joined with
// CR LF, as the component joins them; the four characters \r\n stand for a
// CR LF within a line):
//
//   statement ok                  it must run
//   statement error <text>        it must fail, with <text> in the message on the embedded engine
//   query [rowsort] [names]       compare the rows of the first statement that returned
//   <tsql>                        columns (names: the first expected line holds the column
//   ----                          names); values joined by |, NULL for null, reals as %.15g,
//   <expected rows>               bits as 1 or 0, dates in their stored text form
//   run                           open a statement run (Connection's StatementRun): the records
//                                 up to "end run" go in it, their writes held where the backend holds them
//   end run [error <text>]        finish the run: it must succeed, or fail (with <text> on the embedded engine)
//   translate                     compare the embedded translation, one line per statement,
//   <tsql>                        blanks collapsed: the SQLite text, SKIP, or IF <probe> with the
//   ----                          statements it guards on the following lines as THEN <text>
//   <expected translation>
//
// Records whose header says "embedded" look at how SQLite stores a value
// (typeof) and, like the translations, run on the embedded engine only.  A
// server hands rows out in no fixed order, so there they are compared
// sorted (the order is checked on the embedded engine), and money keeps four
// decimals, as on SQL Server, where SQLite keeps the double: reals are
// compared to four decimals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "host/schema_postgresql.h"
#include "platform/automation/error.h"
#include "platform/data/backend.h"
#include "platform/data/connection.h"
#include "platform/data/sqlite/tsql_dialect.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_backend.h"

namespace tovan::testing {
namespace {

using automation::Variant;
using automation::VarType;
namespace fs = std::filesystem;

struct Record {
  int line = 0;
  std::string header;  // first line: statement ok / query ... / translate
  std::string tsql;
  std::vector<std::string> expected;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<Record> ParseRecords(const std::string& content) {
  std::vector<Record> records;
  std::istringstream in(content);
  Record* current = nullptr;
  bool in_expected = false;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      current = nullptr;
    } else if (current == nullptr) {
      if (line[0] == '#') continue;
      records.push_back({number, line, {}, {}});
      current = &records.back();
      in_expected = false;
    } else if (line == "----") {
      in_expected = true;
    } else if (in_expected) {
      current->expected.push_back(line);
    } else {
      if (!current->tsql.empty()) current->tsql += "\r\n";
      for (std::size_t at; (at = line.find("\\r\\n")) != std::string::npos;) line.replace(at, 4, "\r\n");
      current->tsql += line;
    }
  }
  return records;
}

std::string CollapseBlanks(std::string_view s) {
  std::string out;
  bool blank = false;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
    } else {
      if (blank) out.push_back(' ');
      blank = false;
      out.push_back(c);
    }
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

std::vector<std::string> TestFiles() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(DIALECT_TEST_DIR))
    if (entry.path().extension() == ".test") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

void RenderTranslation(const std::vector<data::sqlite::TranslatedStatement>& statements, const std::string& prefix,
                       std::vector<std::string>& lines) {
  using Kind = data::sqlite::TranslatedStatement::Kind;
  for (const auto& s : statements) {
    if (s.kind == Kind::Skip) lines.push_back(prefix + "SKIP");
    if (s.kind == Kind::Execute) lines.push_back(prefix + CollapseBlanks(s.sql));
    if (s.kind == Kind::IfThen) {
      lines.push_back(prefix + "IF " + CollapseBlanks(s.sql));
      RenderTranslation(s.then, prefix + "THEN ", lines);
    }
  }
}

// A value as the records print it.
std::string Printed(const Variant& v) {
  switch (v.type()) {
    case VarType::Null: return "NULL";
    case VarType::Boolean: return v.boolean() ? "1" : "0";
    case VarType::Integer:
    case VarType::Long: return std::to_string(automation::CLng(v));
    case VarType::Double: return fmt::format("{:.15g}", automation::CDbl(v));
    case VarType::Date: return automation::DateToText(v.date());
    default: return automation::CStr(v);
  }
}

// A printed row with every real rounded to four decimals.
std::string FourDecimals(const std::string& line) {
  std::string out, field;
  std::istringstream in(line);
  bool first = true;
  while (std::getline(in, field, '|')) {
    char* end = nullptr;
    const double value = std::strtod(field.c_str(), &end);
    if (field.find('.') != std::string::npos && end != field.c_str() && *end == '\0') {
      field = fmt::format("{:.4f}", value);
      while (field.back() == '0') field.pop_back();
      if (field.back() == '.') field.pop_back();
    }
    out += (first ? "" : "|") + field;
    first = false;
  }
  return out;
}

// The fixture: SQLite text as it stands on the embedded engine.  On a server
// its CREATE statements are made as the host makes its schema there, and its
// other statements are T-SQL, sent through the backend.
void LoadFixture(data::Connection& connection, const std::string& fixture) {
  if (!OnServer()) return connection.backend().ExecuteScript(fixture);
  std::string tables, rows;
  bool in_create = false;
  std::istringstream in(fixture);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("CREATE ", 0) == 0) in_create = true;
    (in_create ? tables : rows) += line + "\n";
    if (in_create && line.find(';') != std::string::npos) in_create = false;
  }
  connection.backend().ExecuteScript(std::string(hostlib::detail::kPostgresPrologue) +
                                     hostlib::detail::PostgresTables(tables.c_str()));
  std::string statement;
  std::istringstream body(rows);
  for (std::string line; std::getline(body, line);) {
    if (line.rfind("--", 0) == 0 || line.empty()) continue;
    statement += line + "\r\n";
    if (line.back() == ';') {
      statement.resize(statement.size() - 3);  // the ';' and CR LF: the component never ends a statement with one
      connection.Execute(statement);
      statement.clear();
    }
  }
  connection.backend().ExecuteScript(hostlib::detail::kPostgresIdentities);
}

class DialectFile : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    DAILYBALANCE_REQUIRE_BACKEND();
    source_ = FreshDataSource(dir_.File("fixture.db"));
  }
  void TearDown() override {
    connection_.reset();
    if (!source_.empty()) DropTestDatabase(source_);
  }
  TempDir dir_;
  std::string source_;
  std::shared_ptr<data::Connection> connection_;
};

TEST_P(DialectFile, Records) {
  const fs::path dir(DIALECT_TEST_DIR);
  data::OpenOptions create;
  create.create = true;
  connection_ = data::OpenConnection(source_, create);
  ASSERT_NO_THROW(LoadFixture(*connection_, ReadFile(dir / "fixture.sql")));
  const std::string file = GetParam() + ".test";
  const std::vector<Record> records = ParseRecords(ReadFile(dir / file));
  ASSERT_FALSE(records.empty()) << file << " holds no record";
  std::optional<data::StatementRun> run;
  for (const Record& r : records) {
    SCOPED_TRACE(fmt::format("{}:{}: {}", file, r.line, r.header));
    if (OnServer() && (r.header == "translate" || r.header.find("embedded") != std::string::npos)) continue;
    // The literals the backend binds are found by a scan that must agree with the tokenizer.
    std::vector<data::tsql::Token> tokens;
    std::vector<data::tsql::Literal> scanned, tokenized;
    if (data::tsql::Tokenize(r.tsql, tokens).ok) {
      data::tsql::LiteralsOf(tokens, tokenized);
      EXPECT_TRUE(data::tsql::ScanLiterals(r.tsql, scanned));
      EXPECT_EQ(scanned, tokenized) << "the scan and the tokenizer disagree on the literals";
    }
    if (r.header == "run") {
      ASSERT_FALSE(run.has_value()) << "a run inside a run";
      run.emplace(*connection_);
      continue;
    }
    if (r.header.rfind("end run", 0) == 0) {
      ASSERT_TRUE(run.has_value()) << "no run to end";
      std::string error;
      try {
        run->Finish();
      } catch (const automation::AutomationError& e) {
        error = e.description();
      }
      run.reset();
      if (r.header.find("error") == std::string::npos) {
        EXPECT_EQ(error, "");
      } else {
        const std::string wanted = CollapseBlanks(r.header.substr(r.header.find("error") + 5));
        EXPECT_FALSE(error.empty()) << "expected an error containing '" << wanted << "'";
        if (!OnServer()) {
          EXPECT_NE(error.find(wanted), std::string::npos) << "message: " << error;
        }
      }
      continue;
    }
    if (r.header == "translate") {
      const auto t = data::sqlite::TranslateBatch(r.tsql);
      ASSERT_TRUE(t.ok) << t.error;
      std::vector<std::string> actual, expected;
      RenderTranslation(t.statements, "", actual);
      for (const std::string& l : r.expected) expected.push_back(CollapseBlanks(l));
      EXPECT_EQ(Joined(actual), Joined(expected));
      continue;
    }
    data::BatchResult result;
    std::string error;
    try {
      result = connection_->ExecuteBatch(r.tsql);
    } catch (const automation::AutomationError& e) {
      error = e.description();
    }
    if (r.header.rfind("statement error", 0) == 0) {
      const std::string wanted = CollapseBlanks(r.header.substr(r.header.find("error") + 5));
      EXPECT_FALSE(error.empty()) << "expected an error containing '" << wanted << "'";
      if (!OnServer()) {
        EXPECT_NE(error.find(wanted), std::string::npos) << "message: " << error;
      }
      continue;
    }
    if (!error.empty()) {
      ADD_FAILURE() << "failed: " << error;
      continue;
    }
    if (r.header.rfind("query", 0) != 0) continue;
    std::vector<std::string> actual, expected = r.expected;
    if (r.header.find("names") != std::string::npos && !expected.empty()) {
      std::string names;
      for (std::size_t c = 0; c < result.rows.columns.size(); ++c) names += (c ? "|" : "") + result.rows.columns[c].name;
      EXPECT_EQ(names, expected.front()) << "column names";
      expected.erase(expected.begin());
    }
    for (std::size_t row = 0; row < result.rows.RowCount(); ++row) {
      std::string line;
      for (std::size_t c = 0; c < result.rows.columns.size(); ++c) line += (c ? "|" : "") + Printed(result.rows.At(row, c));
      actual.push_back(OnServer() ? FourDecimals(line) : line);
    }
    if (OnServer() || r.header.find("rowsort") != std::string::npos) {
      if (OnServer()) {
        for (std::string& line : expected) line = FourDecimals(line);
      }
      std::sort(actual.begin(), actual.end());
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(Joined(actual), Joined(expected));
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DialectFile, ::testing::ValuesIn(TestFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tovan::testing
