// Errors: libpq's and the server's messages made one line, and what an
// SQLSTATE or a refused connection says of the server noted as a fault.
#include "platform/data/postgresql/error.h"

#include <libpq-fe.h>

#include "platform/data/data_error.h"
#include "platform/data/postgresql/backend.h"

namespace tovan::data::postgresql {

namespace {

// Notes what an SQLSTATE says of the server or the connection, if anything.
void NoteFault(std::string_view state) {
  if (state == "53100") return NoteDatabaseFault(DatabaseFault::kDiskFull);
  if (state == "57P01" || state == "57P02" || state == "57P03")
    return NoteDatabaseFault(DatabaseFault::kServerShutdown);
  if (state.starts_with("08")) return NoteDatabaseFault(DatabaseFault::kConnectionLost);
  if (state == "XX001" || state == "XX002") return NoteDatabaseFault(DatabaseFault::kDamaged);
  if (state == "55P03") return NoteDatabaseFault(DatabaseFault::kLocked);
  if (state == "25006" || state == "0A000") return;  // refusals of the statement, not faults
}

bool IsConflict(const char* sqlstate) {
  return sqlstate != nullptr && (std::string_view(sqlstate) == "40001" || std::string_view(sqlstate) == "40P01");
}

}  // namespace

// libpq's messages run over several lines ("connection ... failed:\nFATAL: ...").
std::string OneLine(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  std::string out;
  out.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\n') {
      out += "; ";
      while (i + 1 < message.size() && (message[i + 1] == ' ' || message[i + 1] == '\t')) ++i;
    } else if (message[i] != '\r') {
      out.push_back(message[i]);
    }
  }
  return out;
}

// A connection that could not be made: a server on its way down says so.
void NoteConnectFault(std::string_view message) {
  NoteDatabaseFault(message.find("shutting down") != std::string_view::npos ? DatabaseFault::kServerShutdown
                                                                             : DatabaseFault::kConnectionRefused);
}

void PostgresBackend::Fail(const std::string& message) { RaiseDatabaseError(OneLine(message)); }

void PostgresBackend::NoteError(PGresult* result, std::string& message) {
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  message = OneLine(primary ? primary : PQerrorMessage(conn_));
  if (message.empty()) message = "the server connection failed";
  if (result && IsConflict(PQresultErrorField(result, PG_DIAG_SQLSTATE))) ++conflicts_;
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  if (state != nullptr) NoteFault(state);
  if (PQstatus(conn_) != CONNECTION_OK && LastDatabaseFault() != DatabaseFault::kServerShutdown)
    NoteDatabaseFault(DatabaseFault::kConnectionLost);
}

}  // namespace tovan::data::postgresql
