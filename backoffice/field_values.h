// A database field read as the back office shows it: Null and Empty as the
// empty text, 0 or 0.0.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "platform/automation/variant.h"

namespace tovan::backoffice {

inline std::string FieldText(const automation::Variant& v) {
  return v.IsEmpty() || v.IsNull() ? std::string() : automation::CStr(v);
}
inline double FieldNumber(const automation::Variant& v) {
  return v.IsEmpty() || v.IsNull() ? 0.0 : automation::CDbl(v);
}
inline int32_t FieldLong(const automation::Variant& v) {
  return v.IsEmpty() || v.IsNull() ? 0 : automation::CLng(v);
}

}  // namespace tovan::backoffice
