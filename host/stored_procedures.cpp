#include "host/stored_procedures.h"

#include <algorithm>
#include <cctype>

#include "platform/automation/text.h"
#include "platform/data/connection.h"
#include "platform/data/data_error.h"
#include "platform/data/backend.h"

namespace tovan::hostlib {

using automation::Variant;

namespace {
data::ProcedureArgument* Find(std::vector<data::ProcedureArgument>& args, std::string_view name) {
  for (auto& a : args)
    if (automation::EqualsNoCase(a.name, name)) return &a;
  return nullptr;
}

bool IsPlainIdentifier(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

int32_t GetICMaxNum(data::ConnectionBackend& backend, std::vector<data::ProcedureArgument>& args) {
  auto* table = Find(args, "@TableName");
  auto* id = Find(args, "@FInterID");
  if (table == nullptr || id == nullptr) data::RaiseDatabaseError("GetICMaxNum expects @TableName and @FInterID");
  auto& db = backend;
  std::string name = automation::CStr(table->value);
  // A table without a counter yet starts above its highest FID.
  Variant start(int32_t{1});
  if (IsPlainIdentifier(name)) {
    try {
      data::ResultSet max = db.ExecuteNative("SELECT ifnull(max(FID), 0) + 1 FROM \"" + name + "\"", {});
      if (max.RowCount() == 1) start = max.At(0, 0);
    } catch (const automation::AutomationError&) {
      // no such table or no FID column: start at 1
    }
  }
  Variant params[] = {Variant(name), start};
  data::ResultSet next = db.ExecuteNative(
      "INSERT INTO t_ICMaxNum (FTableName, FMaxNum) VALUES (?1, ?2) "
      "ON CONFLICT (FTableName) DO UPDATE SET FMaxNum = FMaxNum + 1 RETURNING FMaxNum",
      params);
  id->value = next.At(0, 0);
  return 0;
}
}  // namespace

void RegisterStoredProcedures(data::Connection& connection) {
  // A server has GetICMaxNum as a function of its own (schema_postgresql.cpp).
  if (connection.backend().Engine() != "sqlite") return;
  connection.backend().RegisterProcedure("GetICMaxNum", GetICMaxNum);
}

}  // namespace tovan::hostlib
