// Statements: batches translated by shape and run on cached prepared
// statements, rows read back typed, native SQL and scripts, procedure calls.
#include "platform/data/sqlite/backend.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "platform/automation/text.h"
#include "platform/data/ado_constants.h"
#include "platform/data/data_error.h"
#include "platform/data/sqlite/tsql_dialect.h"

namespace tovan::data::sqlite {

using automation::Variant;

namespace {
// The bound of the statement cache.  Statements whose literals stay in their
// text (the inserts of a stock bill's entries) churn through it; the least
// recently used half goes when it is full, so the repeating ones stay.
constexpr size_t kMaxStatements = 256;
// Longer statements (long id lists) are one-offs, as their batches are.
constexpr size_t kMaxCachedBatch = tsql::ShapeCache::kMaxCachedBatch;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = automation::AsciiLower(c);
  return out;
}

// The ADO type of a declared column type ("varchar(255)" -> adVarChar).
int32_t AdoTypeOfDeclared(const char* declared) {
  if (declared == nullptr) return ado::kVariant;
  std::string t = Lower(declared);
  if (size_t paren = t.find('('); paren != std::string::npos) t.resize(paren);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  if (t == "bit") return ado::kBoolean;
  if (t == "datetime" || t == "smalldatetime" || t == "date" || t == "datetime2") return ado::kDate;
  if (t == "int" || t == "integer" || t == "smallint" || t == "tinyint") return ado::kInteger;
  if (t == "money" || t == "smallmoney" || t == "decimal" || t == "numeric" || t == "float" || t == "real" ||
      t == "double")
    return ado::kDouble;
  if (t.find("char") != std::string::npos || t == "text" || t == "ntext") return ado::kVarChar;
  return ado::kVariant;
}

Variant IntegerValue(int64_t v) {
  if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
  return Variant(static_cast<double>(v));
}

Variant TextValue(sqlite3_stmt* st, int col) {
  const unsigned char* text = sqlite3_column_text(st, col);
  int bytes = sqlite3_column_bytes(st, col);
  return Variant(std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes)));
}

Variant ReadValue(sqlite3_stmt* st, int col, int32_t ado_type) {
  int storage = sqlite3_column_type(st, col);
  if (storage == SQLITE_NULL) return Variant::Null();
  switch (ado_type) {
    case ado::kBoolean:
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return Variant(sqlite3_column_double(st, col) != 0);
      break;
    case ado::kDate:
      if (storage == SQLITE_TEXT) {
        Variant text = TextValue(st, col);
        if (auto d = automation::ParseDate(text.string())) return Variant(*d);
        return text;
      }
      break;
    case ado::kDouble:
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return Variant(sqlite3_column_double(st, col));
      break;
    case ado::kVarChar:
      return TextValue(st, col);
    default:
      break;
  }
  switch (storage) {
    case SQLITE_INTEGER: return IntegerValue(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: {
      double d = sqlite3_column_double(st, col);
      // An int column holding a whole number stays a Long.
      if (ado_type == ado::kInteger && std::floor(d) == d && d >= INT32_MIN && d <= INT32_MAX)
        return Variant(static_cast<int32_t>(d));
      return Variant(d);
    }
    default: return TextValue(st, col);
  }
}

bool IsDataChange(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n' || sql[i] == '('))
    ++i;
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) word += automation::AsciiLower(sql[i++]);
  return word == "insert" || word == "update" || word == "delete" || word == "replace";
}

// Resets a statement taken from the cache when its use ends, however it ends.
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* st) : st_(st) {}
  ~ResetOnExit() { sqlite3_reset(st_); }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* st_;
};
}  // namespace

void SqliteBackend::ExecuteScript(const std::string& sql) {
  FlushHeld();
  run_shapes_.clear();  // a script may make a trigger or an index
  Script(sql);
}

