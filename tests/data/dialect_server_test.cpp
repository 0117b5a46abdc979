// Runs the rows part of the dialect's record files on a PostgreSQL server:
// each file on a fresh server database holding the fixture (its tables made
// as the host makes them there, its rows inserted through the backend), each
// record's T-SQL through the server backend as the component sends it.
//
// What the server is held to: a `query` gives the expected rows (compared
// in any order: rows come from a server in no fixed order, and the order is
// checked on the embedded engine), column names included where asked; a
// `statement ok` runs; a `statement error` fails.  The translation records
// show the embedded engine's text and are not run here, nor records marked
// "embedded" (they look at how SQLite stores a value).  Money keeps four
// decimals on a server, as on SQL Server, where SQLite keeps the double:
// reals are compared to four decimals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "host/schema_postgresql.h"
#include "platform/automation/error.h"
#include "platform/automation/variant.h"
#include "platform/data/connection.h"
#include "tests/data/dialect_records.h"
#include "tests/support/test_backend.h"

namespace tovan::testing {
namespace {

using automation::Variant;
using automation::VarType;
using dialect_files::Record;

// A value as the embedded runner prints it: integers as digits, reals with
// 15 significant digits, bits as 1 or 0, dates in their stored text form.
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

// The fixture's CREATE statements made as the host makes its schema on the
// server; its other statements are T-SQL, sent through the backend.
void LoadFixture(data::Connection& connection, const std::string& fixture) {
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
      statement.pop_back();
      statement.pop_back();
      statement.pop_back();  // the ';': the component never ends a statement with one
      connection.Execute(statement);
      statement.clear();
    }
  }
  connection.backend().ExecuteScript(hostlib::detail::kPostgresIdentities);
}

class ServerDialectFile : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!OnServer() || ServerHost().empty()) GTEST_SKIP() << "no PostgreSQL server to run the records on";
    source_ = FreshDataSource("");
  }
  void TearDown() override {
    connection_.reset();
    if (!source_.empty()) DropTestDatabase(source_);
  }
  std::string source_;
  std::shared_ptr<data::Connection> connection_;
};

TEST_P(ServerDialectFile, RowsAsOnTheEmbeddedEngine) {
  const std::filesystem::path dir(DIALECT_TEST_DIR);
  connection_ = data::OpenConnection(source_);
  ASSERT_NO_THROW(LoadFixture(*connection_, dialect_files::ReadFile(dir / "fixture.sql")));
  const std::string file = GetParam() + ".test";
  for (const Record& r : dialect_files::ParseRecords(dialect_files::ReadFile(dir / file))) {
    SCOPED_TRACE(fmt::format("{}:{}: {}", file, r.line, r.header));
    // Translations are the embedded engine's text; "embedded" marks what looks at its storage.
    if (r.header == "translate" || r.header.find("embedded") != std::string::npos) continue;
    const bool wants_error = r.header.rfind("statement error", 0) == 0;
    data::BatchResult result;
    std::string error;
    try {
      result = connection_->ExecuteBatch(r.tsql);
    } catch (const automation::AutomationError& e) {
      error = e.description();
    }
    if (wants_error) {
      EXPECT_FALSE(error.empty()) << "expected an error";
      continue;
    }
    if (!error.empty()) {
      ADD_FAILURE() << "failed on the server: " << error;
      continue;
    }
    if (r.header.rfind("query", 0) != 0) continue;
    std::vector<std::string> actual, expected = r.expected;
    const bool names = r.header.find("names") != std::string::npos;
    if (names && !expected.empty()) {
      std::string line;
      for (std::size_t c = 0; c < result.rows.columns.size(); ++c)
        line += (c ? "|" : "") + result.rows.columns[c].name;
      EXPECT_EQ(line, expected.front()) << "column names";
      expected.erase(expected.begin());
    }
    for (std::size_t row = 0; row < result.rows.RowCount(); ++row) {
      std::string line;
      for (std::size_t c = 0; c < result.rows.columns.size(); ++c)
        line += (c ? "|" : "") + Printed(result.rows.At(row, c));
      actual.push_back(FourDecimals(line));
    }
    for (std::string& line : expected) line = FourDecimals(line);
    std::sort(actual.begin(), actual.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dialect_files::Joined(actual), dialect_files::Joined(expected));
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ServerDialectFile, ::testing::ValuesIn(dialect_files::TestFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tovan::testing
