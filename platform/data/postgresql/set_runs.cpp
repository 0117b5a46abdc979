// Runs of held-back writes of one shape, sent as one set-based statement:
// a closing's per-line balance updates and an entry batch's inserts cost the
// server one execution each instead of one per row.
#include <libpq-fe.h>

#include <unordered_set>

#include "platform/automation/text.h"
#include "platform/data/postgresql/backend.h"

namespace tovan::data::postgresql {

namespace {

// Rows per merged statement: its parameters stay far below the protocol's
// 65,535, and the row counts a session prepares stay few.
constexpr std::size_t kMaxRunRows = 256;
constexpr std::size_t kMaxRunParams = 4096;

constexpr unsigned int kInt2 = 21, kInt4 = 23, kInt8 = 20;

// Adds a column's name to the text of an array (names that need quoting there: no).
bool ArrayItem(const std::string& name, std::string& array) {
  for (char c : name)
    if (c == '"' || c == '\\' || c == ',' || c == '{' || c == '}' || c == ' ') return false;
  if (array.size() > 1) array += ',';
  array += name;
  return true;
}

}  // namespace

const PostgresBackend::RunShape& PostgresBackend::RunShapeOf(const Outgoing& o) {
  if (auto it = run_shapes_.find(o.prepared); it != run_shapes_.end()) return it->second;
  RunShape shape;
  std::optional<tsql::SetRunShape> parsed = tsql::ParseSetRunShape(o.sql);
  std::string columns = "{";
  bool named = parsed.has_value();
  if (named) {
    for (const std::string& c : parsed->set_columns) named = named && ArrayItem(c, columns);
  }
  columns += '}';
  if (named && parsed->params == o.params.size()) {
    // One question: the types the server gave the statement's parameters, and
    // whether the table runs a set the way it runs the rows one by one (no
    // trigger or rule that sees them one at a time, no unique or exclusion
    // constraint over a column the update sets, whose checks row by row
    // depend on the order the rows go in).
    std::vector<Outgoing> probe(1);
    probe[0].sql =
        "SELECT (SELECT array_to_string(parameter_types::oid[], ',') FROM pg_catalog.pg_prepared_statements "
        "WHERE name = $1), (SELECT c.relkind = 'r' AND NOT c.relhasrules "
        "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_trigger t WHERE t.tgrelid = c.oid AND NOT t.tgisinternal) "
        "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_constraint x WHERE x.conrelid = c.oid AND x.contype = 'x') "
        "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_index i WHERE i.indrelid = c.oid AND i.indisunique AND "
        "(i.indexprs IS NOT NULL OR EXISTS (SELECT 1 FROM pg_catalog.pg_attribute a WHERE a.attrelid = c.oid "
        "AND a.attnum = ANY(i.indkey) AND a.attname = ANY($3::text[])))) "
        "FROM pg_catalog.pg_class c WHERE c.oid = to_regclass(quote_ident($2)))";
    probe[0].params = {o.prepared, parsed->table, columns};
    probe[0].collect = true;
    BatchResult answer;
    Failure failure;
    if (TryExchange(probe, &answer, failure) && answer.rows.RowCount() == 1 && !answer.rows.At(0, 0).IsNull() &&
        !answer.rows.At(0, 1).IsNull() && automation::CDbl(answer.rows.At(0, 1)) != 0) {
      for (std::string_view rest = answer.rows.At(0, 0).string(); !rest.empty();) {
        const std::size_t comma = rest.find(',');
        shape.types.push_back(static_cast<unsigned int>(std::strtoul(std::string(rest.substr(0, comma)).c_str(), nullptr, 10)));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      }
      shape.mergeable = shape.types.size() == parsed->params;
      if (parsed->kind == tsql::SetRunShape::Kind::kUpdate && shape.mergeable) {
        const unsigned int key = shape.types[parsed->key_param];
        shape.mergeable = key == kInt2 || key == kInt4 || key == kInt8;
      }
      // An insert binds as each statement does: its values meet the columns' types row by row.
      if (parsed->kind == tsql::SetRunShape::Kind::kInsert) shape.types = o.types;
      shape.shape = std::move(*parsed);
    } else if (PQstatus(conn_) != CONNECTION_OK) {
      // Not kept: the next exchange reports the connection.
      static const RunShape none;
      return none;
    }
  }
  return run_shapes_.emplace(o.prepared, std::move(shape)).first->second;
}

bool PostgresBackend::MergeRuns(const std::vector<Outgoing>& statements, std::vector<Outgoing>& merged,
                                std::vector<std::size_t>& origin) {
  bool any = false;
  std::unordered_set<std::string> keys;
  for (std::size_t k = 0; k < statements.size();) {
    const Outgoing& first = statements[k];
    const RunShape* shape = first.held && !first.prepared.empty() ? &RunShapeOf(first) : nullptr;
    std::size_t end = k + 1;
    if (shape != nullptr && shape->mergeable) {
      const bool update = shape->shape.kind == tsql::SetRunShape::Kind::kUpdate;
      const std::size_t key = shape->shape.key_param;
      const std::size_t max_rows = std::min(kMaxRunRows, kMaxRunParams / shape->shape.params);
      keys.clear();
      // The run goes on while the statements are the same prepared one and,
      // for updates, each meets a row none before it met.
      auto joins = [&](const Outgoing& o) {
        if (!o.held || o.prepared != first.prepared) return false;
        if (!o.null.empty()) return false;
        if (!update) return true;
        return tsql::IsCanonicalKey(o.params[key]) && keys.insert(o.params[key]).second;
      };
      if (joins(first)) {
        while (end < statements.size() && end - k < max_rows && joins(statements[end])) ++end;
      }
    }
    if (end - k >= 2) {
      Outgoing run;
      run.sql = tsql::SetRunStatement(shape->shape, end - k, /*dollar=*/true);
      for (std::size_t j = k; j < end; ++j) {
        run.params.insert(run.params.end(), statements[j].params.begin(), statements[j].params.end());
        run.types.insert(run.types.end(), shape->types.begin(), shape->types.end());
      }
      run.prepared = PreparedName(run.sql, run.types, kMaxRunParams, /*may_deallocate=*/false);
      run.counted = false;
      merged.push_back(std::move(run));
      any = true;
    } else {
      end = k + 1;
      merged.push_back(first);
    }
    origin.push_back(k);
    k = end;
  }
  return any;
}

bool PostgresBackend::TryExchangeRuns(std::vector<Outgoing>& statements, BatchResult* out, Failure& failure) {
  std::vector<Outgoing> merged;
  std::vector<std::size_t> origin;
  bool held = false;
  for (const Outgoing& o : statements) held = held || (o.held && !o.prepared.empty());
  if (!held || !set_runs_ || !MergeRuns(statements, merged, origin)) return TryExchange(statements, out, failure);
  if (TryExchange(merged, out, failure)) return true;
  // The statements before the failing one stand (TryExchange saw to it).
  const std::size_t from = origin[failure.index];
  const std::size_t to = failure.index + 1 < origin.size() ? origin[failure.index + 1] : statements.size();
  if (to - from < 2 || PQstatus(conn_) != CONNECTION_OK) {
    failure.index = from;
    return false;
  }
  std::vector<Outgoing> rest(statements.begin() + static_cast<std::ptrdiff_t>(from), statements.end());
  Failure again;
  if (TryExchange(rest, out, again)) return true;
  failure = again;
  failure.index += from;
  return false;
}

}  // namespace tovan::data::postgresql
