// Recordset, Fields and Field: rows of a query, ADO-shaped.
//
// Every recordset is static and client-side: Open reads all rows, so
// RecordCount is exact and the recordset can be detached from its
// connection (ActiveConnection = Nothing) and still be read.  Fields are
// found by name without regard to case, or by 0-based position; a field's
// value is that of the current row.
//
// Errors (ADO's numbers): 3021 no current record (at EOF or BOF), 3265 no
// such field, 3704 the recordset is closed; database errors from Open.
//
// Thread-safety: apartment-threaded, one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/typelib.h"
#include "platform/data/ado_constants.h"
#include "platform/data/result_set.h"

namespace tovan::data {

class Connection;
class Fields;
using automation::Variant;

namespace adoerr {
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kObjectClosed = 3704;
}  // namespace adoerr

class Recordset final : public automation::DescribedObject {
 public:
  static std::shared_ptr<Recordset> Create() { return std::make_shared<Recordset>(); }
  Recordset();

  // Executes `source` on `connection` and reads its first result set.
  // Cursor and lock types are accepted as given: every recordset is static.
  void Open(std::string_view source, const std::shared_ptr<Connection>& connection,
            int32_t cursor_type = ado::kOpenStatic, int32_t lock_type = ado::kLockOptimistic,
            int32_t options = ado::kOptionUnspecified);
  // Opens on rows already read (Connection::Execute does this).
  void OpenRows(ResultSet rows, std::shared_ptr<Connection> connection);
  void Close();
  bool IsOpen() const { return open_; }

  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }
  // Null detaches the recordset; its rows stay readable.
  void SetActiveConnection(std::shared_ptr<Connection> connection) { connection_ = std::move(connection); }

  bool EOF_() const;  // EOF is a macro of <cstdio>
  bool BOF() const;
  void MoveNext();
  void MoveFirst();
  int32_t RecordCount() const;

  int32_t FieldCount() const;
  const std::string& FieldName(int32_t index) const;
  // -1 when there is no field of that name.
  int32_t FieldIndex(std::string_view name) const;
  // The current row's value of a field; raises 3021 at EOF/BOF, 3265 for an unknown field.
  const Variant& Value(int32_t index) const;
  const Variant& Value(std::string_view name) const;
  const Variant& Value(const char* name) const { return Value(std::string_view(name)); }
  // Value by name or 0-based position, as ADO's Fields.Item takes either.
  const Variant& Value(const Variant& name_or_index) const;
  int32_t FieldType(int32_t index) const;

  // A new Fields collection over this recordset (not cached: it holds the recordset).
  std::shared_ptr<Fields> GetFields();

  static const automation::InterfaceDesc& Describe();

 private:
  void RequireOpen() const;
  void RequireCurrent() const;
  int32_t Resolve(const Variant& name_or_index) const;

  bool open_ = false;
  ResultSet rows_;
  size_t position_ = 0;  // == RowCount() at EOF
  std::shared_ptr<Connection> connection_;
  friend class Fields;
  friend class Field;
};

// The fields of a recordset; each Field reads the recordset's current row.
class Fields final : public automation::DescribedObject {
 public:
  explicit Fields(std::shared_ptr<Recordset> recordset);
  int32_t Count() const { return recordset_->FieldCount(); }
  std::shared_ptr<automation::Dispatch> Item(const Variant& name_or_index);

  static const automation::InterfaceDesc& Describe();

 private:
  std::shared_ptr<Recordset> recordset_;
};

class Field final : public automation::DescribedObject {
 public:
  Field(std::shared_ptr<Recordset> recordset, int32_t index);
  const std::string& Name() const { return recordset_->FieldName(index_); }
  const Variant& Value() const { return recordset_->Value(index_); }
  int32_t Type() const { return recordset_->FieldType(index_); }
  bool GetDefaultValue(Variant& out) override;

  static const automation::InterfaceDesc& Describe();

 private:
  std::shared_ptr<Recordset> recordset_;
  int32_t index_;
};

// The recordset held by `v`, or null when `v` holds anything else.
std::shared_ptr<Recordset> AsRecordset(const Variant& v);

}  // namespace tovan::data
