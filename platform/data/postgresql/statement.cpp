// Statements: batches translated and sent in pipelined exchanges (each
// under a savepoint inside a unit), writes held back in a run, prepared
// statements, rows read back typed, and procedure calls.
#include "platform/data/postgresql/backend.h"

#include <libpq-fe.h>

#include <cstdlib>

#include "platform/automation/text.h"
#include "platform/data/ado_constants.h"
#include "platform/data/data_error.h"
#include "platform/data/postgresql/common.h"
#include "platform/data/postgresql/error.h"
#include "platform/data/postgresql/tsql_dialect.h"

namespace tovan::data::postgresql {

using automation::Variant;
using tsql::TranslatedStatement;
using tsql::Translation;

namespace {

// Bounds: translations kept per connection, batches long enough to be
// one-offs (id lists), and held writes sent in one pipeline at most.
constexpr std::size_t kMaxTranslations = 4096;
constexpr std::size_t kMaxCachedBatch = tsql::ShapeCache::kMaxCachedBatch;
constexpr std::size_t kMaxHeld = 512;
// Prepared statements per session (the oldest go all at once past it), and
// the parameters of a statement worth preparing (a long IN list of values
// is one of a kind: it goes as text).
constexpr std::size_t kMaxPrepared = 2048;
constexpr std::size_t kMaxPreparedParams = 64;

// Type OIDs of the built-in types (pg_type.h is a server header).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
              kDateOid = 1082, kTimestamp = 1114, kTimestampTz = 1184, kNumeric = 1700;

int32_t AdoTypeOf(Oid type) {
  switch (type) {
    case kBool: return ado::kBoolean;
    case kInt2: case kInt4: case kInt8: case kOid: return ado::kInteger;
    case kFloat4: case kFloat8: case kNumeric: return ado::kDouble;
    case kDateOid: case kTimestamp: case kTimestampTz: return ado::kDate;
    default: return ado::kVarChar;
  }
}

Variant ReadValue(const char* text, int length, int32_t ado_type) {
  const std::string_view value(text, static_cast<std::size_t>(length));
  switch (ado_type) {
    case ado::kBoolean:
      return Variant(value != "0" && value != "f" && value != "false");
    case ado::kInteger: {
      char* end = nullptr;
      const long long n = std::strtoll(text, &end, 10);
      if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
      return Variant(static_cast<double>(n));
    }
    case ado::kDouble:
      if (auto d = automation::ParseNumber(value)) return Variant(*d);
      return Variant(std::string(value));  // NaN and the like: as the server wrote them
    case ado::kDate:
      if (auto d = automation::ParseDate(value.substr(0, 19))) return Variant(*d);
      return Variant(std::string(value));
    default:
      return Variant(std::string(value));
  }
}

bool CollectsRows(const std::string& sql) {
  std::size_t i = 0;
  while (i < sql.size() && (sql[i] == ' ' || sql[i] == '(' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n')) ++i;
  const std::string word = Lower(sql.substr(i, 6));
  return word == "select" || word.starts_with("with") || word.starts_with("values");
}

// Whether `text` holds `lower` (lower-case ASCII) in any case; no copy, as
// every write of a run passes here.
bool ContainsNoCase(std::string_view text, std::string_view lower) {
  for (std::size_t i = 0; i + lower.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < lower.size() && automation::AsciiLower(text[i + k]) == lower[k]) ++k;
    if (k == lower.size()) return true;
  }
  return false;
}

// A translation that only writes, and so may be held back in a run.
bool OnlyWrites(const Translation& t) {
  for (const TranslatedStatement& s : t.statements) {
    if (s.kind == TranslatedStatement::Kind::IfThen) return false;
    if (s.kind == TranslatedStatement::Kind::Execute && CollectsRows(s.sql)) return false;
    if (s.kind == TranslatedStatement::Kind::Execute) {
      const std::string lead = Lower(std::string_view(s.sql).substr(0, 6));
      if (lead != "insert" && lead != "update" && lead != "delete") return false;
      if (ContainsNoCase(s.sql, "returning")) return false;
    }
  }
  return true;
}

// The values and types statement `s` binds from the batch's literals: a
// whole number as PostgreSQL types its literal (integer, else bigint), a
// quoted text as its body, of unknown type, for the server to type by its
// place as it types a literal.
void BindLiterals(const TranslatedStatement& s, std::string_view text, const std::vector<tsql::Literal>& literals,
                  std::vector<std::string>& values, std::vector<unsigned int>& types) {
  values.clear();
  types.clear();
  for (std::uint32_t place : s.params) {
    const tsql::Literal& literal = literals[place];
    const std::string_view token = text.substr(literal.pos, literal.len);
    if (literal.kind == tsql::TokenKind::Number) {
      values.emplace_back(token);
      types.push_back(std::strtoll(values.back().c_str(), nullptr, 10) <= 2147483647LL ? kInt4 : kInt8);
      continue;
    }
    const std::size_t skip = literal.kind == tsql::TokenKind::NString ? 2 : 1;
    const std::string_view body = token.substr(skip, token.size() - skip - 1);
    std::string value;
    value.reserve(body.size());
    for (std::size_t k = 0; k < body.size(); ++k) {
      value.push_back(body[k]);
      if (body[k] == '\'') ++k;  // '' stands for one quote
    }
    values.push_back(std::move(value));
    types.push_back(0);
  }
}

}  // namespace

void ParameterText(const Variant& v, std::string& text, bool& is_null) {
  is_null = false;
  switch (v.type()) {
    case automation::VarType::Empty:
    case automation::VarType::Null: is_null = true; text.clear(); return;
    case automation::VarType::Boolean: text = v.boolean() ? "1" : "0"; return;
    case automation::VarType::Date: text = automation::CStr(v); return;
    default: text = automation::CStr(v); return;
  }
}

void PostgresBackend::ReadRows(PGresult* result, ResultSet& rows) {
  const int columns = PQnfields(result);
  rows.columns.reserve(static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    const Oid type = PQftype(result, c);
    int32_t ado_type = AdoTypeOf(type);
    if (type == flag_type_ ||
        (type == kInt2 && flag_columns_.count({PQftable(result, c), PQftablecol(result, c)}) != 0))
      ado_type = ado::kBoolean;
    rows.columns.push_back({PQfname(result, c), ado_type});
  }
  const int count = PQntuples(result);
  rows.cells.reserve(rows.cells.size() + static_cast<std::size_t>(count) * static_cast<std::size_t>(columns));
  for (int r = 0; r < count; ++r) {
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(result, r, c)) {
        rows.cells.push_back(Variant::Null());
      } else {
        rows.cells.push_back(ReadValue(PQgetvalue(result, r, c), PQgetlength(result, r, c),
                                       rows.columns[static_cast<std::size_t>(c)].ado_type));
      }
    }
  }
}