ResultSet SqliteBackend::ExecuteNative(const std::string& sql, std::span<const Variant> params) {
  FlushHeld();
  sqlite3_stmt* st = Prepare(sql);
  ResetOnExit reset(st);
  sqlite3_clear_bindings(st);
  for (size_t i = 0; i < params.size(); ++i) {
    const Variant& v = params[i];
    int index = static_cast<int>(i + 1);
    int rc = SQLITE_OK;
    switch (v.type()) {
      case automation::VarType::Integer: rc = sqlite3_bind_int64(st, index, v.integer()); break;
      case automation::VarType::Long: rc = sqlite3_bind_int64(st, index, v.long_value()); break;
      case automation::VarType::Boolean: rc = sqlite3_bind_int64(st, index, v.boolean() ? 1 : 0); break;
      case automation::VarType::Double: rc = sqlite3_bind_double(st, index, v.double_value()); break;
      case automation::VarType::Empty:
      case automation::VarType::Null: rc = sqlite3_bind_null(st, index); break;
      default: {
        std::string text = automation::CStr(v);
        rc = sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      }
    }
    if (rc != SQLITE_OK) Fail();
  }
  ResultSet rows;
  int columns = sqlite3_column_count(st);
  for (int c = 0; c < columns; ++c) {
    const char* name = sqlite3_column_name(st, c);
    rows.columns.push_back({name ? name : "", AdoTypeOfDeclared(sqlite3_column_decltype(st, c))});
  }
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    for (int c = 0; c < columns; ++c) rows.cells.push_back(ReadValue(st, c, rows.columns[static_cast<size_t>(c)].ado_type));
  }
  if (rc != SQLITE_DONE) Fail();
  return rows;
}

void SqliteBackend::FinalizeOneOff() {
  sqlite3_finalize(one_off_);
  one_off_ = nullptr;
}

sqlite3_stmt* SqliteBackend::Prepare(const std::string& sql) {
  ++uses_;
  if (auto it = statements_.find(sql); it != statements_.end()) {
    it->second.last_use = uses_;
    return it->second.statement;
  }
  const bool one_off = sql.size() > kMaxCachedBatch;
  // The previous one-off has run to its end (every statement is reset after use).
  if (one_off) FinalizeOneOff();
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, &tail) !=
      SQLITE_OK)
    Fail();
  if (st == nullptr) RaiseDatabaseError("empty statement");
  if (tail != nullptr && *tail != '\0' && std::strspn(tail, " \t\r\n;") != std::strlen(tail)) {
    sqlite3_finalize(st);
    RaiseDatabaseError("more than one statement in one translated step: " + sql);
  }
  if (one_off) return one_off_ = st;
  if (statements_.size() >= kMaxStatements) {
    // No cached statement is running here: each is reset before the next is prepared.
    std::vector<std::uint64_t> uses;
    uses.reserve(statements_.size());
    for (const auto& [text, cached] : statements_) uses.push_back(cached.last_use);
    std::nth_element(uses.begin(), uses.begin() + static_cast<std::ptrdiff_t>(uses.size() / 2), uses.end());
    const std::uint64_t median = uses[uses.size() / 2];
    std::erase_if(statements_, [median](auto& entry) {
      if (entry.second.last_use >= median) return false;
      sqlite3_finalize(entry.second.statement);
      return true;
    });
  }
  statements_.emplace(sql, CachedStatement{st, uses_});
  return st;
}

void SqliteBackend::Bind(sqlite3_stmt* st, const TranslatedStatement& statement, const Batch& batch) {
  int index = 0;
  for (std::uint32_t place : statement.params) {
    const LiteralValue value = ParameterValue(batch.text, batch.literals[place], value_);
    // A slice of the batch outlives the run, so SQLite need not copy it (every
    // run binds every parameter afresh); the scratch text is copied.
    const bool in_batch = value.text.data() >= batch.text.data() &&
                          value.text.data() + value.text.size() <= batch.text.data() + batch.text.size();
    const int rc = value.is_integer ? sqlite3_bind_int64(st, ++index, value.integer)
                                    : sqlite3_bind_text(st, ++index, value.text.data(),
                                                        static_cast<int>(value.text.size()),
                                                        in_batch ? SQLITE_STATIC : SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) Fail();
  }
}

