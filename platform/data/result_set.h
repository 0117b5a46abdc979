// ResultSet: the rows one statement returned, materialised.
//
// Every recordset of this system is static and client-side: the backend
// reads all rows at once, so counts are exact and the connection is free
// again as soon as the statement has run.
//
// Thread-safety: a value; no shared state.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/variant.h"

namespace tovan::data {

struct ResultColumn {
  std::string name;      // as the database reports it
  int32_t ado_type = 0;  // the ADO DataTypeEnum value of the column's declared type
};

struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<automation::Variant> cells;  // row-major, columns.size() per row

  size_t RowCount() const { return columns.empty() ? 0 : cells.size() / columns.size(); }
  const automation::Variant& At(size_t row, size_t column) const { return cells[row * columns.size() + column]; }
};

// What one batch produced: the first statement that returned a result set
// (with its columns even when it returned no row), and the number of rows
// that the batch's INSERT, UPDATE and DELETE statements changed in all.
struct BatchResult {
  bool has_rows = false;
  ResultSet rows;
  int64_t records_affected = 0;
};

}  // namespace tovan::data
