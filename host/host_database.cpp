#include "host/host_database.h"

#include <vector>

#include "platform/data/data_error.h"
#include "platform/data/backend.h"
#include "platform/host/data_context.h"
#include "platform/host/global_context.h"

namespace tovan::hostlib {

using automation::Variant;

HostDatabase::HostDatabase(const std::string& data_source)
    : connection_(host::GlobalContext::ForThread().GetDataContext()->ConnectionFor(data_source)),
      backend_(&connection_->backend()) {}

data::ResultSet HostDatabase::Query(const std::string& sql, std::initializer_list<Variant> params) {
  return Query(sql, std::vector<Variant>(params));
}

data::ResultSet HostDatabase::Query(const std::string& sql, const std::vector<Variant>& params) {
  connection_->Enlist();
  return backend_->ExecuteNative(sql, params);
}

const char* HostDatabase::ForUpdate() const { return backend_->Engine() == "sqlite" ? "" : " FOR UPDATE"; }

void HostDatabase::CheckSound(const std::string& table) {
  if (backend_->Engine() != "sqlite") return;
  data::ResultSet rows = Query("PRAGMA quick_check(" + table + ")");
  std::string verdict = rows.RowCount() == 0 ? "" : automation::CStr(rows.At(0, 0));
  if (verdict == "ok") return;
  data::NoteDatabaseFault(data::DatabaseFault::kDamaged);
  data::RaiseDatabaseError("the table " + table + " is damaged: " + verdict);
}

void HostDatabase::Execute(const std::string& sql, std::initializer_list<Variant> params) { Query(sql, params); }

Variant HostDatabase::Scalar(const std::string& sql, std::initializer_list<Variant> params) {
  data::ResultSet rows = Query(sql, params);
  return rows.RowCount() == 0 ? Variant() : rows.At(0, 0);
}

std::string HostDataSource() {
  return automation::CStr(host::GlobalContext::ForThread().SharedProperty(host::CurrentProcessId(), "PropsString"));
}

}  // namespace tovan::hostlib
