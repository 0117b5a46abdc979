#include "records/packaging.h"

namespace tovan::records {

using automation::Variant;

std::string PackagedText(const Variant& value) {
  std::string text = automation::CStr(foundation::NullToDefault(value, Variant("")));
  // VB's Trim strips blanks only, not tabs or line breaks.
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::shared_ptr<foundation::Dictionary> PackageRow(data::Recordset& rs) {
  if (rs.EOF_()) return nullptr;
  auto record = foundation::Dictionary::Create();
  int32_t columns = rs.FieldCount();
  for (int32_t c = 0; c < columns; ++c) record->SetValue(rs.FieldName(c), Variant(PackagedText(rs.Value(c))));
  return record;
}

std::shared_ptr<foundation::Vector> PackageRows(data::Recordset& rs) {
  auto list = foundation::Vector::Create();
  while (!rs.EOF_()) {
    list->Add(Variant(PackageRow(rs)));
    rs.MoveNext();
  }
  return list;
}

}  // namespace tovan::records