bool PostgresBackend::TryExchange(std::vector<Outgoing>& statements, BatchResult* out, Failure& failure,
                                  Framing framing) {
  if (statements.empty()) return true;
  const bool control = framing == Framing::kControl;
  // A connection the server ended while no unit was open is made again: no
  // work of a unit is lost by it, and a long-lived host goes on working.
  if (PQstatus(conn_) != CONNECTION_OK && !in_transaction_ && !control) {
    Reconnect();
    // The statements this exchange runs prepared are prepared again in the new session.
    std::set<std::string> again;
    for (const Outgoing& o : statements) {
      if (o.prepared.empty() || o.prepare_only || PQstatus(conn_) != CONNECTION_OK) continue;
      if (!again.insert(o.prepared).second) continue;
      std::vector<Outgoing> prepare{o};
      prepare[0].prepare_only = true;
      if (!TryExchange(prepare, nullptr, failure, framing)) return false;
    }
  }
  if (PQstatus(conn_) != CONNECTION_OK) {
    failure = {0, "the server connection is lost: " + OneLine(PQerrorMessage(conn_))};
    if (LastDatabaseFault() != DatabaseFault::kServerShutdown) NoteDatabaseFault(DatabaseFault::kConnectionLost);
    return false;
  }
  // Inside a transaction the exchange runs under one savepoint.  A failure
  // undoes all of it, and the statements before the failing one run again:
  // as on the original server, the failing statement alone is undone and
  // the transaction goes on.  Outside one, the server undoes a failed
  // pipeline whole (its implicit transaction), and the same rerun restores
  // the statements before the failure.
  const bool guarded = in_transaction_ && !control;
  std::vector<const char*> values;
  auto send = [this, &values](const char* sql, const Outgoing* o) {
    const Oid* types = o != nullptr && !o->types.empty() ? o->types.data() : nullptr;
    if (o != nullptr && o->prepare_only)
      return PQsendPrepare(conn_, o->prepared.c_str(), sql, static_cast<int>(o->types.size()), types) == 1;
    values.clear();
    if (o != nullptr) {
      for (std::size_t k = 0; k < o->params.size(); ++k)
        values.push_back(!o->null.empty() && o->null[k] ? nullptr : o->params[k].c_str());
    }
    const int count = static_cast<int>(values.size());
    if (o != nullptr && !o->prepared.empty())
      return PQsendQueryPrepared(conn_, o->prepared.c_str(), count, values.data(), nullptr, nullptr, 0) == 1;
    return PQsendQueryParams(conn_, sql, count, types, values.data(), nullptr, nullptr, 0) == 1;
  };
  bool sent = !guarded || send("SAVEPOINT tovan_statement", nullptr);
  for (const Outgoing& o : statements) {
    sent = sent && send(o.sql.c_str(), &o);
    if (!sent) break;
  }
  if (guarded) sent = sent && send("RELEASE SAVEPOINT tovan_statement", nullptr);
  if (!sent || PQpipelineSync(conn_) != 1) {
    failure = {0, "cannot send to the server: " + OneLine(PQerrorMessage(conn_))};
    NoteDatabaseFault(DatabaseFault::kConnectionLost);
    return false;
  }
  // Results come back in the order sent, each followed by a null; the sync
  // last.  What they give is kept apart until the exchange stands.
  BatchResult got;
  const bool want_rows = out != nullptr && !out->has_rows;
  bool failed = false;
  bool lost = false;
  const std::size_t lead = guarded ? 1 : 0;
  const std::size_t expected = statements.size() + 2 * lead;
  for (std::size_t k = 0; k < expected && !lost; ++k) {
    PGresult* r = PQgetResult(conn_);
    if (r == nullptr) {
      lost = true;
      break;
    }
    const ExecStatusType status = PQresultStatus(r);
    const bool is_statement = k >= lead && k < lead + statements.size();
    const std::size_t index = is_statement ? k - lead : (k < lead ? 0 : statements.size() - 1);
    if (status == PGRES_FATAL_ERROR) {
      if (!failed) {
        failed = true;
        failure.index = index;
        failure.answered = PQresultErrorField(r, PG_DIAG_SQLSTATE) != nullptr;
        NoteError(r, failure.message);
      }
    } else if (status == PGRES_TUPLES_OK && is_statement && !failed && want_rows && statements[index].collect &&
               !got.has_rows) {
      got.has_rows = true;
      ReadRows(r, got.rows);
    } else if (status == PGRES_COMMAND_OK && is_statement && !failed && out != nullptr && statements[index].counted) {
      const char* tuples = PQcmdTuples(r);
      if (tuples != nullptr && *tuples != '\0') {
        const std::string_view tag = PQcmdStatus(r);
        if (tag.starts_with("INSERT") || tag.starts_with("UPDATE") || tag.starts_with("DELETE"))
          got.records_affected += std::atoll(tuples);
      }
    }
    PQclear(r);
    // Between the results of two statements libpq hands out a null.
    PGresult* end = PQgetResult(conn_);
    if (end != nullptr) {
      // A statement with several results (never ours): drain them.
      while (end != nullptr && PQresultStatus(end) != PGRES_PIPELINE_SYNC) {
        PQclear(end);
        end = PQgetResult(conn_);
      }
      if (end != nullptr) {
        PQclear(end);
        failure = {0, "unexpected results from the server"};
        return false;
      }
    }
  }
  PGresult* sync = lost ? nullptr : PQgetResult(conn_);
  if (sync == nullptr || PQresultStatus(sync) != PGRES_PIPELINE_SYNC) {
    if (sync) PQclear(sync);
    if (PQstatus(conn_) != CONNECTION_OK && LastDatabaseFault() != DatabaseFault::kServerShutdown)
      NoteDatabaseFault(DatabaseFault::kConnectionLost);
    failure = {failed ? failure.index : 0,
               failed ? failure.message : "the server connection is lost: " + OneLine(PQerrorMessage(conn_))};
    return false;
  }
  PQclear(sync);
  if (!failed) {
    if (out != nullptr) {
      if (got.has_rows) {
        out->has_rows = true;
        out->rows = std::move(got.rows);
      }
      out->records_affected += got.records_affected;
    }
    return true;
  }
  if (control) return false;
  if (guarded) {
    std::vector<Outgoing> undo(2);
    undo[0].sql = "ROLLBACK TO SAVEPOINT tovan_statement";
    undo[1].sql = "RELEASE SAVEPOINT tovan_statement";
    Failure undo_failure;
    if (!TryExchange(undo, nullptr, undo_failure, Framing::kControl)) {
      failure.message += "; and the statement could not be undone: " + undo_failure.message;
      return false;
    }
  }
  if (failure.index > 0) {
    // The statements before the failing one, once more; they ran a moment
    // ago on the same state, so they do the same.
    std::vector<Outgoing> before(statements.begin(),
                                 statements.begin() + static_cast<std::ptrdiff_t>(failure.index));
    Failure again;
    if (!TryExchange(before, out, again, framing)) failure = again;
  }
  return false;
}

