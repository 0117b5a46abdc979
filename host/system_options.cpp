#include "host/system_options.h"

#include "host/host_database.h"
#include "platform/host/data_context.h"

namespace tovan::hostlib {

using automation::Variant;

std::optional<std::string> ReadSystemOption(const std::string& data_source, const std::string& section,
                                            const std::string& key) {
  host::CallScope scope;
  HostDatabase db(data_source);
  Variant value = db.Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory = ?1 AND FKey = ?2",
                            {Variant(section), Variant(key)});
  if (value.IsEmpty() || value.IsNull()) return std::nullopt;
  return automation::CStr(value);
}

void WriteSystemOption(const std::string& data_source, const std::string& section, const std::string& key,
                       const std::string& value) {
  host::CallScope scope;
  HostDatabase db(data_source);
  db.Execute(
      "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES (?1, ?2, ?3) "
      "ON CONFLICT (FCategory, FKey) DO UPDATE SET FValue = excluded.FValue",
      {Variant(section), Variant(key), Variant(value)});
}

}  // namespace tovan::hostlib
