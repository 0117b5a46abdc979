// Bulk loads: rows streamed with COPY, the fastest way into a server table
// (a day of a hundred thousand bills is over a million rows).
#include <libpq-fe.h>

#include "platform/data/postgresql/backend.h"
#include "platform/data/postgresql/tsql_dialect.h"

namespace tovan::data::postgresql {

namespace {

// A value in COPY's text format: backslash, tab and line ends escaped.
void AppendCopyText(const std::string& value, std::string& out) {
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
}

}  // namespace

bool PostgresBackend::AppendRows(const std::string& table, const std::vector<std::string>& columns,
                                 std::span<const automation::Variant> values) {
  if (columns.empty() || values.empty()) return true;
  FlushHeld();
  auto name = [this](const std::string& n) {
    const std::string* known = catalog_.Find(n);
    return QuoteIdentifier(known != nullptr ? *known : n);
  };
  std::string sql = "COPY " + name(table) + " (";
  for (std::size_t c = 0; c < columns.size(); ++c) sql += (c > 0 ? "," : "") + name(columns[c]);
  sql += ") FROM STDIN";
  // COPY runs outside pipeline mode.
  if (PQexitPipelineMode(conn_) != 1) Fail("cannot leave pipeline mode: " + std::string(PQerrorMessage(conn_)));
  struct Reenter {
    PGconn* conn;
    ~Reenter() { PQenterPipelineMode(conn); }
  } reenter{conn_};
  std::string message;
  PGresult* r = PQexec(conn_, sql.c_str());
  if (PQresultStatus(r) != PGRES_COPY_IN) {
    NoteError(r, message);
    PQclear(r);
    Fail(message);
  }
  PQclear(r);
  std::string buffer, text;
  bool sent = true;
  for (std::size_t k = 0; k < values.size() && sent; ++k) {
    bool is_null = false;
    ParameterText(values[k], text, is_null);
    if (is_null) buffer += "\\N";
    else AppendCopyText(text, buffer);
    buffer.push_back((k + 1) % columns.size() == 0 ? '\n' : '\t');
    if (buffer.size() >= (1u << 16)) {
      sent = PQputCopyData(conn_, buffer.data(), static_cast<int>(buffer.size())) == 1;
      buffer.clear();
    }
  }
  if (sent && !buffer.empty()) sent = PQputCopyData(conn_, buffer.data(), static_cast<int>(buffer.size())) == 1;
  if (PQputCopyEnd(conn_, sent ? nullptr : "the rows could not be sent") != 1) sent = false;
  bool ok = sent;
  while ((r = PQgetResult(conn_)) != nullptr) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK && message.empty()) {
      ok = false;
      NoteError(r, message);
    }
    PQclear(r);
  }
  if (!ok) Fail(message.empty() ? "cannot send to the server: " + std::string(PQerrorMessage(conn_)) : message);
  return true;
}

}  // namespace tovan::data::postgresql