void PostgresBackend::Exchange(std::vector<Outgoing>& statements, BatchResult* out) {
  Failure failure;
  if (!TryExchangeRuns(statements, out, failure)) Fail(failure.message);
}

void PostgresBackend::FlushHeld() {
  if (held_.empty()) return;
  std::vector<Outgoing> held;
  held.swap(held_);
  BatchResult ignored;
  Exchange(held, &ignored);
}

void PostgresBackend::BeginRun() { ++run_depth_; }

void PostgresBackend::EndRun() {
  if (run_depth_ > 0) --run_depth_;
  if (run_depth_ == 0) FlushHeld();
}

void PostgresBackend::AbandonRun() noexcept {
  if (run_depth_ > 0) --run_depth_;
  if (run_depth_ == 0) held_.clear();
}

std::shared_ptr<const Translation> PostgresBackend::Translate(std::string_view text) {
  const bool cacheable = text.size() <= kMaxCachedBatch;
  if (cacheable) {
    if (auto it = translations_.find(std::string(text)); it != translations_.end()) return it->second;
  }
  auto translation = std::make_shared<const Translation>(TranslateBatch(text, catalog_));
  if (!translation->ok) RaiseDatabaseError(translation->error);
  if (cacheable) {
    if (translations_.size() >= kMaxTranslations) translations_.clear();
    translations_.emplace(std::string(text), translation);
  }
  return translation;
}

