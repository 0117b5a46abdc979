#include "records/write_back.h"

#include "platform/automation/error.h"

namespace tovan::records {

void InsertVectDataToTbl(data::Connection* connection, const std::string& table, const std::string& /*key_field*/,
                         foundation::Vector* records, int32_t& rtn_code, StatementCheck check) {
  try {
    if (records == nullptr || connection == nullptr) automation::Raise(automation::vberr::kObjectNotSet);
    int64_t changed = 0;
    for (int32_t p = 1; p <= records->UpperBound(); ++p) {
      auto record = records->Record(p);
      if (check != nullptr && !check(table, *record)) automation::Raise(automation::vberr::kTypeMismatch);
      int32_t affected = 0;
      connection->Execute("update " + table + " set FTaxRate='" + automation::CStr(record->Value("FTaxRate")) +
                              "' where FItemID='" + automation::CStr(record->Value("FItemID")) + "'",
                          &affected);
      changed += affected;
    }
    rtn_code = changed <= 0 ? kNoRowChanged : kRowsChanged;
  } catch (const automation::AutomationError&) {
    rtn_code = kWriteFailed;
  }
}

}  // namespace tovan::records
