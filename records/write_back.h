// Writing records back: the tax rates of a list of items.
//
// Thread-safety: works on the caller's objects only.
#pragma once

#include <memory>
#include <string>

#include "platform/data/connection.h"
#include "platform/foundation/vector.h"

namespace tovan::records {

// Result codes of InsertVectDataToTbl.
inline constexpr int32_t kRowsChanged = 0;
inline constexpr int32_t kNoRowChanged = 1;
inline constexpr int32_t kWriteFailed = -1;

// Whether a record's statement may be sent; a refused one fails as if the
// database had refused it.
using StatementCheck = bool (*)(const std::string& table, const foundation::Dictionary& record);

// For each record, "update <table> set FTaxRate='<FTaxRate>' where
// FItemID='<FItemID>'" (values unescaped, as stored; `key_field` is accepted
// and not used).  `rtn_code` is 0 when some row changed, 1 when none did
// (an empty list too), -1 when a statement, a record or `check` failed
// part-way (statements already run stay).  Raises nothing.
void InsertVectDataToTbl(data::Connection* connection, const std::string& table, const std::string& key_field,
                         foundation::Vector* records, int32_t& rtn_code, StatementCheck check = nullptr);

}  // namespace tovan::records