std::string PostgresBackend::PreparedName(const std::string& sql, const std::vector<unsigned int>& types,
                                          std::size_t max_params, bool may_deallocate) {
  std::string key = sql;
  key.push_back('\0');
  for (unsigned int type : types) key += std::to_string(type) + ",";
  if (auto it = prepared_.find(key); it != prepared_.end()) return it->second;
  if (types.size() > max_params || unpreparable_.count(key) != 0) return {};
  // A statement is prepared the second time it comes: one of a kind (a text
  // that keeps a changing literal), it would cost a round trip of its own
  // and a statement kept for nothing.
  if (seen_once_.size() >= kMaxTranslations) seen_once_.clear();
  if (seen_once_.insert(key).second) return {};
  if (prepared_.size() >= kMaxPrepared) {
    // No held statement may name one of them when they go.
    if (!held_.empty() || !may_deallocate) return {};
    std::vector<Outgoing> deallocate(1);
    deallocate[0].sql = "DEALLOCATE ALL";
    Exchange(deallocate, nullptr);
    prepared_.clear();
  }
  std::vector<Outgoing> prepare(1);
  prepare[0].sql = sql;
  prepare[0].types = types;
  prepare[0].prepared = "tovan_" + std::to_string(++prepared_count_);
  prepare[0].prepare_only = true;
  Failure failure;
  // Inside a unit it runs under a savepoint, so a refusal changes nothing.
  if (!TryExchange(prepare, nullptr, failure)) {
    if (PQstatus(conn_) != CONNECTION_OK) Fail(failure.message);
    if (unpreparable_.size() >= kMaxTranslations) unpreparable_.clear();
    unpreparable_.insert(std::move(key));
    return {};
  }
  return prepared_.emplace(std::move(key), prepare[0].prepared).first->second;
}