void SqliteBackend::RunOne(const TranslatedStatement& statement, const Batch& batch, BatchResult& out) {
  const std::string& sql = statement.sql;
  sqlite3_stmt* st = Prepare(sql);
  ResetOnExit reset(st);
  Bind(st, statement, batch);
  int columns = sqlite3_column_count(st);
  bool collect = columns > 0 && !out.has_rows;
  std::vector<int32_t> types;
  if (collect) {
    out.has_rows = true;
    out.rows.columns.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      const char* name = sqlite3_column_name(st, c);
      int32_t type = AdoTypeOfDeclared(sqlite3_column_decltype(st, c));
      out.rows.columns.push_back({name ? name : "", type});
      types.push_back(type);
    }
  }
  for (;;) {
    int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) Fail();
    if (!collect) continue;
    for (int c = 0; c < columns; ++c) out.rows.cells.push_back(ReadValue(st, c, types[static_cast<size_t>(c)]));
  }
  if (columns == 0 && IsDataChange(sql)) out.records_affected += sqlite3_changes64(db_);
}

bool SqliteBackend::RunCondition(const TranslatedStatement& statement, const Batch& batch) {
  sqlite3_stmt* st = Prepare(statement.sql);
  ResetOnExit reset(st);
  Bind(st, statement, batch);
  int rc = sqlite3_step(st);
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) Fail();
  return sqlite3_column_type(st, 0) != SQLITE_NULL && sqlite3_column_double(st, 0) != 0;
}

void SqliteBackend::Run(const std::vector<TranslatedStatement>& statements, const Batch& batch, BatchResult& out) {
  for (const TranslatedStatement& s : statements) {
    switch (s.kind) {
      case TranslatedStatement::Kind::Skip: break;
      case TranslatedStatement::Kind::Execute: RunOne(s, batch, out); break;
      case TranslatedStatement::Kind::IfThen:
        if (RunCondition(s, batch)) Run(s.then, batch, out);
        break;
    }
  }
}

BatchResult SqliteBackend::Execute(std::string_view text) {
  // The scratch list is lent out for the batch, so that a batch run from
  // inside another (none is today) would get a list of its own.
  std::vector<Literal> literals;
  literals.swap(literals_);
  const std::shared_ptr<const Translation> translation =
      shapes_.Translate(text, literals, [text](const std::vector<Token>& tokens, bool parameterize) {
        return TranslateTokens(text, tokens, parameterize);
      });
  if (!translation->ok) {
    literals.swap(literals_);
    RaiseDatabaseError(translation->error);
  }
  BatchResult out;
  if (run_depth_ > 0 && Hold(translation, Batch{text, literals})) {
    literals.swap(literals_);
    return out;
  }
  // What is held runs first; a failure among it raises before this batch runs.
  if (!held_.empty()) {
    try {
      FlushHeld();
    } catch (...) {
      literals.swap(literals_);
      throw;
    }
  }
  struct EndOfBatch {
    SqliteBackend& backend;
    ~EndOfBatch() { backend.FinalizeOneOff(); }
  } end_of_batch{*this};
  Run(translation->statements, Batch{text, literals}, out);
  literals.swap(literals_);
  return out;
}

int32_t SqliteBackend::CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) {
  FlushHeld();
  auto it = procedures_.find(Lower(name));
  if (it == procedures_.end()) RaiseDatabaseError("Could not find stored procedure '" + std::string(name) + "'.");
  return it->second(*this, args);
}

void SqliteBackend::RegisterProcedure(std::string name, NativeProcedure procedure) {
  procedures_[Lower(name)] = std::move(procedure);
}

}  // namespace tovan::data::sqlite
