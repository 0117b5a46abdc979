// Runs of held-back writes of one shape, run as one set-based statement
// (UPDATE ... FROM (VALUES ...), multi-row INSERT): one step of SQLite's
// engine for a bill's lines instead of one per line.
#include <sqlite3.h>

#include <unordered_set>

#include "platform/automation/text.h"
#include "platform/data/data_error.h"
#include "platform/data/sqlite/backend.h"

namespace tovan::data::sqlite {

namespace {

constexpr std::size_t kMaxRunRows = 256;
constexpr std::size_t kMaxRunParams = 4096;
// Held writes run at the latest when this many wait.
constexpr std::size_t kMaxHeld = 512;

bool IsWrite(std::string_view sql) {
  std::string lead;
  for (std::size_t i = 0; i < sql.size() && lead.size() < 6; ++i) lead.push_back(automation::AsciiLower(sql[i]));
  return lead == "insert" || lead == "update";
}

class Reset {
 public:
  explicit Reset(sqlite3_stmt* st) : st_(st) {}
  ~Reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  Reset(const Reset&) = delete;
  Reset& operator=(const Reset&) = delete;

 private:
  sqlite3_stmt* st_;
};

}  // namespace

void SqliteBackend::BeginRun() { ++run_depth_; }

void SqliteBackend::EndRun() {
  if (run_depth_ > 0) --run_depth_;
  if (run_depth_ == 0) FlushHeld();
}

void SqliteBackend::AbandonRun() noexcept {
  if (run_depth_ > 0) --run_depth_;
  if (run_depth_ == 0) held_.clear();
}

const SqliteBackend::RunShape& SqliteBackend::RunShapeOf(const std::string& sql) {
  if (auto it = run_shapes_.find(sql); it != run_shapes_.end()) return it->second;
  RunShape shape;
  if (IsWrite(sql)) {
    if (std::optional<tsql::SetRunShape> parsed = tsql::ParseSetRunShape(sql)) {
      // The table must run a set as it runs the rows one by one: no trigger
      // (it would see the rows one at a time), no unique index over a column
      // the update sets (checked row by row, so in the order rows go).
      const std::string& table = parsed->table;
      std::string columns = ",";
      for (const std::string& c : parsed->set_columns) columns += c + ",";
      const automation::Variant args[] = {automation::Variant(table), automation::Variant(columns)};
      // The question reads no row the held writes change: they stay held.
      std::vector<HeldWrite> keep;
      keep.swap(held_);
      ResultSet allowed;
      try {
        allowed = ExecuteNative(
          "SELECT EXISTS (SELECT 1 FROM sqlite_schema WHERE type = 'table' AND lower(name) = lower(?1) "
          "UNION ALL SELECT 1 FROM sqlite_temp_schema WHERE type = 'table' AND lower(name) = lower(?1)) "
          "AND NOT EXISTS (SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND lower(tbl_name) = lower(?1)) "
          "AND NOT EXISTS (SELECT 1 FROM sqlite_temp_schema WHERE type = 'trigger' AND lower(tbl_name) = lower(?1)) "
          "AND NOT EXISTS (SELECT 1 FROM pragma_index_list(?1) l, pragma_index_info(l.name) i WHERE l.\"unique\" "
          "AND (i.name IS NULL OR instr(lower(?2), ',' || lower(i.name) || ',') > 0))",
          args);
      } catch (const automation::AutomationError&) {
        allowed = {};  // not asked: not merged
      }
      keep.swap(held_);
      shape.mergeable = allowed.RowCount() == 1 && automation::CDbl(allowed.At(0, 0)) != 0;
      shape.shape = std::move(*parsed);
    }
  }
  return run_shapes_.emplace(sql, std::move(shape)).first->second;
}

bool SqliteBackend::Hold(const std::shared_ptr<const Translation>& translation, const Batch& batch) {
  if (!set_runs_) return false;
  for (const TranslatedStatement& s : translation->statements) {
    if (s.kind == TranslatedStatement::Kind::Skip) continue;
    if (s.kind != TranslatedStatement::Kind::Execute || s.params.empty() || !RunShapeOf(s.sql).mergeable)
      return false;
  }
  for (const TranslatedStatement& s : translation->statements) {
    if (s.kind == TranslatedStatement::Kind::Skip) continue;
    HeldWrite& w = held_.emplace_back();
    w.translation = translation;
    w.statement = &s;
    w.values.reserve(s.params.size());
    for (std::uint32_t place : s.params) {
      const tsql::LiteralValue value = tsql::ParameterValue(batch.text, batch.literals[place], value_);
      w.values.push_back({value.is_integer, value.integer, std::string(value.text)});
    }
  }
  if (held_.size() >= kMaxHeld) FlushHeld();
  return true;
}

void SqliteBackend::RunHeld(const HeldWrite* first, std::size_t count) {
  const bool merged = count > 1;
  const std::string sql =
      merged ? tsql::SetRunStatement(run_shapes_.at(first->statement->sql).shape, count, /*dollar=*/false)
             : first->statement->sql;
  sqlite3_stmt* st = Prepare(sql);
  Reset reset(st);
  int index = 0;
  for (std::size_t k = 0; k < count; ++k) {
    for (const HeldValue& v : first[k].values) {
      const int rc = v.is_integer ? sqlite3_bind_int64(st, ++index, v.integer)
                                  : sqlite3_bind_text(st, ++index, v.text.data(), static_cast<int>(v.text.size()),
                                                      SQLITE_STATIC);
      if (rc != SQLITE_OK) Fail();
    }
  }
  if (sqlite3_step(st) != SQLITE_DONE) Fail();
}

void SqliteBackend::FlushHeld() {
  if (held_.empty()) return;
  std::vector<HeldWrite> held;
  held.swap(held_);
  std::unordered_set<std::int64_t> keys;
  for (std::size_t k = 0; k < held.size();) {
    const HeldWrite& first = held[k];
    const tsql::SetRunShape& shape = run_shapes_.at(first.statement->sql).shape;
    const bool update = shape.kind == tsql::SetRunShape::Kind::kUpdate;
    const std::size_t max_rows = std::min(kMaxRunRows, kMaxRunParams / shape.params);
    keys.clear();
    // The run goes on while the statement is the same and, for updates, each
    // meets a row none before it met.
    auto joins = [&](const HeldWrite& w) {
      if (w.statement->sql != first.statement->sql) return false;
      if (!update) return true;
      const HeldValue& key = w.values[shape.key_param];
      std::int64_t n = key.integer;
      if (!key.is_integer) {
        if (!tsql::IsCanonicalKey(key.text)) return false;
        n = std::strtoll(key.text.c_str(), nullptr, 10);
      } else if (n > (std::int64_t{1} << 53) || n < -(std::int64_t{1} << 53)) {
        return false;
      }
      return keys.insert(n).second;
    };
    std::size_t end = k + 1;
    if (joins(first)) {
      while (end < held.size() && end - k < max_rows && joins(held[end])) ++end;
    }
    if (end - k > 1) {
      const bool in_unit = InTransaction();
      try {
        RunHeld(&held[k], end - k);
        k = end;
        continue;
      } catch (const automation::AutomationError&) {
        // A failed statement undoes itself alone; should the unit be gone
        // with it, nothing may run outside it.
        if (in_unit && !InTransaction()) throw;
      }
    }
    // One by one: the first failure is the one a statement of its own meets.
    for (; k < end; ++k) RunHeld(&held[k], 1);
  }
}

}  // namespace tovan::data::sqlite