bool PostgresBackend::Outgo(const TranslatedStatement& s, const Batch& batch, Outgoing& o) {
  o.sql = s.sql;
  o.collect = CollectsRows(s.sql);
  if (s.params.empty()) return true;
  BindLiterals(s, batch.text, batch.literals, o.params, o.types);
  o.prepared = PreparedName(s.sql, o.types, kMaxPreparedParams);
  return !o.prepared.empty();
}

bool PostgresBackend::CanOutgo(const std::vector<TranslatedStatement>& statements, const Batch& batch) {
  for (const TranslatedStatement& s : statements) {
    if (s.kind == TranslatedStatement::Kind::Skip) continue;
    Outgoing o;
    if (!Outgo(s, batch, o)) return false;
    if (s.kind == TranslatedStatement::Kind::IfThen && !CanOutgo(s.then, batch)) return false;
  }
  return true;
}

void PostgresBackend::Run(const std::vector<TranslatedStatement>& statements, const Batch& batch, BatchResult& out,
                          std::vector<Outgoing>& pending) {
  for (const TranslatedStatement& s : statements) {
    switch (s.kind) {
      case TranslatedStatement::Kind::Skip: break;
      case TranslatedStatement::Kind::Execute: {
        Outgoing o;
        Outgo(s, batch, o);
        pending.push_back(std::move(o));
        break;
      }
      case TranslatedStatement::Kind::IfThen: {
        // The condition decides what comes next: what is pending goes first.
        Exchange(pending, &out);
        pending.clear();
        std::vector<Outgoing> condition(1);
        Outgo(s, batch, condition[0]);
        condition[0].collect = true;
        BatchResult value;
        Exchange(condition, &value);
        const bool holds = value.rows.RowCount() > 0 && !value.rows.At(0, 0).IsNull() &&
                           automation::CDbl(value.rows.At(0, 0)) != 0;
        if (holds) Run(s.then, batch, out, pending);
        break;
      }
    }
  }
}

BatchResult PostgresBackend::Execute(std::string_view text) {
  // The scratch list is lent out for the batch (a batch never runs inside another).
  std::vector<tsql::Literal> literals;
  literals.swap(literals_);
  struct GiveBack {
    std::vector<tsql::Literal>& from;
    std::vector<tsql::Literal>& to;
    ~GiveBack() { to.swap(from); }
  } give_back{literals, literals_};
  std::shared_ptr<const Translation> translation =
      shapes_.Translate(text, literals, [&](const std::vector<tsql::Token>& tokens, bool parameterize) {
        return TranslateTokens(text, tokens, catalog_, parameterize);
      });
  if (!translation->ok) Fail(translation->error);
  Batch batch{text, literals};
  // A batch with a statement the server will not prepare goes as text, whole.
  if (!CanOutgo(translation->statements, batch)) translation = Translate(text);
  BatchResult out;
  if (run_depth_ > 0 && OnlyWrites(*translation)) {
    for (const TranslatedStatement& s : translation->statements) {
      if (s.kind != TranslatedStatement::Kind::Execute) continue;
      Outgoing o;
      Outgo(s, batch, o);
      o.collect = false;
      o.counted = false;
      o.held = true;
      held_.push_back(std::move(o));
    }
    if (held_.size() >= kMaxHeld) FlushHeld();
    return out;
  }
  // What is held goes out ahead of this batch, in the same round trip; a
  // failure among it raises here, before this batch runs.
  std::vector<Outgoing> pending;
  pending.swap(held_);
  Run(translation->statements, batch, out, pending);
  Exchange(pending, &out);
  return out;
}

ResultSet PostgresBackend::ExecuteNative(const std::string& sql, std::span<const Variant> params) {
  FlushHeld();
  auto it = native_sql_.find(sql);
  if (it == native_sql_.end()) {
    if (native_sql_.size() >= kMaxTranslations) native_sql_.clear();
    it = native_sql_.emplace(sql, PrepareNativeSql(sql, catalog_)).first;
  }
  std::vector<Outgoing> one(1);
  one[0].sql = it->second;
  one[0].collect = true;
  one[0].params.resize(params.size());
  one[0].null.resize(params.size());
  for (std::size_t k = 0; k < params.size(); ++k) {
    bool is_null = false;
    ParameterText(params[k], one[0].params[k], is_null);
    one[0].null[k] = is_null;
  }
  BatchResult out;
  Exchange(one, &out);
  return std::move(out.rows);
}

void PostgresBackend::ExecuteScript(const std::string& sql) {
  FlushHeld();
  // Several statements in one text need the simple protocol, outside the pipeline.
  if (PQexitPipelineMode(conn_) != 1) Fail("cannot leave pipeline mode: " + std::string(PQerrorMessage(conn_)));
  std::string message;
  PGresult* r = PQexec(conn_, sql.c_str());
  const bool ok = r && (PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK);
  if (!ok) NoteError(r, message);
  PQclear(r);
  while ((r = PQgetResult(conn_)) != nullptr) PQclear(r);
  PQenterPipelineMode(conn_);
  if (!ok) Fail(message);
  // A script creates tables and columns the next statements will name.
  translations_.clear();
  shapes_.Clear();
  native_sql_.clear();
  run_shapes_.clear();  // a script may have made a trigger or an index
  ReloadCatalog();
}

int32_t PostgresBackend::CallProcedure(std::string_view name, std::vector<ProcedureArgument>& args) {
  if (auto it = procedures_.find(Lower(name)); it != procedures_.end()) return it->second(*this, args);
  FlushHeld();
  // A procedure is a function of the database: inputs in order, outputs
  // read from the columns of its one row by name.
  const std::string* known = catalog_.Find(name);
  if (known == nullptr) RaiseDatabaseError("Could not find stored procedure '" + std::string(name) + "'.");
  std::vector<Outgoing> call(1);
  std::string sql = "SELECT * FROM " + QuoteIdentifier(*known) + "(";
  int n = 0;
  for (const ProcedureArgument& a : args) {
    if (a.direction == ado::kParamOutput || a.direction == ado::kParamReturnValue) continue;
    if (n > 0) sql += ",";
    sql += "$" + std::to_string(++n);
    std::string text;
    bool is_null = false;
    ParameterText(a.value, text, is_null);
    call[0].params.push_back(text);
    call[0].null.push_back(is_null);
  }
  call[0].sql = sql + ")";
  call[0].collect = true;
  BatchResult out;
  Exchange(call, &out);
  for (ProcedureArgument& a : args) {
    if (a.direction != ado::kParamOutput && a.direction != ado::kParamInputOutput) continue;
    const std::string_view bare = std::string_view(a.name).substr(a.name.starts_with('@') ? 1 : 0);
    for (std::size_t c = 0; c < out.rows.columns.size(); ++c)
      if (automation::EqualsNoCase(out.rows.columns[c].name, bare) && out.rows.RowCount() > 0) a.value = out.rows.At(0, c);
  }
  return 0;
}

void PostgresBackend::RegisterProcedure(std::string name, NativeProcedure procedure) {
  procedures_[Lower(name)] = std::move(procedure);
}

}  // namespace tovan::data::postgresql
